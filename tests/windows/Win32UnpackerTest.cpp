// The medium's unpacker on Windows: names are UTF-8 inside and reach the
// system whole, whatever script they are written in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipSamples.h"
#include "tools/pkunzip/ZipExtractor.h"

namespace fs = std::filesystem;

namespace {
// "Prüfstand/ü.spl" and the folders "Łmedium" and "Łout", in UTF-8.
const char* const kEntry =
    "Pr\xc3\xbc"
    "fstand/\xc3\xbc.spl";
const char8_t* const kMedium = u8"\u0141medium";
const char8_t* const kOut = u8"\u0141out";
const char8_t* const kLanded = u8"Pr\u00fcfstand/\u00fc.spl";

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// The two folders of one try: the archive's, holding spool.zip, and the target.
struct Folders {
    TempDir dir;
    fs::path medium = dir.path() / kMedium;
    fs::path out = dir.path() / kOut;

    explicit Folders(const std::string& archive) {
        fs::create_directory(medium);
        fs::create_directory(out);
        WriteFile(medium / "spool.zip", archive);
    }
};

// Runs the unpacker program on the archive, in folder; its exit code.
DWORD RunUnpacker(const fs::path& archive, const fs::path& folder) {
    const CString module = ModuleFilePath();
    const fs::path program =
        fs::path(module.Left(module.ReverseFind('\\')).str()) / LORBANIX_UNPACKER_NAME;
    std::wstring line = L"\"" + program.wstring() + L"\" \"" + archive.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}
}  // namespace

TEST(Win32UnpackerTest, NamesInAnyScriptLandUnderTheirOwnNames) {
    const Folders folders(BuildZip({{kEntry, "hello"}, {"idcard.spl", "CH1\tT\n"}}));
    EXPECT_EQ(ExtractArchive(Utf8(folders.medium / "spool.zip"), Utf8(folders.out)), "");
    EXPECT_EQ(ReadFile(folders.out / kLanded), "hello");

    // The program itself, handed the archive's name on its command line.
    const Folders again(BuildZip({{kEntry, "again"}}));
    EXPECT_EQ(RunUnpacker(again.medium / "spool.zip", again.out), 0U);
    EXPECT_EQ(ReadFile(again.out / kLanded), "again");
}

TEST(Win32UnpackerTest, AnEntryNameThatIsNoUtf8IsRefusedAndNothingOfTheArchiveStays) {
    const TempDir dir;
    WriteFile(dir / "spool.zip", BuildZip({{"ok.spl", "a"}, {"caf\xe9.spl", "b"}}));
    fs::create_directory(dir / "out");
    const std::string failure =
        ExtractArchive((dir / "spool.zip").string(), (dir / "out").string());
    EXPECT_NE(failure.find("caf"), std::string::npos) << failure;
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}
