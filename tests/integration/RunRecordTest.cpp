// The record every run leaves beside the run lock (the line each outcome adds:
// ToolRunTest::RunToEnd): the file kept within its bound; a file that cannot be
// written changing nothing of the run; a kill while it is written leaving it whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/integration/UpdateRunFixture.h"

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kBound = std::size_t{1} << 20U;

// An older record, as big as a real one, numbered in its message.
std::string OldRecord(int number) {
    return "start=2026-01-01T00:00:00Z\tduration=3.500s\texit=0\tresult=committed\t"
           "medium=/media/floppy\tpackage=update.prs\tsha256=" +
           std::string(64, 'a') +
           "\tchassis=OLD\tidcard=0/1/0\tidcomp=0/2/0\tserial=0/2/0\ttun=0/1/0\tvs=0/2/0\t"
           "message=old " +
           std::to_string(number) + "\n";
}
}  // namespace

// How the file is written does not depend on the data source.
class RunRecordFileTest : public ToolRunTest {
  protected:
    void SetUp() override {
        ToolRunTest::SetUp();
        StandardSpool();
        Pack();
        fs::create_directories(workDir.parent_path());
    }
};

TEST_P(RunRecordFileTest, AHistoryThatCannotBeWrittenChangesNeitherTheUpdateNorTheExitCode) {
    fs::create_directories(HistoryFile());  // a directory in the file's place
    const Outcome committed = RunToEnd({0, 16, {}, ""}).outcome;
    const std::string said = "lorbanix-update history: no record of this run was written: ";
    EXPECT_NE(committed.output.find(said), std::string::npos) << committed.output;
    EXPECT_NE(committed.output.find(HistoryFile().string()), std::string::npos) << committed.output;
    EXPECT_TRUE(fs::is_directory(HistoryFile()));
}

// A kill while the record is written leaves the file whole; the next run, which
// holds its lock, cuts the file to the bound, keeping the newest whole lines
// (how they are kept: RunHistoryTest).
TEST_P(RunRecordFileTest, AKillWhileTheRecordIsWrittenLeavesTheFileWholeAndTheNextRunCutsIt) {
    fs::remove(dir / "medium" / "update.prs");  // the quickest whole run
    std::string old;
    int count = 0;
    while (old.size() < 3 * kBound) {
        old += OldRecord(count++);
    }
    WriteFile(HistoryFile(), old);
    const char* asan = std::getenv("ASAN_OPTIONS");
    for (const char* point : {"write", "rename"}) {
        SubprocessOptions options;
        options.env = source->env;
        options.env["LD_PRELOAD"] = LORBANIX_KILL_IN_HISTORY;
        options.env["LORBANIX_KILL_AT"] = point;
        // The sanitizer runtime would insist on being loaded first.
        options.env["ASAN_OPTIONS"] =
            std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
        const Outcome killed = Run(options);
        EXPECT_EQ(killed.endSignal, SIGKILL) << point << "\n" << killed.output;
        // Killed on the way: the new record was being written beside the file.
        EXPECT_TRUE(fs::exists(HistoryFile().string() + ".tmp")) << point;
        // Compared whole, shown short: the file is 3 MiB.
        EXPECT_TRUE(ReadFile(HistoryFile()) == old) << point << ": the history was changed";
    }
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_FALSE(fs::exists(HistoryFile().string() + ".tmp"));
    const std::string text = ReadFile(HistoryFile());
    EXPECT_LE(text.size(), kBound);
    EXPECT_GT(text.size() + OldRecord(count).size(), kBound) << "more was cut than needed";
    const std::vector<Fields> records = Records();
    ASSERT_GT(records.size(), 2U);
    EXPECT_EQ(records.back().at("result"), "nothing-to-do");
    EXPECT_EQ(records.at(records.size() - 2).at("message"), "old " + std::to_string(count - 1));
}

INSTANTIATE_TEST_SUITE_P(DataSources, RunRecordFileTest, ::testing::Values(DataSourceKind::Sqlite),
                         [](const auto& info) { return DataSourceKindName(info.param); });
