#include "framework/OwnerOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/posix/ScopedHandle.h"

namespace {
std::string SystemError() {
    return std::strerror(errno);
}
}  // namespace

OwnerOnlyFile::~OwnerOnlyFile() {
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
    }
}

std::string OwnerOnlyFile::Create(const std::filesystem::path& path) {
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

std::string MakeOwnerOnlyFolder(const std::filesystem::path& path) {
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
