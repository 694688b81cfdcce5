// What only a POSIX file system has in a lock file's place: links and pipes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "framework/CFileException.h"
#include "tests/support/LockProbe.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(LockFileTest, ALinkOrSomethingElseInItsPlaceIsRefused) {
    TempDir dir;
    WriteFile(dir / "elsewhere", "precious");
    fs::create_symlink(dir / "elsewhere", dir / "link.lock");
    EXPECT_NE(CauseOfTaking((dir / "link.lock").c_str()), CFileException::none);
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "precious");

    ASSERT_EQ(::mkfifo((dir / "fifo.lock").c_str(), 0600), 0);
    EXPECT_NE(CauseOfTaking((dir / "fifo.lock").c_str()), CFileException::none);
    EXPECT_EQ(CauseOfTaking((dir / "absent" / "x.lock").c_str()), CFileException::fileNotFound);
}
