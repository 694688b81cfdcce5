#include "framework/DriverRegistry.h"

#include <cstring>
#include <string>

#include "framework/win32/ScopedHandle.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

namespace {
// A registry value may hold up to this many characters for the tool to look at.
constexpr DWORD kLongestValue = 32767;
}  // namespace

bool QueryDriverValue(const char* driverName, const char* valueName, char* buffer,
                      std::size_t size) {
    if (size == 0) {
        return false;
    }
    std::memset(buffer, 0, size);
    const std::wstring keyName =
        Widened(std::string("SOFTWARE\\ODBC\\ODBCINST.INI\\") + driverName);
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return false;
    }
    const RegistryKey key(opened);
    DWORD type = 0;
    std::wstring value(kLongestValue, L'\0');
    auto length = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), Widened(valueName).c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(value.data()), &length) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    // A stored string need not end in a NUL of its own; what follows one is not read.
    value.resize(length / sizeof(wchar_t));
    value.resize(std::wcslen(value.c_str()));
    const std::string text = Narrowed(value);
    // Larger than the room given: never cut to a different folder.
    if (text.size() > size - 1) {
        return false;
    }
    // The buffer was cleared above: the copy ends in its NUL.
    text.copy(buffer, text.size());
    return true;
}

const char* DefaultProductRoot() {
    return "c:\\home";
}
