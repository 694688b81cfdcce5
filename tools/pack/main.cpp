// lorbanix-pack SOURCE_DIR MEDIUM_DIR [--name NAME] [--tool PATH] [--unpacker PATH]
// Makes an update medium. The tool and the unpacker default to lorbanix-update
// and pkunzip beside this program.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/pack/MediumPacker.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    MediumPlan plan;
    const fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
    plan.toolPath = (self / "lorbanix-update").string();
    plan.unpackerPath = (self / "pkunzip").string();
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--name" && hasValue) {
            plan.packageName = args[++i];
        } else if (args[i] == "--tool" && hasValue) {
            plan.toolPath = args[++i];
        } else if (args[i] == "--unpacker" && hasValue) {
            plan.unpackerPath = args[++i];
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr,
                     "usage: lorbanix-pack SOURCE_DIR MEDIUM_DIR [--name NAME] [--tool PATH] "
                     "[--unpacker PATH]\n");
        return 2;
    }
    plan.sourceDir = positional[0];
    plan.mediumDir = positional[1];
    const std::string failure = PackMedium(plan);
    if (!failure.empty()) {
        std::fprintf(stderr, "lorbanix-pack: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
