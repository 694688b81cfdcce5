// Text is UTF-8 inside the tool and UTF-16 at the Windows calls: every path,
// registry value and window text crosses here, so a name outside the ANSI code
// page reaches the system as it is written and never through a best-fit mapping.
// Header only: the unpacker uses it without the rest of the framework.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "framework/win32/WinApi.h"

// UTF-8 to UTF-16. Bytes that are no UTF-8 become U+FFFD, which no file name
// holds, so a damaged name is refused by the system instead of meeting another file.
inline std::wstring Widened(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string Narrowed(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// For a W call that takes a zero-terminated name.
inline std::wstring Widened(const char* text) {
    return Widened(std::string_view(text == nullptr ? "" : text));
}

// UTF-8 to UTF-16 for a name that must be exactly what it says (the unpacker's
// entries): nothing, with the system's error set, for bytes that are no UTF-8.
inline std::optional<std::wstring> WidenedExactly(std::string_view text) {
    const int size = static_cast<int>(text.size());
    const int length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length == 0 && size != 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return wide;
}
