// lorbanix-pack: checks a folder of spool files by the update tool's own rules
// and makes an update medium of it; or checks an existing medium.
#include <getopt.h>

#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/pack/DryRun.h"
#include "tools/pack/MediumCheck.h"
#include "tools/pack/MediumPacker.h"
#include "tools/pack/SpoolCheck.h"

namespace fs = std::filesystem;

namespace {
enum PackExit { kClean = 0, kErrors = 1, kUsage = 2 };

constexpr const char* kUsageText =
    "usage: lorbanix-pack [--force] [--name NAME] [--tool PATH] [--unpacker PATH]\n"
    "                     [--no-strip] SOURCE_DIR MEDIUM_DIR\n"
    "       lorbanix-pack --check [--dry-run] MEDIUM_DIR\n"
    "       lorbanix-pack --help\n";

constexpr const char* kHelpText =
    "\n"
    "Checks SOURCE_DIR (idcard.spl, idcomp.spl, serial.spl, tun.spl, vs.spl and the\n"
    "data files they name) with the update tool's own parsers, then makes an update\n"
    "medium in MEDIUM_DIR: NAME.prs (the scrambled zip of SOURCE_DIR), the update\n"
    "tool and the unpacker as RarEradaz.dat, both stripped. Each finding names the\n"
    "file, the line, the rule and what the tool would do. With errors no medium is\n"
    "made unless --force is given.\n"
    "\n"
    "  --force          pack even when the check finds errors\n"
    "  --name NAME      the package's name (default: update)\n"
    "  --tool PATH      the update tool to copy (default: lorbanix-update beside\n"
    "                   this program)\n"
    "  --unpacker PATH  the unpacker to copy (default: pkunzip beside this program)\n"
    "  --no-strip       copy the programs with their symbol tables\n"
    "  --check          check the existing medium MEDIUM_DIR: its programs, the\n"
    "                   package the tool picks, the archive in it and its spool\n"
    "                   files\n"
    "  --dry-run        with --check: run the update's import of the medium against\n"
    "                   the data source Lorbanix in one transaction, always rolled\n"
    "                   back, and report per table the rows it would delete, add\n"
    "                   and change\n"
    "\n"
    "Options and folders may come in any order.\n"
    "\n"
    "Exit codes: 0 clean or warnings only (with --force: packed), 1 errors (or\n"
    "the medium could not be made, or the dry run's import failed), 2 wrong usage.\n";

int Usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

void PrintFindings(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings) {
        std::printf("%s\n", FormatFinding(finding).c_str());
    }
}

void PrintSpoolSummary(const SpoolReport& report) {
    std::printf("rows written:");
    for (int table = 0; table < kTableCount; ++table) {
        std::printf(" %s %d%s", TableName(static_cast<SpoolTable>(table)),
                    report.rowsWritten.at(static_cast<std::size_t>(table)),
                    table + 1 < kTableCount ? "," : "\n");
    }
    std::printf("data files: %ju bytes\n", static_cast<std::uintmax_t>(report.dataFileBytes));
}

void PrintMediumSize(const fs::path& mediumDir) {
    const std::uintmax_t bytes = FloppyBytes(mediumDir);
    if (bytes <= kFloppyRoom) {
        std::printf("medium: %ju bytes (fits a 1.44 MB floppy, %ju bytes free)\n", bytes,
                    kFloppyRoom - bytes);
    } else {
        std::printf("medium: %ju bytes (does not fit a 1.44 MB floppy: %ju bytes too many)\n",
                    bytes, bytes - kFloppyRoom);
    }
}

void PrintCounts(int errors, int warnings) {
    std::printf("%d error(s), %d warning(s)\n", errors, warnings);
}

int Pack(const MediumPlan& plan, bool force) {
    std::error_code error;
    if (!fs::is_directory(plan.sourceDir, error)) {
        std::fprintf(stderr, "lorbanix-pack: %s: no such folder\n", plan.sourceDir.c_str());
        return kErrors;
    }
    const SpoolReport report = CheckSpoolFolder(plan.sourceDir, plan.mediumDir);
    PrintFindings(report.findings);
    PrintSpoolSummary(report);
    const int errors = report.Count(Finding::error);
    PrintCounts(errors, report.Count(Finding::warning));
    if (errors > 0 && !force) {
        std::fprintf(stderr,
                     "lorbanix-pack: %s has errors: no medium made (--force packs anyway)\n",
                     plan.sourceDir.c_str());
        return kErrors;
    }
    if (const std::string failure = PackMedium(plan); !failure.empty()) {
        std::fprintf(stderr, "lorbanix-pack: %s\n", failure.c_str());
        return kErrors;
    }
    PrintMediumSize(plan.mediumDir);
    return kClean;
}

// Returns whether the import went through and the data source is as before.
bool PrintDryRun(const std::string& workDir) {
    const DryRunReport report = DryRun(workDir);
    for (const std::string& message : report.messages) {
        std::printf("dry run: the tool shows: %s\n", message.c_str());
    }
    if (report.imported) {
        std::printf("dry run against the data source Lorbanix (rolled back):\n");
        for (int table = 0; table < kTableCount; ++table) {
            const TableChanges& changes = report.changes.at(static_cast<std::size_t>(table));
            std::printf("  %-16s delete %d, add %d, change %d\n",
                        TableName(static_cast<SpoolTable>(table)), changes.deleted, changes.added,
                        changes.changed);
        }
    } else {
        std::printf("dry run: error: the import stops (the tool would end with exit code %d)%s%s\n",
                    report.toolExitCode, report.failure.empty() ? "" : ": ",
                    report.failure.c_str());
    }
    if (!report.readBefore) {
        std::printf("dry run: nothing was written\n");
    } else if (report.unchanged) {
        std::printf("dry run: after the rollback the rows are as before\n");
    } else {
        std::printf(
            "dry run: error: after the rollback the rows differ from before, or could "
            "not be read again\n");
    }
    return report.imported && (report.unchanged || !report.readBefore);
}

int Check(const std::string& mediumDir, bool dryRun) {
    std::error_code error;
    if (!fs::is_directory(mediumDir, error)) {
        std::fprintf(stderr, "lorbanix-pack: %s: no such folder\n", mediumDir.c_str());
        return kErrors;
    }
    const ScratchDir scratch;
    const fs::path unpacked = scratch.path() / "work";
    fs::create_directory(unpacked);
    const MediumReport report = CheckMedium(mediumDir, unpacked);
    if (!report.package.empty()) {
        std::printf("package: %s (%zu entries)\n", report.package.c_str(), report.entries.size());
        for (const ZipEntry& entry : report.entries) {
            std::printf("  %-32s %10ju  crc %08x\n", entry.name.c_str(),
                        static_cast<std::uintmax_t>(entry.size), entry.crc);
        }
    }
    PrintFindings(report.findings);
    if (report.spoolChecked) {
        PrintFindings(report.spool.findings);
        PrintSpoolSummary(report.spool);
    }
    PrintMediumSize(mediumDir);
    const int errors = report.Count(Finding::error);
    PrintCounts(errors, report.Count(Finding::warning));
    bool dryRunFailed = false;
    if (dryRun) {
        if (report.spoolChecked) {
            dryRunFailed = !PrintDryRun(unpacked.string());
        } else {
            std::printf("dry run: error: not run, the package cannot be unpacked\n");
            dryRunFailed = true;
        }
    }
    return errors > 0 || dryRunFailed ? kErrors : kClean;
}
}  // namespace

int main(int argc, char** argv) {
    MediumPlan plan;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error).parent_path();
    plan.toolPath = (self / "lorbanix-update").string();
    plan.unpackerPath = (self / "pkunzip").string();
    bool force = false;
    bool dryRun = false;
    bool check = false;
    // Options and folders in any order, as the C library reads a command line.
    enum : int { kForce = 256, kDryRun, kNoStrip, kCheck, kName, kTool, kUnpacker };
    const std::array<option, 9> options = {{
        {"help", no_argument, nullptr, 'h'},
        {"force", no_argument, nullptr, kForce},
        {"dry-run", no_argument, nullptr, kDryRun},
        {"no-strip", no_argument, nullptr, kNoStrip},
        {"check", no_argument, nullptr, kCheck},
        {"name", required_argument, nullptr, kName},
        {"tool", required_argument, nullptr, kTool},
        {"unpacker", required_argument, nullptr, kUnpacker},
        {nullptr, 0, nullptr, 0},
    }};
    for (int chosen = 0; (chosen = getopt_long(argc, argv, "h", options.data(), nullptr)) != -1;) {
        switch (chosen) {
            case 'h':
                std::fputs(kUsageText, stdout);
                std::fputs(kHelpText, stdout);
                return kClean;
            case kForce:
                force = true;
                break;
            case kDryRun:
                dryRun = true;
                break;
            case kNoStrip:
                plan.strip = false;
                break;
            case kCheck:
                check = true;
                break;
            case kName:
                plan.packageName = optarg;
                break;
            case kTool:
                plan.toolPath = optarg;
                break;
            case kUnpacker:
                plan.unpackerPath = optarg;
                break;
            default:
                return Usage();  // the C library has named the option
        }
    }
    const std::vector<std::string> positional(argv + optind, argv + argc);
    try {
        if (check) {
            return positional.size() == 1 ? Check(positional[0], dryRun) : Usage();
        }
        if (positional.size() != 2 || dryRun) {
            return Usage();
        }
        plan.sourceDir = positional[0];
        plan.mediumDir = positional[1];
        return Pack(plan, force);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "lorbanix-pack: %s\n", failure.what());
        return kErrors;
    }
}
