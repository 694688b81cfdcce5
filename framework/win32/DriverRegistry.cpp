#include "framework/DriverRegistry.h"

#include <cstring>
#include <string>

#include "framework/win32/WinApi.h"

namespace {
// Owns an open registry key.
class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (m_key != nullptr) {
            ::RegCloseKey(m_key);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* out() { return &m_key; }
    [[nodiscard]] HKEY get() const { return m_key; }

  private:
    HKEY m_key = nullptr;
};
}  // namespace

bool QueryDriverValue(const char* driverName, const char* valueName, char* buffer,
                      std::size_t size) {
    if (size == 0) {
        return false;
    }
    std::memset(buffer, 0, size);
    const std::string keyName = std::string("SOFTWARE\\ODBC\\ODBCINST.INI\\") + driverName;
    RegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_QUERY_VALUE, key.out()) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    auto length = static_cast<DWORD>(size - 1);
    if (::RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &length) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        std::memset(buffer, 0, size);
        return false;
    }
    // A stored string need not end in a NUL of its own.
    buffer[length < size ? length : size - 1] = '\0';
    return true;
}

const char* DefaultProductRoot() {
    return "c:\\home";
}
