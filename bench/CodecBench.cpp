// codec_bench PACKAGE TARGET: unscrambles PACKAGE into TARGET as an update run
// does, and prints the seconds it took and the process's peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "util/PackageCodec.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: codec_bench PACKAGE TARGET\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const int result = UnscrambleFile(argv[1], argv[2]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("unscramble %.3f s, peak RSS %ld KiB, result %d\n", took.count(), usage.ru_maxrss,
                result);
    return result == 1 ? 0 : 1;
}
