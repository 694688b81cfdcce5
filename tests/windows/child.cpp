// A program the Windows tests start: writes its arguments after the first to
// its error output and ends with the first as exit code. "crash" instead ends
// in an access violation once the tool's crash handling is set up.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/Kernel.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "crash") == 0) {
        EndRunOnCrash();
        volatile int* nowhere = nullptr;
        return *nowhere;
    }
    for (int i = 2; i < argc; ++i) {
        std::fprintf(stderr, "%s%s", i > 2 ? " " : "", argv[i]);
    }
    std::fflush(stderr);
    return argc >= 2 ? std::atoi(argv[1]) : 0;
}
