// The run history's line and the writing of its file: escaped values, the size
// bound that keeps the newest whole lines, and what a run may meet in its place.
#include "app/RunHistory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {
std::string Numbered(int number) {
    std::string line = "line " + std::to_string(number) + " ";
    line.resize(99, 'x');
    return line + "\n";
}

void Add(const fs::path& path, const std::string& line, bool holdingRunLock, std::size_t bound) {
    AddToHistory(path.string().c_str(), CString(line), holdingRunLock, bound);
}
}  // namespace

TEST(RunHistoryTest, ALineHoldsEveryFieldInOrderWithItsValuesEscaped) {
    using namespace std::chrono;
    RunRecord record;
    record.start = sys_days{year{2026} / 12 / 7} + hours{21} + minutes{5} + seconds{9};
    record.duration = milliseconds{3052};
    record.medium = "/media/a\tb";
    record.package = "update.prs";
    record.sha256 = "ab";
    record.chassis = "CH\\1";
    record.exitCode = 3;
    record.result = RunResult::rolledBack;
    record.message = "first\r\nsecond";
    EXPECT_EQ(FormatRunRecord(record).str(),
              "start=2026-12-07T21:05:09Z\tduration=3.052s\texit=3\tresult=rolled-back\t"
              "medium=/media/a\\tb\tpackage=update.prs\tsha256=ab\tchassis=CH\\\\1\t"
              "idcard=\tidcomp=\tserial=\ttun=\tvs=\tmessage=first\\r\\nsecond\n");
    // A committed run's row counts: UpdateRunTest.
}

TEST(RunHistoryTest, ARunHoldingTheLockKeepsTheNewestWholeLinesWithinTheBoundAndNoStoppedText) {
    TempDir dir;
    const fs::path path = dir / "Velko-history.log";
    std::string old;
    for (int i = 0; i < 100; ++i) {
        old += Numbered(i);  // 100 bytes each
    }
    // Room for the new line and 4.5 old ones: the half line goes, and so does
    // the text of an appender that stopped in its line.
    WriteFile(path, old + "half a li");
    Add(path, "new\n", true, 4 + 450);
    EXPECT_EQ(ReadFile(path), Numbered(96) + Numbered(97) + Numbered(98) + Numbered(99) + "new\n");
    // An exact fit keeps the line that starts right at the cut.
    WriteFile(path, old);
    Add(path, "new\n", true, 4 + 300);
    EXPECT_EQ(ReadFile(path), Numbered(97) + Numbered(98) + Numbered(99) + "new\n");
    // Within the bound nothing is dropped, and nothing is left beside it: RunRecordTest.
    EXPECT_FALSE(fs::exists(dir / "Velko-history.log.tmp"));
}

TEST(RunHistoryTest, ARunWithoutTheLockOnlyAppendsAndAMissingFileIsMade) {
    TempDir dir;
    const fs::path path = dir / "Velko-history.log";
    Add(path, "first\n", false, 10);
    Add(path, "second\n", false, 10);
    EXPECT_EQ(ReadFile(path), "first\nsecond\n");  // past the bound: the next run cuts it
    Add(path, "third\n", true, 14);
    EXPECT_EQ(ReadFile(path), "second\nthird\n");
}

TEST(RunHistoryTest, WhatStandsInTheFilesPlaceIsRefusedAndLeftAlone) {
    TempDir dir;
    const fs::path path = dir / "Velko-history.log";
    fs::create_directory(path);
    for (const bool holding : {true, false}) {
        EXPECT_THROW(Add(path, "line\n", holding, 1 << 20), CFileException) << holding;
        EXPECT_TRUE(fs::is_directory(path));
    }
    fs::remove(path);
    WriteFile(dir / "elsewhere", "precious\n");
    std::error_code error;
    fs::create_symlink(dir / "elsewhere", path, error);
    if (error) {
        GTEST_SKIP() << "no symbolic links on this system: " << error.message();
    }
    for (const bool holding : {true, false}) {
        EXPECT_THROW(Add(path, "line\n", holding, 1 << 20), CFileException) << holding;
        EXPECT_TRUE(fs::is_symlink(path));
        EXPECT_EQ(ReadFile(dir / "elsewhere"), "precious\n");
    }
}

TEST(RunHistoryTest, ATemporaryFileLeftByAKilledRunIsReplacedNotFollowed) {
    TempDir dir;
    const fs::path path = dir / "Velko-history.log";
    WriteFile(path, "old\n");
    WriteFile(dir / "elsewhere", "precious\n");
    std::error_code error;
    fs::create_symlink(dir / "elsewhere", dir / "Velko-history.log.tmp", error);
    if (error) {
        WriteFile(dir / "Velko-history.log.tmp", "half a rec");  // no links here: a plain leftover
    }
    Add(path, "new\n", true, 1 << 20);
    EXPECT_EQ(ReadFile(path), "old\nnew\n");
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "precious\n");
    EXPECT_FALSE(fs::exists(dir / "Velko-history.log.tmp"));
}
