#include "framework/OwnerOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "framework/posix/ScopedHandle.h"

namespace {
std::string SystemError() {
    return std::strerror(errno);
}
}  // namespace

std::vector<std::string> UnpackerArguments(int argc, char** argv) {
    return {argv, argv + argc};
}

char FolderSeparator() {
    return '/';
}

NameKind LookUpName(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return NameKind::none;
    }
    return S_ISDIR(info.st_mode) ? NameKind::folder : NameKind::other;
}

bool RemoveName(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

ArchiveFile::~ArchiveFile() {
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
    }
}

std::string ArchiveFile::Open(const std::string& path) {
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
    // Not blocking: a named pipe in the archive's place is refused, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return SystemError();
    }
    m_handle = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return SystemError();
    }
    if (!S_ISREG(info.st_mode)) {
        return "not a regular file";
    }
    m_size = static_cast<std::uint64_t>(info.st_size);
    return {};
}

std::string ArchiveFile::ReadAt(std::uint64_t offset, char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t got =
            ::pread(static_cast<int>(m_handle), bytes, count, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return SystemError();
        }
        if (got == 0) {
            return "the file ended early";
        }
        bytes += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return {};
}

OwnerOnlyFile::~OwnerOnlyFile() {
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
    }
}

std::string OwnerOnlyFile::Create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return SystemError();
    }
    m_handle = fd;
    // The umask may have taken bits away (even the owner's); set exactly these.
    if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        return SystemError();
    }
    return {};
}

std::string OwnerOnlyFile::Write(const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(static_cast<int>(m_handle), bytes, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return SystemError();
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return {};
}

std::string OwnerOnlyFile::Close() {
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    if (::close(fd) != 0) {
        return SystemError();
    }
    return {};
}

std::string MakeOwnerOnlyFolder(const std::string& path) {
    if (::mkdir(path.c_str(), S_IRWXU) != 0) {
        return SystemError();
    }
    const ScopedFd folder =
        OwnFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder || ::fchmod(folder.get().value, S_IRWXU) != 0) {
        return SystemError();
    }
    return {};
}
