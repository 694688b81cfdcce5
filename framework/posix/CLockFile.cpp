#include "framework/CLockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/CFileException.h"
#include "framework/posix/ScopedHandle.h"

CLockFile::CLockFile(const CString& path) {
    // Read-only is enough to hold it, so that any user of the workstation can.
    ScopedFd lock = OwnFd(
        ::open(path.GetString(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    const int fd = lock.get().value;
    if (fd < 0) {
        CFileException::ThrowOsError(errno, path);
    }
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) {
        error = EINVAL;  // something other than a lock file in its place
    }
    if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
    }
    if (error == EWOULDBLOCK) {
        throw CFileException(CFileException::sharingViolation, error, path);
    }
    if (error != 0) {
        CFileException::ThrowOsError(error, path);
    }
    m_handle = lock.release().value;
}

CLockFile::~CLockFile() {
    if (m_handle != -1) {
        ::close(static_cast<int>(m_handle));
    }
}
