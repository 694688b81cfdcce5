#include "framework/Kernel.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "framework/CFileException.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

namespace {
// The code a crashed run ends with: never 0, never the code of a finished run.
constexpr UINT kCrashExitCode = 3;

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info) {
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr
                           ? info->ExceptionRecord->ExceptionCode
                           : 0;
    std::fprintf(stderr, "The update stopped on an unexpected fault (exception 0x%08lX).\n",
                 static_cast<unsigned long>(code));
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

const char* PathSeparator() {
    return "\\";
}

CString PathJoin(const CString& dir, const char* name) {
    return dir + PathSeparator() + name;
}

CString ModuleFilePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return CString(Narrowed(std::wstring_view(buffer.data(), length)));
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool MakeDirectory(const CString& path) {
    return ::CreateDirectoryW(Widened(path.str()).c_str(), nullptr) != FALSE;
}

bool KeepToOwner(const CString& /*path*/) {
    // Files and folders keep the access they inherit from the install location,
    // which its administrator sets.
    return true;
}

bool AllowRemoval(const CString& path) {
    const std::wstring name = Widened(path.str());
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return true;  // nothing in the way; what is not there the removal reports
    }
    return ::SetFileAttributesW(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) !=
           FALSE;
}

bool RemoveEmptyDirectory(const CString& path) {
    return ::RemoveDirectoryW(Widened(path.str()).c_str()) != FALSE;
}

bool ChangeDirectory(const CString& path) {
    return ::SetCurrentDirectoryW(Widened(path.str()).c_str()) != FALSE;
}

long LastOsError() {
    return static_cast<long>(::GetLastError());
}

void CopyPermissionBits(const CString& /*source*/, const CString& /*target*/) {
    // A copied program runs here by its name alone: there are no permission bits.
}

void SleepMilliseconds(unsigned milliseconds) {
    ::Sleep(milliseconds);
}

void IgnoreCloseRequests() {
    // Ctrl+C and Ctrl+Break from a console the tool was started in do not end it.
    ::SetConsoleCtrlHandler(nullptr, TRUE);
}

void EndRunOnCrash() {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(EndOnCrash);
}

int FileCauseFromOsError(long osError) {
    switch (static_cast<DWORD>(osError)) {
        case ERROR_SUCCESS:
            return CFileException::none;
        case ERROR_FILE_NOT_FOUND:
            return CFileException::fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_DRIVE:
        case ERROR_FILENAME_EXCED_RANGE:
            return CFileException::badPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return CFileException::tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_DIR_NOT_EMPTY:
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return CFileException::accessDenied;
        case ERROR_INVALID_HANDLE:
            return CFileException::invalidFile;
        case ERROR_CURRENT_DIRECTORY:
            return CFileException::removeCurrentDir;
        case ERROR_NEGATIVE_SEEK:
        case ERROR_SEEK_ON_DEVICE:
            return CFileException::badSeek;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
            return CFileException::hardIO;
        case ERROR_SHARING_VIOLATION:
            return CFileException::sharingViolation;
        case ERROR_LOCK_VIOLATION:
            return CFileException::lockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return CFileException::diskFull;
        case ERROR_HANDLE_EOF:
            return CFileException::endOfFile;
        default:
            return CFileException::genericException;
    }
}

long OsErrorForCause(int cause) {
    switch (cause) {
        case CFileException::fileNotFound:
            return ERROR_FILE_NOT_FOUND;
        case CFileException::badPath:
            return ERROR_DIRECTORY;
        case CFileException::accessDenied:
            return ERROR_ACCESS_DENIED;
        case CFileException::sharingViolation:
            return ERROR_SHARING_VIOLATION;
        default:
            return 0;
    }
}

CString SystemErrorText(long osError) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(osError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return "Error " + CString(std::to_string(osError));
    }
    CString result(Narrowed(std::wstring_view(text, length)));
    ::LocalFree(text);
    // The system's texts end in a full stop and a line break.
    result.TrimRight();
    if (!result.IsEmpty() && result.str().back() == '.') {
        result = result.Left(result.GetLength() - 1);
    }
    return result;
}
