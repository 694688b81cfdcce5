#include "framework/CFile.h"

#include "framework/CFileException.h"
#include "framework/win32/ScopedHandle.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

namespace {
HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);  // NOLINT(performance-no-int-to-ptr)
}

[[noreturn]] void ThrowLastError(const CString& fileName) {
    CFileException::ThrowOsError(static_cast<long>(::GetLastError()), fileName);
}
}  // namespace

CFile::CFile(const CString& fileName, unsigned openFlags) {
    Open(fileName, openFlags);
}

CFile::~CFile() {
    if (IsOpen()) {
        ::CloseHandle(AsHandle(m_hFile));
    }
}

void CFile::Open(const CString& fileName, unsigned openFlags) {
    if (IsOpen()) {
        Close();
    }
    m_strFileName = fileName;
    const bool writing = (openFlags & modeWrite) != 0;
    const bool creating = (openFlags & modeCreate) != 0;
    // Share mode 0: one holder at a time, a second open fails with a sharing violation.
    // The file is emptied only once it is held, so a file in use is never cut.
    KernelHandle file = OwnValid<KernelHandle>(::CreateFileW(
        Widened(fileName.str()).c_str(), writing ? GENERIC_WRITE : GENERIC_READ, 0, nullptr,
        creating ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ThrowLastError(fileName);
    }
    // What the tool reads is a whole file of known size: never a pipe or a device.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        throw CFileException(CFileException::invalidFile, 0, fileName);
    }
    if (creating &&
        (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
         ::SetEndOfFile(file.get()) == FALSE)) {
        ThrowLastError(fileName);
    }
    m_hFile = reinterpret_cast<std::intptr_t>(file.release());
}

std::size_t CFile::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t left = count - done;
        const DWORD want = left > 0x40000000U ? 0x40000000U : static_cast<DWORD>(left);
        DWORD got = 0;
        if (::ReadFile(AsHandle(m_hFile), out + done, want, &got, nullptr) == FALSE) {
            ThrowLastError(m_strFileName);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void CFile::Write(const void* buffer, std::size_t count) {
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t left = count - done;
        const DWORD want = left > 0x40000000U ? 0x40000000U : static_cast<DWORD>(left);
        DWORD put = 0;
        if (::WriteFile(AsHandle(m_hFile), in + done, want, &put, nullptr) == FALSE) {
            ThrowLastError(m_strFileName);
        }
        done += put;
    }
}

std::uint64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
    const DWORD method = from == begin ? FILE_BEGIN : (from == current ? FILE_CURRENT : FILE_END);
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (::SetFilePointerEx(AsHandle(m_hFile), distance, &position, method) == FALSE) {
        ThrowLastError(m_strFileName);
    }
    return static_cast<std::uint64_t>(position.QuadPart);
}

std::uint64_t CFile::GetLength() {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(AsHandle(m_hFile), &size) == FALSE) {
        ThrowLastError(m_strFileName);
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

void CFile::Close() {
    if (!IsOpen()) {
        return;
    }
    const HANDLE handle = AsHandle(m_hFile);
    m_hFile = kNoHandle;
    if (::CloseHandle(handle) == FALSE) {
        ThrowLastError(m_strFileName);
    }
}

bool CFile::GetStatus(const CString& fileName, CFileStatus& status) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (fileName.IsEmpty() || ::GetFileAttributesExW(Widened(fileName.str()).c_str(),
                                                     GetFileExInfoStandard, &data) == FALSE) {
        return false;
    }
    status.m_size = static_cast<std::int32_t>(data.nFileSizeLow);
    // The low byte of the system's attributes is the file attribute byte itself.
    status.m_attribute = static_cast<std::uint8_t>(data.dwFileAttributes & 0x3F);
    return true;
}

void CFile::Remove(const CString& fileName) {
    const std::wstring name = Widened(fileName.str());
    if (::DeleteFileW(name.c_str()) != FALSE) {
        return;
    }
    // A read-only mark keeps a file here, never on POSIX systems: the same
    // removal on both takes the mark off first (and puts it back on failure).
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
        ::SetFileAttributesW(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) == FALSE) {
        CFileException::ThrowOsError(static_cast<long>(error), fileName);
    }
    if (::DeleteFileW(name.c_str()) == FALSE) {
        const DWORD again = ::GetLastError();
        ::SetFileAttributesW(name.c_str(), attributes);
        CFileException::ThrowOsError(static_cast<long>(again), fileName);
    }
}

void CFile::Flush() {
    if (::FlushFileBuffers(AsHandle(m_hFile)) == FALSE) {
        ThrowLastError(m_strFileName);
    }
}

void CFile::Rename(const CString& oldName, const CString& newName) {
    if (::MoveFileExW(Widened(oldName.str()).c_str(), Widened(newName.str()).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
        ThrowLastError(newName);
    }
}

void CFile::Append(const CString& fileName, const void* buffer, std::size_t count) {
    // Append access alone: every write lands at the end, whoever else appends.
    // A link in its place is opened as itself, and refused below.
    KernelHandle file = OwnValid<KernelHandle>(
        ::CreateFileW(Widened(fileName.str()).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        ThrowLastError(fileName);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        ::GetFileInformationByHandle(file.get(), &info) == FALSE ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        throw CFileException(CFileException::invalidFile, 0, fileName);
    }
    if (count > 0x7FFFFFFFU) {
        throw CFileException(CFileException::diskFull, 0, fileName);
    }
    DWORD put = 0;
    if (::WriteFile(file.get(), buffer, static_cast<DWORD>(count), &put, nullptr) == FALSE) {
        ThrowLastError(fileName);
    }
    if (put != count) {
        throw CFileException(CFileException::diskFull, 0, fileName);
    }
    if (::CloseHandle(file.release()) == FALSE) {
        ThrowLastError(fileName);
    }
}
