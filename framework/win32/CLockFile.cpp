#include "framework/CLockFile.h"

#include "framework/CFileException.h"
#include "framework/win32/ScopedHandle.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

CLockFile::CLockFile(const CString& path) {
    // Read access is enough to hold it, so that any user of the workstation can;
    // share mode 0 is the hold itself. A link in its place is opened as itself.
    KernelHandle handle = OwnValid<KernelHandle>(
        ::CreateFileW(Widened(path.str()).c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
        CFileException::ThrowOsError(static_cast<long>(::GetLastError()), path);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK ||
        ::GetFileInformationByHandle(handle.get(), &info) == FALSE ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        // Something other than a lock file in its place.
        throw CFileException(CFileException::invalidFile, 0, path);
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle.release());
}

CLockFile::~CLockFile() {
    if (m_handle != -1) {
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));  // NOLINT(performance-no-int-to-ptr)
    }
}
