#include "tools/pack/MediumPacker.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/Kernel.h"
#include "tools/pack/MediumCheck.h"
#include "util/FileHelpers.h"
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

bool IsPackageName(const fs::path& name) {
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension == ".prs";
}

// A medium always carries the unpacker; a package alone is left out by itself.
bool IsMediumFolder(const fs::path& folder) {
    std::error_code error;
    return fs::exists(fs::symlink_status(folder / kMediumUnpacker, error));
}

bool IsWithin(const fs::path& path, const fs::path& folder) {
    const fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

class SourceLister {
  public:
    SourceLister(const std::string& sourceDir, const std::string& leaveOut) : m_root(sourceDir) {
        std::error_code error;
        m_realRoot = fs::weakly_canonical(m_root, error);
        if (!leaveOut.empty()) {
            m_leaveOut = fs::weakly_canonical(leaveOut, error);
        }
    }

    SourceListing Run() {
        Walk(m_root);
        return std::move(m_listing);
    }

  private:
    void Walk(const fs::path& folder) {
        std::vector<fs::path> children;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            children.push_back(it->path());
        }
        if (error) {
            m_listing.refused.push_back(
                {Name(folder), "a folder that cannot be read (" + error.message() + ")"});
            return;
        }
        std::sort(children.begin(), children.end());
        for (const fs::path& child : children) {
            const fs::file_status status = fs::symlink_status(child, error);
            if (fs::is_symlink(status)) {
                m_listing.refused.push_back({Name(child), LinkText(child)});
            } else if (fs::is_directory(status)) {
                if (!m_leaveOut.empty() && fs::weakly_canonical(child, error) == m_leaveOut) {
                    m_listing.leftOut.push_back(
                        {Name(child), "a medium folder (the one being made)"});
                } else if (IsMediumFolder(child)) {
                    m_listing.leftOut.push_back(
                        {Name(child),
                         std::string("a medium folder (it holds ") + kMediumUnpacker + ")"});
                } else {
                    m_listing.packed.push_back({Name(child), child, true});
                    Walk(child);
                }
            } else if (fs::is_regular_file(status)) {
                if (IsPackageName(child.filename())) {
                    m_listing.leftOut.push_back({Name(child), "a package"});
                } else {
                    m_listing.packed.push_back({Name(child), child, false});
                }
            } else {
                m_listing.refused.push_back({Name(child), KindOf(status)});
            }
        }
    }

    [[nodiscard]] std::string Name(const fs::path& path) const {
        return path.lexically_relative(m_root).generic_string();
    }

    // Never followed: what it points to is said, not packed.
    [[nodiscard]] std::string LinkText(const fs::path& link) const {
        std::error_code error;
        const fs::path target = fs::read_symlink(link, error);
        const fs::path reached = fs::weakly_canonical(link.parent_path() / target, error);
        const std::string text = "a symbolic link to " + target.string();
        if (error || !IsWithin(reached, m_realRoot)) {
            return text + ", outside the source folder";
        }
        return text + " (a medium carries files, not links: put the file itself there)";
    }

    fs::path m_root;
    fs::path m_realRoot;
    fs::path m_leaveOut;
    SourceListing m_listing;
};

// Streams the archive at plain into the package: the memory stays the same
// whatever the archive's size.
std::string ScrambleInto(const fs::path& plain, const fs::path& package) {
    std::ifstream in(plain, std::ios::binary);
    std::ofstream out(package, std::ios::binary | std::ios::trunc);
    if (!in || !out) {
        return package.string() + ": cannot write the package";
    }
    std::vector<char> chunk(kStreamChunk);
    std::vector<std::uint8_t> scrambled(kStreamChunk + 1);
    bool keyed = false;
    std::uint8_t key = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
        if (!keyed) {
            // The codec draws the key once, with the first piece; the rest takes the same.
            ScrambleBuffer(bytes, got, scrambled.data());
            key = scrambled[got];
            keyed = true;
        } else {
            std::transform(bytes, bytes + got, scrambled.begin(), [key](std::uint8_t byte) {
                return static_cast<std::uint8_t>(byte ^ key);
            });
        }
        out.write(reinterpret_cast<const char*>(scrambled.data()),
                  static_cast<std::streamsize>(got));
    }
    out.put(static_cast<char>(key));
    out.close();
    if (in.bad() || !out) {
        return package.string() + ": cannot write the package";
    }
    return {};
}

std::string CopyProgram(const std::string& from, const fs::path& to, bool strip) {
    if (std::string failure = CopyInto(from, to); !failure.empty()) {
        return failure;
    }
    return strip && IsObjectFile(to) ? Strip(to) : std::string();
}
}  // namespace

std::string KindOf(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::fifo:
            return "a named pipe";
        case fs::file_type::block:
        case fs::file_type::character:
            return "a device";
        case fs::file_type::socket:
            return "a socket";
        case fs::file_type::directory:
            return "a folder";
        case fs::file_type::not_found:
            return "a link to nothing";
        default:
            return "not a regular file";
    }
}

SourceListing ListSource(const std::string& sourceDir, const std::string& leaveOut) {
    return SourceLister(sourceDir, leaveOut).Run();
}

std::string ZipFolder(const std::string& sourceDir, const std::string& zipPath,
                      const std::string& leaveOut) {
    const SourceListing listing = ListSource(sourceDir, leaveOut);
    if (!listing.refused.empty()) {
        std::string text;
        for (const SourceNote& note : listing.refused) {
            text += (text.empty() ? "" : "; ") + note.name + ": " + note.what;
        }
        return text + ": nothing packed";
    }
    int code = 0;
    std::unique_ptr<zip_t, ArchiveDiscarder> archive(
        zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive) {
        return zipPath + ": cannot create the archive";
    }
    for (const SourceEntry& entry : listing.packed) {
        if (entry.directory) {
            if (zip_dir_add(archive.get(), entry.name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
                return entry.name + ": " + ArchiveError(archive.get());
            }
            continue;
        }
        zip_source_t* source = zip_source_file(archive.get(), entry.path.c_str(), 0, -1);
        if (source == nullptr) {
            return entry.name + ": " + ArchiveError(archive.get());
        }
        if (zip_file_add(archive.get(), entry.name.c_str(), source,
                         ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);  // not taken over by the archive
            return entry.name + ": " + ArchiveError(archive.get());
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
    if (std::string failure = ZipFolder(plan.sourceDir, plain.string(), plan.mediumDir);
        !failure.empty()) {
        return failure;
    }
    const fs::path package = medium / (plan.packageName + ".prs");
    std::string failure = ScrambleInto(plain, package);
    fs::remove(plain, error);
    if (!failure.empty()) {
        return failure;
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
