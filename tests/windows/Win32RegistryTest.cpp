// The install location from the registry value the product's driver keeps:
// missing, empty, with a trailing backslash, and the work folder made from it.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/WorkDirectory.h"
#include "framework/DriverRegistry.h"
#include "framework/win32/WinApi.h"

namespace {
constexpr const char* kDriverKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\Transbase for Lorbanix";

// Sets or removes the product driver's value for one test and removes the key afterwards.
class DriverKey {
  public:
    DriverKey() { ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDriverKey); }
    ~DriverKey() { ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDriverKey); }
    DriverKey(const DriverKey&) = delete;
    DriverKey& operator=(const DriverKey&) = delete;

    static void Set(const char* name, const std::string& value, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
        ::RegCloseKey(key);
    }
};

std::string Query(const char* value) {
    std::array<char, 64> buffer{};
    buffer.fill('?');
    if (!QueryDriverValue("Transbase for Lorbanix", value, buffer.data(), buffer.size())) {
        return "<none>";
    }
    return buffer.data();
}
}  // namespace

TEST(Win32RegistryTest, TheValueIsUsedExactlyAsStoredAndOnlyWhenItIsAFittingText) {
    const std::string tooLong(200, 'x');
    const struct {
        const char* name;  // nullptr: no key at all
        std::string value;
        DWORD type;
        std::string read;
        std::string workDirectory;
    } cases[] = {
        {nullptr, "", REG_SZ, "<none>", "c:\\home\\Lorbanix\\Velko"},
        {"Other", "d:\\x", REG_SZ, "<none>", "c:\\home\\Lorbanix\\Velko"},
        {"Location", "d:\\Lorbanix", REG_SZ, "d:\\Lorbanix", "d:\\Lorbanix\\Velko"},
        {"Location", "d:\\Lorbanix\\", REG_SZ, "d:\\Lorbanix\\", "d:\\Lorbanix\\\\Velko"},
        {"Location", "", REG_SZ, "", "\\Velko"},
        // Larger than the room given: never cut to a different folder.
        {"Location", tooLong, REG_SZ, "<none>", tooLong + "\\Velko"},
        {"Location", "1234", REG_DWORD, "<none>", "c:\\home\\Lorbanix\\Velko"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name != nullptr ? c.name : "no key") + " = " +
                     c.value.substr(0, 20));
        const DriverKey key;
        if (c.name != nullptr) {
            DriverKey::Set(c.name, c.value, c.type);
        }
        EXPECT_EQ(Query("Location"), c.read);
        EXPECT_EQ(ResolveWorkDirectory(), c.workDirectory);
    }
}

TEST(Win32RegistryTest, ALocationOutsideTheAnsiCodePageIsReadAsWritten) {
    const DriverKey key;
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    const std::wstring location = L"c:\\\u0141orbanix\\Pr\u00fcfstand";
    ::RegSetValueExW(handle, L"Location", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(location.c_str()),
                     static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
    EXPECT_EQ(ResolveWorkDirectory(), "c:\\\u0141orbanix\\Pr\u00fcfstand\\Velko");
    // The room is counted in the bytes the tool holds the text in.
    EXPECT_EQ(Query("Location"), "c:\\\u0141orbanix\\Pr\u00fcfstand");
}
