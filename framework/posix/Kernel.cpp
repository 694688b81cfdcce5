#include "framework/Kernel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "framework/CFileException.h"
#include "framework/posix/ScopedHandle.h"

const char* PathSeparator() {
    return "/";
}

CString PathJoin(const CString& dir, const char* name) {
    return dir + PathSeparator() + name;
}

CString ModuleFilePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return CString(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool MakeDirectory(const CString& path) {
    return ::mkdir(path.GetString(), 0700) == 0;
}

namespace {
// Looks at path and changes its mode through one descriptor, never through a
// link, so that what is checked is what is changed. change gives the new mode,
// or the error number that refuses the change, or the old mode to leave it.
template <typename Change>
bool ChangeOwnMode(const CString& path, Change change) {
    ScopedFd opened = OwnFd(::open(path.GetString(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const int fd = opened.get().value;
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    mode_t mode = info.st_mode & 07777;
    if (error == 0) {
        error = change(info, mode);
    }
    if (error == 0 && mode != (info.st_mode & 07777)) {
        // A descriptor opened for its path alone is changed through its name in /proc.
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (::chmod(self.c_str(), mode) != 0) {
            error = errno;
        }
    }
    opened.reset();
    errno = error;
    return error == 0;
}
}  // namespace

bool KeepToOwner(const CString& path) {
    return ChangeOwnMode(path, [](const struct stat& info, mode_t& mode) {
        if (S_ISLNK(info.st_mode) || info.st_uid != ::geteuid()) {
            return EPERM;  // a link, or another user's: not ours to keep
        }
        mode = S_ISDIR(info.st_mode) ? 0700 : (info.st_mode & S_IXUSR) | 0600;
        return 0;
    });
}

bool AllowRemoval(const CString& path) {
    // A file goes with its folder's write access; a folder's entries go only
    // when its owner may write and search it.
    const bool changed = ChangeOwnMode(path, [](const struct stat& info, mode_t& mode) {
        if (S_ISDIR(info.st_mode)) {
            mode |= S_IRWXU;
        }
        return 0;
    });
    return changed || errno == ENOENT;
}

bool RemoveEmptyDirectory(const CString& path) {
    return ::rmdir(path.GetString()) == 0;
}

bool ChangeDirectory(const CString& path) {
    return ::chdir(path.GetString()) == 0;
}

long LastOsError() {
    return errno;
}

void CopyPermissionBits(const CString& source, const CString& target) {
    struct stat info {};
    if (::stat(source.GetString(), &info) == 0) {
        ::chmod(target.GetString(), info.st_mode & 07777);
    }
}

void SleepMilliseconds(unsigned milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void IgnoreCloseRequests() {
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
}

void EndRunOnCrash() {
    // A crash already ends the process by a signal, which no caller takes for success.
}

int FileCauseFromOsError(long osError) {
    switch (osError) {
        case 0:
            return CFileException::none;
        case ENOENT:
            return CFileException::fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return CFileException::badPath;
        case EMFILE:
        case ENFILE:
            return CFileException::tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ENOTEMPTY:
        case EEXIST:
            return CFileException::accessDenied;
        case EBADF:
            return CFileException::invalidFile;
        case EBUSY:
            return CFileException::removeCurrentDir;
        case ESPIPE:
            return CFileException::badSeek;
        case EIO:
            return CFileException::hardIO;
        case EWOULDBLOCK:
            return CFileException::sharingViolation;
        case ENOLCK:
            return CFileException::lockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return CFileException::diskFull;
        default:
            return CFileException::genericException;
    }
}

long OsErrorForCause(int cause) {
    switch (cause) {
        case CFileException::fileNotFound:
            return ENOENT;
        case CFileException::badPath:
            return ENOTDIR;
        case CFileException::accessDenied:
            return EACCES;
        case CFileException::sharingViolation:
            return EWOULDBLOCK;
        default:
            return 0;
    }
}

CString SystemErrorText(long osError) {
    std::vector<char> buffer(256);
    // GNU strerror_r returns the text, which may or may not live in the buffer.
    return CString(::strerror_r(static_cast<int>(osError), buffer.data(), buffer.size()));
}
