#include "framework/OwnerOnlyFile.h"

#include <string>

#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

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
}  // namespace

OwnerOnlyFile::~OwnerOnlyFile() {
    if (m_handle != -1) {
        CloseHandle(Handle(m_handle));
    }
}

std::string OwnerOnlyFile::Create(const std::filesystem::path& path) {
    // Default security: the access the folder passes on.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

std::string MakeOwnerOnlyFolder(const std::filesystem::path& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        return SystemError();
    }
    return {};
}
