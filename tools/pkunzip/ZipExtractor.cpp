#include "tools/pkunzip/ZipExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

namespace {
struct ArchiveCloser {
    void operator()(zip_t* archive) const noexcept { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const noexcept { zip_fclose(entry); }
};
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : name) {
        if (ch == '/' || ch == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    parts.push_back(part);
    return parts;
}

std::string Refusal(zip_t* archive, zip_uint64_t index, const std::string& name) {
    if (name.empty()) {
        return "entry without a name";
    }
    if (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) {
        return "absolute path in entry " + name;
    }
    for (const std::string& part : Components(name)) {
        if (part == "..") {
            return "'..' in entry " + name;
        }
    }
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX && S_ISLNK(static_cast<mode_t>(attributes >> 16))) {
        return "symbolic link in entry " + name;
    }
    return {};
}

std::string MakeDirectories(const std::string& targetDir, const std::vector<std::string>& parts,
                            std::size_t count) {
    std::string path = targetDir;
    for (std::size_t i = 0; i < count; ++i) {
        if (parts[i].empty() || parts[i] == ".") {
            continue;
        }
        path += "/" + parts[i];
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                return path + " is in the way of a folder";
            }
        } else if (::mkdir(path.c_str(), 0777) != 0) {
            return path + ": " + std::strerror(errno);
        }
    }
    return {};
}

std::string ExtractEntry(zip_t* archive, zip_uint64_t index, const std::string& name,
                         const std::string& targetDir) {
    const std::vector<std::string> parts = Components(name);
    const bool folder = name.back() == '/' || name.back() == '\\';
    if (std::string error = MakeDirectories(targetDir, parts, parts.size() - 1); !error.empty()) {
        return error;
    }
    if (folder) {
        return {};
    }
    std::string path = targetDir;
    for (const std::string& part : parts) {
        if (!part.empty() && part != ".") {
            path += "/" + part;
        }
    }
    const std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive, index, 0));
    if (!entry) {
        return name + ": " + zip_strerror(archive);
    }
    const FdCloser out{
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666)};
    if (out.fd < 0) {
        return path + ": " + std::strerror(errno);
    }
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const zip_int64_t got = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (got < 0) {
            return name + ": " + zip_file_strerror(entry.get());
        }
        if (got == 0) {
            break;
        }
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(got)) {
            const ssize_t put =
                ::write(out.fd, buffer.data() + done, static_cast<std::size_t>(got) - done);
            if (put < 0) {
                return path + ": " + std::strerror(errno);
            }
            done += static_cast<std::size_t>(put);
        }
    }
    return {};
}
}  // namespace

std::string ExtractArchive(const std::string& archivePath, const std::string& targetDir) {
    int error = 0;
    const std::unique_ptr<zip_t, ArchiveCloser> archive(
        zip_open(archivePath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        std::string text = archivePath + ": " + zip_error_strerror(&details);
        zip_error_fini(&details);
        return text;
    }
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (name == nullptr) {
            return archivePath + ": " + zip_strerror(archive.get());
        }
        names.emplace_back(name);
        if (std::string refusal =
                Refusal(archive.get(), static_cast<zip_uint64_t>(i), names.back());
            !refusal.empty()) {
            return archivePath + ": refused: " + refusal;
        }
    }
    for (zip_int64_t i = 0; i < count; ++i) {
        if (std::string failure = ExtractEntry(archive.get(), static_cast<zip_uint64_t>(i),
                                               names[static_cast<std::size_t>(i)], targetDir);
            !failure.empty()) {
            return failure;
        }
    }
    return {};
}
