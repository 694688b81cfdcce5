#include "util/DirectoryCleaner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {
CString Path(const fs::path& path) {
    return CString(path.string());
}
}  // namespace

TEST(DirectoryCleanerTest, RemovesFilesHiddenFilesAndSubfoldersButNotTheFolderItself) {
    TempDir dir;
    const fs::path work = dir / "Velko";
    WriteFile(work / "pkunzip.exe", "x");
    WriteFile(work / ".hidden", "x");
    WriteFile(work / "UPPER.SPL", "x");
    WriteFile(work / "data" / "deep" / ".more" / "file.bin", "x");
    fs::permissions(work / "UPPER.SPL",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    DeleteDirectoryEntries(Path(work));
    EXPECT_TRUE(fs::is_directory(work));
    EXPECT_TRUE(fs::is_empty(work));
}

TEST(DirectoryCleanerTest, AMissingFolderHasNothingToRemove) {
    TempDir dir;
    EXPECT_NO_THROW(DeleteDirectoryEntries(Path(dir / "absent")));
}
