// The unpacker an update medium carries: extracts the archive named on the
// command line into the current directory.
#include <cstdio>
#include <string>
#include <vector>

#include "framework/OwnerOnlyFile.h"
#include "tools/pkunzip/ZipExtractor.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = UnpackerArguments(argc, argv);
    if (arguments.size() != 2) {
        std::fputs("usage: pkunzip ARCHIVE\n", stderr);
        return 2;
    }
    const std::string failure = ExtractArchive(arguments[1], ".");
    if (!failure.empty()) {
        // Plain output calls: the formatting ones would take room on the medium.
        std::fputs(("pkunzip: " + failure + "\n").c_str(), stderr);
        return 1;
    }
    return 0;
}
