// What only a POSIX file system puts in the cleaner's way: links, and trees
// deeper than a path can name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"
#include "util/DirectoryCleaner.h"

namespace fs = std::filesystem;

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

TEST(DirectoryCleanerTest, AFolderThatIsALinkIsRefusedAndWhatItPointsToStays) {
    TempDir dir;
    const fs::path outside = dir / "outside";
    WriteFile(outside / "keep.txt", "precious");
    fs::create_directory_symlink(outside, dir / "Velko");
    EXPECT_THROW(DeleteDirectoryEntries((dir / "Velko").c_str()), CFileException);
    EXPECT_EQ(ReadFile(outside / "keep.txt"), "precious");
}
