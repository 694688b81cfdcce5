#include "util/DirectoryCleaner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(DirectoryCleanerTest, RemovesFilesHiddenFilesAndSubfoldersButNotTheFolderItself) {
    TempDir dir;
    const fs::path work = dir / "Velko";
    WriteFile(work / "pkunzip.exe", "x");
    WriteFile(work / ".hidden", "x");
    WriteFile(work / "UPPER.SPL", "x");
    WriteFile(work / "data" / "deep" / ".more" / "file.bin", "x");
    ::chmod((work / "UPPER.SPL").c_str(), 0444);
    DeleteDirectoryEntries(work.c_str());
    EXPECT_TRUE(fs::is_directory(work));
    EXPECT_TRUE(fs::is_empty(work));
}

TEST(DirectoryCleanerTest, RemovesLinksWithoutFollowingThem) {
    TempDir dir;
    const fs::path work = dir / "Velko";
    const fs::path outside = dir / "outside";
    WriteFile(outside / "keep.txt", "precious");
    fs::create_directories(work);
    fs::create_directory_symlink(outside, work / "link-to-folder");
    fs::create_symlink(outside / "keep.txt", work / "link-to-file");
    DeleteDirectoryEntries(work.c_str());
    EXPECT_TRUE(fs::is_empty(work));
    EXPECT_EQ(ReadFile(outside / "keep.txt"), "precious");
}

TEST(DirectoryCleanerTest, GoesOnPastAnEntryItCannotRemoveAndThenReportsIt) {
    TempDir dir;
    const fs::path work = dir / "Velko";
    WriteFile(work / "a.spl", "x");
    WriteFile(work / "z.spl", "x");
    ASSERT_EQ(MakeUnremovableTree(work / "m"), "");

    try {
        DeleteDirectoryEntries(work.c_str());
        ADD_FAILURE() << "the unremovable entry must be reported";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::badPath);
        EXPECT_NE(error.m_strFileName.Find('m'), -1);
    }
    // Everything else went.
    EXPECT_FALSE(fs::exists(work / "a.spl"));
    EXPECT_FALSE(fs::exists(work / "z.spl"));
    EXPECT_TRUE(fs::exists(work / "m"));
}

TEST(DirectoryCleanerTest, AMissingFolderHasNothingToRemove) {
    TempDir dir;
    EXPECT_NO_THROW(DeleteDirectoryEntries((dir / "absent").c_str()));
}

TEST(DirectoryCleanerTest, AFolderThatIsALinkIsRefusedAndWhatItPointsToStays) {
    TempDir dir;
    const fs::path outside = dir / "outside";
    WriteFile(outside / "keep.txt", "precious");
    fs::create_directory_symlink(outside, dir / "Velko");
    EXPECT_THROW(DeleteDirectoryEntries((dir / "Velko").c_str()), CFileException);
    EXPECT_EQ(ReadFile(outside / "keep.txt"), "precious");
}
