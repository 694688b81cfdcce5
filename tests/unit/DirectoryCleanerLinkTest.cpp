// What only a POSIX file system puts in the cleaner's way: links, and trees
// deeper than a path can name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"
#include "util/DirectoryCleaner.h"

namespace fs = std::filesystem;

TEST(DirectoryCleanerTest, RemovesLinksInsideAndRefusesAFolderThatIsOneNeverFollowingThem) {
    TempDir dir;
    const fs::path work = dir / "Velko";
    const fs::path outside = dir / "outside";
    WriteFile(outside / "keep.txt", "precious");
    fs::create_directories(work);
    fs::create_directory_symlink(outside, work / "link-to-folder");
    fs::create_symlink(outside / "keep.txt", work / "link-to-file");
    DeleteDirectoryEntries(work.c_str());
    EXPECT_TRUE(fs::is_empty(work));
    fs::create_directory_symlink(outside, dir / "link-to-outside");
    EXPECT_THROW(DeleteDirectoryEntries((dir / "link-to-outside").c_str()), CFileException);
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

namespace {
// Runs check in a child process as a user whom the permission bits bind (root
// is not bound by them), owner of dir, and gives its exit code.
int AsBoundUser(const fs::path& dir, const std::function<int()>& check) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && ::chown(dir.c_str(), kNobody, kNobody) != 0) {
        return 100;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(101);
        }
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 102;
}
}  // namespace

TEST(DirectoryCleanerTest, FoldersClosedToTheirOwnerAreOpenedAndEmptied) {
    TempDir dir;
    const fs::path work = dir / "Velko";
    const int code = AsBoundUser(dir.path(), [&work] {
        // The user's own folders, closed to writing and searching, and a read-only file.
        WriteFile(work / "ro" / "inner.txt", "x");
        WriteFile(work / "ro" / "closed" / "last.txt", "x");
        ::chmod((work / "ro" / "inner.txt").c_str(), 0444);
        ::chmod((work / "ro" / "closed").c_str(), 0);
        ::chmod((work / "ro").c_str(), 0500);
        if (::unlink((work / "ro" / "inner.txt").c_str()) == 0) {
            return 103;  // the bits bind no one here: nothing to test
        }
        try {
            DeleteDirectoryEntries(work.c_str());
        } catch (const CFileException&) {
            return 1;
        }
        return fs::is_empty(work) ? 0 : 2;
    });
    EXPECT_EQ(code, 0);
}
