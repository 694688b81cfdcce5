#include "framework/OwnerOnlyFile.h"

#include <optional>
#include <string>
#include <vector>

#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

#include <shellapi.h>

namespace {
std::string SystemError() {
    const DWORD code = GetLastError();
    wchar_t text[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, 256, nullptr);
    std::string message = Narrowed(std::wstring_view(text, length));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(code) : message;
}

// The member is an integer on every platform; here it holds a HANDLE.
HANDLE Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);  // NOLINT(performance-no-int-to-ptr)
}

// The system's attributes of path, INVALID_FILE_ATTRIBUTES when it cannot say.
DWORD AttributesOf(const std::string& path) {
    const std::optional<std::wstring> name = WidenedExactly(path);
    return name ? GetFileAttributesW(name->c_str()) : INVALID_FILE_ATTRIBUTES;
}
}  // namespace

std::vector<std::string> UnpackerArguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (words == nullptr) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Narrowed(words[i]));
    }
    LocalFree(static_cast<HLOCAL>(words));
    return arguments;
}

char FolderSeparator() {
    return '\\';
}

NameKind LookUpName(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return NameKind::none;
    }
    // A junction or a symbolic link is never gone through.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return NameKind::folder;
    }
    return NameKind::other;
}

bool RemoveName(const std::string& path) {
    const std::optional<std::wstring> name = WidenedExactly(path);
    if (!name) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(name->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return RemoveDirectoryW(name->c_str()) != 0;
    }
    return DeleteFileW(name->c_str()) != 0;
}

ArchiveFile::~ArchiveFile() {
    if (m_handle != -1) {
        CloseHandle(Handle(m_handle));
    }
}

std::string ArchiveFile::Open(const std::string& path) {
    if (m_handle != -1) {
        CloseHandle(Handle(m_handle));
        m_handle = -1;
    }
    const std::optional<std::wstring> name = WidenedExactly(path);
    if (!name) {
        return SystemError();
    }
    HANDLE file = CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return SystemError();
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return "not a regular file";
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        return SystemError();
    }
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return {};
}

std::string ArchiveFile::ReadAt(std::uint64_t offset, char* bytes, std::size_t count) {
    while (count > 0) {
        const DWORD part = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(Handle(m_handle), bytes, part, &got, &at)) {
            return SystemError();
        }
        if (got == 0) {
            return "the file ended early";
        }
        bytes += got;
        offset += got;
        count -= got;
    }
    return {};
}

OwnerOnlyFile::~OwnerOnlyFile() {
    if (m_handle != -1) {
        CloseHandle(Handle(m_handle));
    }
}

std::string OwnerOnlyFile::Create(const std::string& path) {
    const std::optional<std::wstring> name = WidenedExactly(path);
    if (!name) {
        return SystemError();
    }
    // Default security: the access the folder passes on.
    HANDLE file = CreateFileW(name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return SystemError();
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return {};
}

std::string OwnerOnlyFile::Write(const char* bytes, std::size_t count) {
    while (count > 0) {
        const DWORD part = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(Handle(m_handle), bytes, part, &written, nullptr) || written == 0) {
            return SystemError();
        }
        bytes += written;
        count -= written;
    }
    return {};
}

std::string OwnerOnlyFile::Close() {
    HANDLE file = Handle(m_handle);
    m_handle = -1;
    if (!CloseHandle(file)) {
        return SystemError();
    }
    return {};
}

std::string MakeOwnerOnlyFolder(const std::string& path) {
    const std::optional<std::wstring> name = WidenedExactly(path);
    if (!name || !CreateDirectoryW(name->c_str(), nullptr)) {
        return SystemError();
    }
    return {};
}
