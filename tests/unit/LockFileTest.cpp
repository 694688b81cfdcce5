#include "framework/CLockFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "framework/CFileException.h"
#include "tests/support/LockProbe.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {}  // namespace

TEST(LockFileTest, OneHolderAtATimeAndTheFileStaysAfterwards) {
    TempDir dir;
    const fs::path path = dir / "Velko.lock";
    std::optional<CLockFile> first(std::in_place, path.c_str());
    EXPECT_TRUE(fs::is_regular_file(path));
    // Refused at once, not waited for.
    EXPECT_EQ(CauseOfTaking(path.c_str()), CFileException::sharingViolation);
    first.reset();
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(CauseOfTaking(path.c_str()), CFileException::none);
}

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
