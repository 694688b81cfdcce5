// What only Windows files and folders do: removal of an open file, causes and
// texts of failures, attributes, the finder, contained names, the cleaner of
// held files, the module path. The rest is in the neutral tests.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/CFileFind.h"
#include "framework/ContainedFile.h"
#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"
#include "tests/support/TempDir.h"
#include "util/DirectoryCleaner.h"

namespace {
CString Path(const std::filesystem::path& path) {
    return CString(path.string());
}

int CauseOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CFileException& error) {
        return error.m_cause;
    }
    return CFileException::none;
}
}  // namespace

// Opening a held file is refused on every platform (CFileTest); removing one
// is refused only here.
TEST(Win32FileTest, AnOpenFileCannotBeRemoved) {
    const TempDir dir;
    WriteFile(dir / "data.bin", "12345");
    CFile first(Path(dir / "data.bin"), CFile::modeRead | CFile::shareExclusive);
    EXPECT_EQ(CauseOf([&] { CFile::Remove(Path(dir / "data.bin")); }),
              CFileException::sharingViolation);
    first.Close();
    EXPECT_NO_THROW(CFile::Remove(Path(dir / "data.bin")));
}

TEST(Win32FileTest, FailuresNameTheirCause) {
    const TempDir dir;
    EXPECT_EQ(CauseOf([&] { CFile file(Path(dir / "missing.txt"), CFile::modeRead); }),
              CFileException::fileNotFound);
    EXPECT_EQ(CauseOf([&] { CFile file(Path(dir / "no" / "such.txt"), CFile::modeRead); }),
              CFileException::badPath);
    EXPECT_EQ(CauseOf([&] { CFile file(Path(dir.path()), CFile::modeRead); }),
              CFileException::accessDenied);
    try {
        CFile file(Path(dir / "missing.txt"), CFile::modeRead);
        FAIL() << "opened a missing file";
    } catch (const CFileException& error) {
        // The cause once (the system's text only where it says more), without
        // the system's full stop, then the file.
        const std::string message = error.GetErrorMessage().str();
        CString lower(message);
        lower.MakeLower();
        EXPECT_EQ(message.rfind("File not found", 0), 0U) << message;
        EXPECT_EQ(lower.str().find("file not found", 1), std::string::npos) << message;
        EXPECT_EQ(message.find(".)"), std::string::npos) << message;
        EXPECT_EQ(message.substr(message.size() - 11), "missing.txt");
    }
}

TEST(Win32FileTest, StatusGivesTheAttributeByteAndTheSize) {
    const TempDir dir;
    WriteFile(dir / "plain.txt", std::string(300, 'x'));
    WriteFile(dir / "locked.txt", "x");
    ::SetFileAttributesA((dir / "locked.txt").string().c_str(),
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(Path(dir / "plain.txt"), status));
    EXPECT_EQ(status.m_size, 300);
    EXPECT_EQ(status.m_attribute & (CFile::readOnly | CFile::directory), 0);
    ASSERT_TRUE(CFile::GetStatus(Path(dir / "locked.txt"), status));
    EXPECT_EQ(status.m_attribute & (CFile::readOnly | CFile::hidden),
              CFile::readOnly | CFile::hidden);
    ASSERT_TRUE(CFile::GetStatus(Path(dir.path()), status));
    EXPECT_NE(status.m_attribute & CFile::directory, 0);
    EXPECT_FALSE(CFile::GetStatus(Path(dir / "missing"), status));
}

TEST(Win32FileTest, TheFinderListsInByteOrderWithDotsAndFolders) {
    const TempDir dir;
    WriteFile(dir / "b.prs", "");
    WriteFile(dir / "B.txt", "");
    WriteFile(dir / "a.prs", "");
    std::filesystem::create_directory(dir / "sub");
    CFileFind finder;
    std::vector<std::string> names;
    std::vector<std::string> folders;
    bool more = finder.FindFile(PathJoin(Path(dir.path()), "*.*"));
    while (more) {
        more = finder.FindNext();
        names.push_back(finder.GetFileName().str());
        if (finder.IsDirectory() && !finder.IsDots()) {
            folders.push_back(finder.GetFilePath().str());
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "B.txt", "a.prs", "b.prs", "sub"}));
    EXPECT_EQ(folders, (std::vector<std::string>{(dir / "sub").string()}));

    EXPECT_TRUE(finder.FindFile(PathJoin(Path(dir.path()), "*.prs")));
    finder.FindNext();
    EXPECT_EQ(finder.GetFileName(), "a.prs");
    EXPECT_FALSE(finder.FindFile(PathJoin(Path(dir.path()), "*.spl")));
}

TEST(Win32FileTest, ContainedNamesKeepInsideTheDirectory) {
    const TempDir dir;
    WriteFile(dir / "sub" / "data.bin", "x");
    const CString root = Path(dir.path());
    EXPECT_EQ(FindContainedFile(root, "sub\\data.bin").m_verdict, ContainedFile::regularFile);
    EXPECT_EQ(FindContainedFile(root, "sub/data.bin").m_verdict, ContainedFile::regularFile);
    EXPECT_EQ(FindContainedFile(root, "sub\\..\\sub\\data.bin").m_verdict,
              ContainedFile::regularFile);
    // A missing one is named in the system's separators only.
    for (const char* name :
         {"sub/other.bin", "sub\\other.bin", "./sub//other.bin", "no/such/other.bin"}) {
        const ContainedFile found = FindContainedFile(root, name);
        EXPECT_EQ(found.m_verdict, ContainedFile::missing) << name;
        EXPECT_EQ(found.m_strPath.Find('/'), -1) << found.m_strPath;
        EXPECT_EQ(found.m_strPath.Left(root.GetLength()), root);
        EXPECT_EQ(found.m_strPath.Mid(found.m_strPath.GetLength() - 10), "\\other.bin")
            << found.m_strPath;
    }
    for (const char* name : {"..\\data.bin", "\\data.bin", "c:data.bin", "C:\\data.bin",
                             "sub\\data.bin:hidden", "sub", "NUL", "sub\\com1.txt"}) {
        const ContainedFile found = FindContainedFile(root, name);
        EXPECT_EQ(found.m_verdict, ContainedFile::refused) << name;
        EXPECT_FALSE(found.m_strReason.IsEmpty()) << name;
    }
}

TEST(Win32FileTest, ContainedNamesResolveComponentByComponentWithinTheLongestPath) {
    const TempDir dir;
    WriteFile(dir / "sub" / "data.bin", "x");
    const CString root = Path(dir.path());
    const CString file = root + "\\sub\\data.bin";
    std::string dots;
    while (dots.size() < 1000) {
        dots += ".\\./";
    }
    std::string upAndDown = "sub\\";
    while (upAndDown.size() < 1000) {
        upAndDown += "..\\sub/";
    }
    for (const std::string& name : {"sub" + std::string(1000, '\\') + "data.bin",
                                    dots + "sub\\data.bin", upAndDown + "data.bin"}) {
        const ContainedFile found = FindContainedFile(root, name.c_str());
        EXPECT_EQ(found.m_verdict, ContainedFile::regularFile) << name.substr(0, 20);
        EXPECT_EQ(found.m_strPath, file) << name.substr(0, 20);
    }
    // Folders deeper than a path may be: refused, never cut short.
    const std::string level(100, 'd');
    const std::string deep = level + "\\" + level + "\\" + level + "\\inner";
    std::error_code error;
    std::filesystem::create_directories(dir / level / level / level, error);
    if (error) {
        GTEST_SKIP() << "no folders deeper than MAX_PATH here: " << error.message();
    }
    const ContainedFile found = FindContainedFile(root, deep.c_str());
    EXPECT_EQ(found.m_verdict, ContainedFile::refused);
    EXPECT_NE(found.m_strReason.str().find("longer than the 259 characters"), std::string::npos)
        << found.m_strReason.str();
}

// The walk past an entry it cannot remove and the tree itself are the neutral
// tests'; here only the cause a held file gives.
TEST(Win32FileTest, TheCleanerReportsAHeldFileAndRemovesItOnceFree) {
    const TempDir dir;
    WriteFile(dir / "work" / "held.txt", "c");
    {
        CFile held(Path(dir / "work" / "held.txt"), CFile::modeRead);
        EXPECT_EQ(CauseOf([&] { DeleteDirectoryEntries(Path(dir / "work")); }),
                  CFileException::sharingViolation);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "work" / "held.txt"));
    DeleteDirectoryEntries(Path(dir / "work"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "work"));
}

TEST(Win32FileTest, DirectoriesAndTheModulePath) {
    const TempDir dir;
    EXPECT_TRUE(MakeDirectory(Path(dir / "made")));
    EXPECT_FALSE(MakeDirectory(Path(dir / "made")));
    EXPECT_EQ(FileCauseFromOsError(LastOsError()), CFileException::accessDenied);
    EXPECT_EQ(GetPathKind(Path(dir / "made")), PathKind::directory);
    WriteFile(dir / "made" / "x", "x");
    EXPECT_FALSE(RemoveEmptyDirectory(Path(dir / "made")));
    EXPECT_EQ(GetPathKind(Path(dir / "made" / "x")), PathKind::file);

    const std::string module = ModuleFilePath().str();
    EXPECT_EQ(module.substr(module.size() - 4), ".exe");
    EXPECT_NE(module.find('\\'), std::string::npos);
    EXPECT_EQ(CString(PathSeparator()), "\\");
}
