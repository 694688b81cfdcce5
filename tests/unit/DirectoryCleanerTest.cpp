#include "util/DirectoryCleaner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // A tree deeper than any path can name: its innermost file cannot be removed
    // by path, whoever runs the test.
    fs::create_directories(work / "m");
    const std::string level(200, 'd');
    int fd = ::open((work / "m").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(::mkdirat(fd, level.c_str(), 0755), 0);
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    const int file = ::openat(fd, "inner", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ::close(file);
    ::close(fd);

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
