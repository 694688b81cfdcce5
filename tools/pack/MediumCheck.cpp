#include "tools/pack/MediumCheck.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>

#include "framework/CDesktop.h"
#include "framework/CFileException.h"
#include "framework/CFileFind.h"
#include "framework/CollectingDesktop.h"
#include "tools/pack/MediumPacker.h"
#include "tools/pkunzip/ZipExtractor.h"
#include "util/PackageCodec.h"

namespace fs = std::filesystem;

namespace {
constexpr std::uintmax_t kCluster = 512;
constexpr const char* kPackagePattern = "*.prs";

bool IsExecutable(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    return !error && fs::is_regular_file(status) &&
           (status.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                    fs::perms::others_exec)) != fs::perms::none;
}

class MediumChecker {
  public:
    MediumChecker(const std::string& mediumDir, fs::path unpackedDir)
        : m_medium(mediumDir), m_unpacked(std::move(unpackedDir)) {}

    MediumReport Run() {
        CheckProgram(kMediumTool, "the update tool", "nothing runs from this medium");
        CheckProgram(kMediumUnpacker, "the unpacker",
                     "the tool cannot unpack the package and stops with exit code 3");
        const std::vector<std::string> packages = Packages();
        if (packages.empty()) {
            Error("*.prs", "no package",
                  "the tool finds nothing to do and ends without changing anything");
            return std::move(m_report);
        }
        m_report.package = packages.front();
        if (packages.size() > 1) {
            Warning(m_report.package, "one of " + std::to_string(packages.size()) + " packages",
                    "the tool imports only this one, the first by name");
        }
        if (UnpackPackage()) {
            m_report.spool = CheckSpoolFolder(m_unpacked.string());
            m_report.spoolChecked = true;
        }
        return std::move(m_report);
    }

  private:
    void Error(const std::string& file, std::string rule, std::string effect) {
        m_report.findings.push_back({Finding::error, file, 0, std::move(rule), std::move(effect)});
    }
    void Warning(const std::string& file, std::string rule, std::string effect) {
        m_report.findings.push_back(
            {Finding::warning, file, 0, std::move(rule), std::move(effect)});
    }

    void CheckProgram(const char* name, const std::string& what, const char* effect) {
        const fs::path path = m_medium / name;
        std::error_code error;
        if (!fs::exists(fs::symlink_status(path, error))) {
            Error(name, what + " is missing", effect);
        } else if (!IsExecutable(path)) {
            Error(name, what + " is not an executable file", effect);
        }
    }

    // The packages the tool would find, in the order it looks at them.
    [[nodiscard]] std::vector<std::string> Packages() const {
        std::vector<std::string> names;
        CFileFind finder;
        bool more = finder.FindFile((m_medium / kPackagePattern).string().c_str());
        while (more) {
            more = finder.FindNext();
            names.push_back(finder.GetFileName().str());
        }
        return names;
    }

    bool UnpackPackage() {
        const std::string& name = m_report.package;
        const fs::path package = m_medium / name;
        std::error_code error;
        // As the tool opens it: through a link, but never anything that is no file.
        const fs::file_status status = fs::status(package, error);
        if (!fs::is_regular_file(status)) {
            Error(name, "the package is " + KindOf(status),
                  "the tool cannot unscramble it and stops with exit code 3");
            return false;
        }
        if (fs::file_size(package, error) == 0) {
            Error(name, "the package is empty (not even its key byte)",
                  "the tool stops with exit code 3");
            return false;
        }
        const fs::path archive = m_unpacked.parent_path() / "spool.zip";
        if (const std::string failure = Unscramble(package, archive); !failure.empty()) {
            Error(name, "the package cannot be unscrambled: " + failure,
                  "the tool stops with exit code 3");
            return false;
        }
        ZipReader reader;
        if (const std::string failure = reader.Open(archive.string()); !failure.empty()) {
            Error(name, "damaged archive: " + failure,
                  "the unpacker fails and the tool stops with exit code 3");
            return false;
        }
        m_report.entries = reader.Entries();
        // The unpacker's own code: every entry read, CRC and size checked,
        // unsafe names refused.
        if (const std::string failure = ExtractArchive(archive.string(), m_unpacked.string());
            !failure.empty()) {
            Error(name, "archive refused: " + failure,
                  "the unpacker fails and the tool stops with exit code 3");
            return false;
        }
        return true;
    }

    // The tool's own unscrambling, streamed through one buffer: the memory stays
    // the same whatever the package's size. Empty on success, else what it said.
    static std::string Unscramble(const fs::path& package, const fs::path& archive) {
        auto desktop = std::make_unique<CCollectingDesktop>();
        const CCollectingDesktop& shown = *desktop;
        SetDesktop(std::move(desktop));
        try {
            if (UnscrambleFile(package.string().c_str(), archive.string().c_str()) != 0) {
                return {};
            }
        } catch (const CFileException& failure) {
            return failure.GetErrorMessage().str();
        }
        return shown.m_messages.empty() ? std::string("no reason given") : shown.m_messages.back();
    }

    fs::path m_medium;
    fs::path m_unpacked;
    MediumReport m_report;
};
}  // namespace

ScratchDir::ScratchDir() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("lorbanix-pack." + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder under " + base.string());
}

ScratchDir::~ScratchDir() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

int MediumReport::Count(Finding::Severity severity) const {
    return static_cast<int>(
               std::count_if(findings.begin(), findings.end(),
                             [&](const Finding& f) { return f.severity == severity; })) +
           spool.Count(severity);
}

MediumReport CheckMedium(const std::string& mediumDir, const fs::path& unpackedDir) {
    return MediumChecker(mediumDir, unpackedDir).Run();
}

std::uintmax_t FloppyBytes(const fs::path& mediumDir) {
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(mediumDir, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) {
            total += (it->file_size(error) + kCluster - 1) / kCluster * kCluster;
        }
    }
    return total;
}
