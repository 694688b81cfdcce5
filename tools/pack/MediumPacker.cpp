#include "tools/pack/MediumPacker.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/Kernel.h"
#include "util/PackageCodec.h"
#include "util/ProcessRunner.h"

namespace fs = std::filesystem;

namespace {
struct ArchiveDiscarder {
    void operator()(zip_t* archive) const noexcept { zip_discard(archive); }
};

std::string ArchiveError(zip_t* archive) {
    return zip_strerror(archive);
}

std::string CopyInto(const std::string& from, const fs::path& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error) {
        return from + ": " + error.message();
    }
    fs::permissions(to, fs::status(from).permissions(), error);
    return error ? to.string() + ": " + error.message() : std::string();
}

// The medium is a floppy: its programs go without their symbol tables.
std::string Strip(const fs::path& program) {
    ProcessOutcome outcome;
    const fs::path path = fs::absolute(program);
    const CString commandLine = "strip --strip-all \"" + CString(path.string()) + "\"";
    if (RunAndWait(commandLine, path.parent_path().string().c_str(), outcome) == 0) {
        return program.string() + ": strip cannot be started (" +
               SystemErrorText(outcome.startError).str() + "); it comes with binutils";
    }
    if (outcome.exitCode != 0) {
        CString said = outcome.errorOutput;
        said.TrimRight();
        return program.string() + ": strip failed: " + said.str();
    }
    return {};
}

// An object file that strip knows (ELF, or a Windows executable); anything
// else, a script say, is copied as it is.
bool IsObjectFile(const fs::path& program) {
    std::ifstream in(program, std::ios::binary);
    std::array<char, 4> magic{};
    in.read(magic.data(), magic.size());
    const std::string_view start(magic.data(), static_cast<std::size_t>(in.gcount()));
    return start == "\177ELF" || start.substr(0, 2) == "MZ";
}

std::string CopyProgram(const std::string& from, const fs::path& to, bool strip) {
    if (std::string failure = CopyInto(from, to); !failure.empty()) {
        return failure;
    }
    return strip && IsObjectFile(to) ? Strip(to) : std::string();
}
}  // namespace

std::string ZipFolder(const std::string& sourceDir, const std::string& zipPath) {
    int code = 0;
    std::unique_ptr<zip_t, ArchiveDiscarder> archive(
        zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive) {
        return zipPath + ": cannot create the archive";
    }
    std::vector<fs::path> entries;
    std::error_code walkError;
    for (fs::recursive_directory_iterator it(sourceDir, walkError), end; !walkError && it != end;
         it.increment(walkError)) {
        entries.push_back(it->path());
    }
    if (walkError) {
        return sourceDir + ": " + walkError.message();
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        const std::string name = fs::relative(entry, sourceDir).generic_string();
        if (fs::is_directory(fs::symlink_status(entry))) {
            if (zip_dir_add(archive.get(), name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
                return name + ": " + ArchiveError(archive.get());
            }
            continue;
        }
        zip_source_t* source = zip_source_file(archive.get(), entry.c_str(), 0, -1);
        if (source == nullptr) {
            return name + ": " + ArchiveError(archive.get());
        }
        if (zip_file_add(archive.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) <
            0) {
            zip_source_free(source);  // not taken over by the archive
            return name + ": " + ArchiveError(archive.get());
        }
    }
    if (zip_close(archive.get()) != 0) {
        return zipPath + ": " + ArchiveError(archive.get());
    }
    static_cast<void>(archive.release());  // closed: zip_close freed it
    return {};
}

std::string PackMedium(const MediumPlan& plan) {
    std::error_code error;
    fs::create_directories(plan.mediumDir, error);
    if (error) {
        return plan.mediumDir + ": " + error.message();
    }
    const fs::path medium(plan.mediumDir);
    const fs::path plain = medium / ("." + plan.packageName + ".zip");
    if (std::string failure = ZipFolder(plan.sourceDir, plain.string()); !failure.empty()) {
        return failure;
    }
    std::vector<std::uint8_t> data;
    {
        std::ifstream in(plain, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::remove(plain, error);
    std::vector<std::uint8_t> scrambled(data.size() + 1);
    ScrambleBuffer(data.data(), data.size(), scrambled.data());
    const fs::path package = medium / (plan.packageName + ".prs");
    {
        std::ofstream out(package, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(scrambled.data()),
                  static_cast<std::streamsize>(scrambled.size()));
        if (!out) {
            return package.string() + ": cannot write the package";
        }
    }
    if (!plan.toolPath.empty()) {
        if (std::string failure =
                CopyProgram(plan.toolPath, medium / fs::path(plan.toolPath).filename(), plan.strip);
            !failure.empty()) {
            return failure;
        }
    }
    if (!plan.unpackerPath.empty()) {
        if (std::string failure =
                CopyProgram(plan.unpackerPath, medium / "RarEradaz.dat", plan.strip);
            !failure.empty()) {
            return failure;
        }
    }
    return {};
}
