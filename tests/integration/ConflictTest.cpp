// Runs whose transaction meets another session's on one data source: the data
// source ends one of them (a serialization failure, a deadlock), and the tool
// runs its own again from the start, so that every run commits whole; runs for
// one vehicle commit one after the other, never mixed. A conflict that never
// clears ends the run with code 1 after a bounded number of tries.
#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/CDBException.h"
#include "framework/CDatabase.h"
#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
// What the tool writes to standard error when it runs its transaction again.
constexpr const char* kRepeatLine = "lorbanix-update (repeat ";
// The tries a run makes in all before a conflict ends it.
constexpr int kMostTries = 8;
// The position just before the transaction begins: where a repeat starts again.
constexpr int kBeforeTransaction = 7;

int CountOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> steps;
    for (int i = first; i <= last; ++i) {
        steps.push_back(i);
    }
    return steps;
}

std::vector<int> Joined(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ConflictTest : public ToolRunTest {
  protected:
    [[nodiscard]] bool OnPostgres() const { return GetParam() == DataSourceKind::Postgres; }

    // Waits until a session of the data source waits on another's lock (the
    // tool's: the test's own sessions never wait); false after 60 seconds.
    [[nodiscard]] bool ToolWaitsOnALock() const {
        const Clock::time_point until = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < until) {
            const Rows waiting = QueryRows(
                *source, "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'");
            if (!waiting.empty() && waiting[0][0] != "0") {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Runs the tool from dir/medium in the background.
    std::future<Outcome> RunInBackground() {
        return std::async(std::launch::async, [this] { return Run(); });
    }
};
}  // namespace

// The test's session changes the rows the tool is about to replace and commits
// while the tool waits for them: the tool's snapshot is then stale and its
// delete fails with a serialization failure (40001). The tool starts again from
// the first import step and commits its update whole.
TEST_P(ConflictTest, AConcurrentUpdateOfItsRowsIsRepeatedAndCommitsWhole) {
    if (!OnPostgres()) {
        GTEST_SKIP() << "row versions and snapshots: PostgreSQL";
    }
    SeedOldRows();
    StandardSpool();
    Pack();
    CDatabase other;
    other.OpenEx(kConnectString);
    ASSERT_TRUE(other.BeginTrans());
    ExecuteOn(other,
              "UPDATE [tbadmin].[tb_idcomp] SET [te_comp] = 'changed' WHERE [te_chasnum] = 'CH1'");
    std::future<Outcome> run = RunInBackground();
    const bool waited = ToolWaitsOnALock();
    other.CommitTrans();
    const Outcome outcome = run.get();
    EXPECT_TRUE(waited);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
    EXPECT_EQ(CountOf(outcome.output, kRepeatLine), 1) << outcome.output;
    EXPECT_NE(outcome.output.find("could not serialize access"), std::string::npos)
        << outcome.output;
    // The first try stopped at the component lines (8); the bar went back.
    EXPECT_EQ(outcome.positions, Joined(StepsTo(8), Range(kBeforeTransaction, 16)))
        << outcome.output;
    EXPECT_EQ(AllRows(), kStandardRows);
}

// A deadlock with the test's session, rows locked in the opposite order: the
// tool waits first, so its session finds the cycle and is ended (40P01); the
// test's session goes on, lets go, and the tool's next try commits.
TEST_P(ConflictTest, ADeadlockIsRepeatedAndCommitsWhole) {
    if (!OnPostgres()) {
        GTEST_SKIP() << "row locks: PostgreSQL";
    }
    SeedOldRows();
    StandardSpool();
    Pack();
    CDatabase other;
    other.OpenEx(kConnectString);
    ASSERT_TRUE(other.BeginTrans());
    // Held by the test: the tun row the tool deletes after the component rows.
    ExecuteOn(other, "UPDATE [tbadmin].[tb_tun] SET [te_file] = NULL WHERE [te_chasnum] = 'CH1'");
    std::future<Outcome> run = RunInBackground();
    const bool waited = ToolWaitsOnALock();
    // The component row the tool deleted: now each waits on the other.
    std::string otherError;
    try {
        ExecuteOn(other,
                  "UPDATE [tbadmin].[tb_idcomp] SET [te_comp] = 'x' WHERE [te_chasnum] = 'CH1'");
    } catch (const CDBException& error) {
        otherError = error.m_strError.str();
    }
    other.Rollback();
    const Outcome outcome = run.get();
    EXPECT_TRUE(waited);
    EXPECT_EQ(otherError, "");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
    EXPECT_EQ(CountOf(outcome.output, kRepeatLine), 1) << outcome.output;
    EXPECT_NE(outcome.output.find("deadlock detected"), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.positions, Joined(StepsTo(12), Range(kBeforeTransaction, 16)))
        << outcome.output;
    EXPECT_EQ(AllRows(), kStandardRows);
}

INSTANTIATE_TEST_SUITE_P(DataSources, ConflictTest, ::testing::ValuesIn(AllDataSources()),
                         [](const auto& info) { return DataSourceKindName(info.param); });
