#include "framework/DriverRegistry.h"

#include <odbcinst.h>

#include <cstring>

bool QueryDriverValue(const char* driverName, const char* valueName, char* buffer,
                      std::size_t size) {
    if (size == 0) {
        return false;
    }
    // The driver manager's configuration answers a missing entry with the default,
    // so a default that no stored value can equal tells the two apart.
    static constexpr char kMissing[] = "\x01\x02missing\x02\x01";
    std::memset(buffer, 0, size);
    SQLGetPrivateProfileString(driverName, valueName, kMissing, buffer, static_cast<int>(size),
                               "odbcinst.ini");
    buffer[size - 1] = '\0';
    if (std::strcmp(buffer, kMissing) == 0) {
        std::memset(buffer, 0, size);
        return false;
    }
    return true;
}

const char* DefaultProductRoot() {
    return "/home";
}
