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

TEST(Win32RegistryTest, AMissingKeyOrValueGivesTheDefaultLocation) {
    const DriverKey key;
    EXPECT_EQ(Query("Location"), "<none>");
    EXPECT_EQ(ResolveWorkDirectory(), "c:\\home\\Lorbanix\\Velko");
    DriverKey::Set("Other", "d:\\x");
    EXPECT_EQ(Query("Location"), "<none>");
    EXPECT_EQ(ResolveWorkDirectory(), "c:\\home\\Lorbanix\\Velko");
}

TEST(Win32RegistryTest, TheValueIsUsedExactlyAsStored) {
    const DriverKey key;
    DriverKey::Set("Location", "d:\\Lorbanix");
    EXPECT_EQ(ResolveWorkDirectory(), "d:\\Lorbanix\\Velko");
    DriverKey::Set("Location", "d:\\Lorbanix\\");
    EXPECT_EQ(Query("Location"), "d:\\Lorbanix\\");
    EXPECT_EQ(ResolveWorkDirectory(), "d:\\Lorbanix\\\\Velko");
    DriverKey::Set("Location", "");
    EXPECT_EQ(Query("Location"), "");
    EXPECT_EQ(ResolveWorkDirectory(), "\\Velko");
}

TEST(Win32RegistryTest, AValueThatIsNoFittingTextCountsAsNotThere) {
    const DriverKey key;
    // Larger than the room given: never cut to a different folder.
    DriverKey::Set("Location", std::string(200, 'x'));
    EXPECT_EQ(Query("Location"), "<none>");
    DriverKey::Set("Location", "1234", REG_DWORD);
    EXPECT_EQ(Query("Location"), "<none>");
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
