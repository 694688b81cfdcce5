// The unpacker an update medium carries: extracts the archive named on the
// command line into the current directory.
#include <cstdio>
#include <string>

#include "tools/pkunzip/ZipExtractor.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pkunzip ARCHIVE\n");
        return 2;
    }
    const std::string failure = ExtractArchive(argv[1], ".");
    if (!failure.empty()) {
        std::fprintf(stderr, "pkunzip: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
