#include "framework/CLockFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "framework/CFileException.h"
#include "tests/support/LockProbe.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(LockFileTest, OneHolderAtATimeAndTheFileStaysAfterwards) {
    TempDir dir;
    const CString path((dir / "Velko.lock").string());
    std::optional<CLockFile> first(std::in_place, path);
    EXPECT_TRUE(fs::is_regular_file(dir / "Velko.lock"));
    // Refused at once, not waited for.
    EXPECT_EQ(CauseOfTaking(path), CFileException::sharingViolation);
    first.reset();
    EXPECT_TRUE(fs::exists(dir / "Velko.lock"));
    EXPECT_EQ(CauseOfTaking(path), CFileException::none);
}

TEST(LockFileTest, AFolderInItsPlaceIsRefused) {
    TempDir dir;
    fs::create_directory(dir / "folder.lock");
    EXPECT_NE(CauseOfTaking(CString((dir / "folder.lock").string())), CFileException::none);
}
