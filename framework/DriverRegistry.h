// Settings that an ODBC driver's installation registers for itself.
#pragma once

#include <cstddef>

// Reads value `valueName` of driver `driverName` into buffer (at most size - 1
// bytes, zero-terminated). False when the driver or the value is not registered.
bool QueryDriverValue(const char* driverName, const char* valueName, char* buffer,
                      std::size_t size);

// The folder under which products install when their driver names no location.
[[nodiscard]] const char* DefaultProductRoot();
