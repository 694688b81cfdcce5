// Names as the user wrote them: letters outside the ANSI code page reach the
// system unchanged, the tool's own work directory is cleared whatever
// read-only marks it holds, and messages go where someone can read them.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <string>

#include "framework/CDesktop.h"
#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/CFileFind.h"
#include "framework/CLockFile.h"
#include "framework/ConsoleDesktop.h"
#include "framework/ContainedFile.h"
#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"
#include "tests/support/TempDir.h"
#include "util/DirectoryCleaner.h"

namespace fs = std::filesystem;

namespace {
// The UTF-8 form the tool holds names in.
CString Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return CString(std::string(text.begin(), text.end()));
}

void MarkReadOnly(const fs::path& path) {
    ASSERT_NE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY), FALSE) << path;
}
}  // namespace

TEST(Win32PathTest, NamesOutsideTheAnsiCodePageReachTheSystemAsWritten) {
    const TempDir dir;
    // Wide, so that the test's own names are not taken through the code page.
    const fs::path location = dir.path() / L"\u0141orbanix" / L"Pr\u00fcfstand \u03a9";
    const fs::path spool = L"\u017c\u00f3\u0142w.spl";
    const CString work = Utf8(location / "Velko");
    ASSERT_TRUE(MakeDirectory(Utf8(location.parent_path())));
    ASSERT_TRUE(MakeDirectory(Utf8(location)));
    ASSERT_TRUE(MakeDirectory(work));
    EXPECT_TRUE(fs::is_directory(location / "Velko"));
    EXPECT_EQ(GetPathKind(work), PathKind::directory);
    {
        const CLockFile lock(Utf8(location / "Velko.lock"));
        CFile file(Utf8(location / "Velko" / spool), CFile::modeCreate | CFile::modeWrite);
        file.Write("x", 1);
    }
    CFile::Append(Utf8(location / "Velko-history.log"), "line\n", 5);
    EXPECT_TRUE(fs::is_regular_file(location / "Velko.lock"));
    EXPECT_EQ(ReadFile(location / "Velko-history.log"), "line\n");
    EXPECT_EQ(ReadFile(location / "Velko" / spool), "x");

    CFileStatus status;
    EXPECT_TRUE(CFile::GetStatus(Utf8(location / "Velko" / spool), status));
    EXPECT_EQ(status.m_size, 1);
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(PathJoin(work, "*.spl")));
    EXPECT_FALSE(finder.FindNext());
    EXPECT_EQ(finder.GetFileName(), Utf8(spool));
    finder.Close();
    const ContainedFile found = FindContainedFile(work, "./" + Utf8(spool));
    EXPECT_EQ(found.m_verdict, ContainedFile::regularFile) << found.m_strReason;
    EXPECT_EQ(found.m_strPath, Utf8(location / "Velko" / spool));

    CFile::Rename(Utf8(location / "Velko" / spool), Utf8(location / "Velko" / L"\u00e6.spl"));
    EXPECT_TRUE(fs::is_regular_file(location / "Velko" / L"\u00e6.spl"));
    EXPECT_TRUE(ChangeDirectory(work));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), location / "Velko"));
    EXPECT_TRUE(ChangeDirectory(Utf8(dir.path())));
    DeleteDirectoryEntries(work);
    EXPECT_TRUE(RemoveEmptyDirectory(work));
    EXPECT_FALSE(fs::exists(location / "Velko"));
    // Nothing went to a folder of a look-alike name.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(Win32PathTest, TheCleanerClearsReadOnlyMarksOfFilesAndFolders) {
    const TempDir dir;
    const fs::path work = dir / "Velko";
    WriteFile(work / "ro.txt", "x");
    WriteFile(work / "rofolder" / "inner.txt", "x");
    WriteFile(work / "rofolder" / "deeper" / "last.txt", "x");
    MarkReadOnly(work / "ro.txt");
    MarkReadOnly(work / "rofolder" / "inner.txt");
    MarkReadOnly(work / "rofolder" / "deeper" / "last.txt");
    MarkReadOnly(work / "rofolder" / "deeper");
    MarkReadOnly(work / "rofolder");
    MarkReadOnly(work);
    EXPECT_NO_THROW(DeleteDirectoryEntries(Utf8(work)));
    EXPECT_TRUE(fs::is_directory(work));
    EXPECT_TRUE(fs::is_empty(work));
    EXPECT_TRUE(RemoveEmptyDirectory(Utf8(work)));
    EXPECT_FALSE(fs::exists(work));
}

TEST(Win32PathTest, WhereNoOneCanAnswerABoxMessagesGoToStandardError) {
    // The desktop of an interactive station is a window; a station that no one
    // sees (a service's, a task's without a desktop) gets the terminal's.
    EXPECT_EQ(dynamic_cast<CConsoleDesktop*>(CreatePlatformDesktop().get()), nullptr);
    const HWINSTA hidden =
        ::CreateWindowStationW(L"lorbanix-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_NE(hidden, nullptr) << ::GetLastError();
    const HWINSTA own = ::GetProcessWindowStation();
    ASSERT_NE(::SetProcessWindowStation(hidden), FALSE) << ::GetLastError();
    const std::unique_ptr<CDesktop> desktop = CreatePlatformDesktop();
    ::SetProcessWindowStation(own);
    ::CloseWindowStation(hidden);
    EXPECT_NE(dynamic_cast<CConsoleDesktop*>(desktop.get()), nullptr);
}
