#include "framework/CFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "framework/CFileException.h"
#include "framework/posix/ScopedHandle.h"

namespace {
int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

void CloseQuietly(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}
}  // namespace

CFile::CFile(const CString& fileName, unsigned openFlags) {
    Open(fileName, openFlags);
}

CFile::~CFile() {
    CloseQuietly(Fd(m_hFile));
}

void CFile::Open(const CString& fileName, unsigned openFlags) {
    if (IsOpen()) {
        Close();
    }
    m_strFileName = fileName;
    const bool writing = (openFlags & modeWrite) != 0;
    const bool creating = (openFlags & modeCreate) != 0;
    // Never waits in the open itself: a named pipe without a writer would block.
    int flags = (writing ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (creating) {
        flags |= O_CREAT;
    }
    ScopedFd file = OwnFd(::open(fileName.GetString(), flags, 0666));
    const int fd = file.get().value;
    if (fd < 0) {
        CFileException::ThrowOsError(errno, fileName);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        CFileException::ThrowOsError(errno, fileName);
    }
    if (S_ISDIR(info.st_mode)) {
        throw CFileException(CFileException::accessDenied, EISDIR, fileName);
    }
    // What the tool reads is a whole file of known size: never a pipe or a device.
    if (!writing && !S_ISREG(info.st_mode)) {
        throw CFileException(CFileException::invalidFile, 0, fileName);
    }
    // No sharing: one holder at a time.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw CFileException(CFileException::sharingViolation, errno, fileName);
        }
        CFileException::ThrowOsError(errno, fileName);
    }
    // Emptied only once we hold it, so a file in use by someone else is never cut.
    if (creating && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
        CFileException::ThrowOsError(errno, fileName);
    }
    m_hFile = file.release().value;
}

std::size_t CFile::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(Fd(m_hFile), out + done, count - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void CFile::Write(const void* buffer, std::size_t count) {
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(Fd(m_hFile), in + done, count - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        done += static_cast<std::size_t>(put);
    }
}

std::uint64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
    const int whence = from == begin ? SEEK_SET : (from == current ? SEEK_CUR : SEEK_END);
    const off_t position = ::lseek(Fd(m_hFile), static_cast<off_t>(offset), whence);
    if (position < 0) {
        CFileException::ThrowOsError(errno, m_strFileName);
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t CFile::GetLength() {
    struct stat info {};
    if (::fstat(Fd(m_hFile), &info) != 0) {
        CFileException::ThrowOsError(errno, m_strFileName);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

void CFile::Close() {
    if (!IsOpen()) {
        return;
    }
    const int fd = Fd(m_hFile);
    m_hFile = kNoHandle;
    if (::close(fd) != 0 && errno != EINTR) {
        CFileException::ThrowOsError(errno, m_strFileName);
    }
}

bool CFile::GetStatus(const CString& fileName, CFileStatus& status) {
    struct stat info {};
    if (fileName.IsEmpty() || ::stat(fileName.GetString(), &info) != 0) {
        return false;
    }
    status.m_size =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(info.st_size & 0xFFFFFFFF));
    std::uint8_t attribute = 0;
    if (S_ISDIR(info.st_mode)) {
        attribute |= CFile::directory;
    } else {
        attribute |= CFile::archive;
    }
    if (::access(fileName.GetString(), W_OK) != 0 && errno == EACCES) {
        attribute |= CFile::readOnly;
    }
    const int slash = fileName.ReverseFind('/');
    if (fileName.Mid(slash + 1).Find('.') == 0) {
        attribute |= CFile::hidden;
    }
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
        attribute |= CFile::system;
    }
    status.m_attribute = attribute;
    return true;
}

void CFile::Remove(const CString& fileName) {
    if (::unlink(fileName.GetString()) != 0) {
        CFileException::ThrowOsError(errno, fileName);
    }
}

void CFile::Flush() {
    if (::fsync(Fd(m_hFile)) != 0) {
        CFileException::ThrowOsError(errno, m_strFileName);
    }
}

void CFile::Rename(const CString& oldName, const CString& newName) {
    if (::rename(oldName.GetString(), newName.GetString()) != 0) {
        CFileException::ThrowOsError(errno, newName);
    }
}

void CFile::Append(const CString& fileName, const void* buffer, std::size_t count) {
    const int fd = ::open(
        fileName.GetString(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        CFileException::ThrowOsError(errno, fileName);
    }
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) {
        error = EINVAL;
    }
    if (error == 0) {
        // One call, so that a line never interleaves with another appender's.
        ssize_t put = -1;
        do {
            put = ::write(fd, buffer, count);
        } while (put < 0 && errno == EINTR);
        if (put < 0) {
            error = errno;
        } else if (static_cast<std::size_t>(put) != count) {
            error = ENOSPC;
        }
    }
    if (::close(fd) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    if (error == EINVAL) {
        throw CFileException(CFileException::invalidFile, 0, fileName);
    }
    if (error != 0) {
        CFileException::ThrowOsError(error, fileName);
    }
}
