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

#include "framework/odbc/CDatabase.h"
#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
// What the tool writes to standard error when it runs its transaction again.
constexpr const char* kRepeatLine = "lorbanix-update (repeat ";
// The tries a run makes in all before a conflict ends it.
constexpr int kMostTries = 12;
// The position just before the transaction begins: where a repeat starts again.
constexpr int kBeforeTransaction = 7;

int CountOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// The bar of a run whose tries went up to the steps in tops, one each: the
// first from the start, every later one from just before the transaction.
std::vector<int> BarOfTries(const std::vector<int>& tops) {
    std::vector<int> steps;
    for (std::size_t i = 0; i < tops.size(); ++i) {
        for (int step = i == 0 ? 0 : kBeforeTransaction; step <= tops[i]; ++step) {
            steps.push_back(step);
        }
    }
    return steps;
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

    // One run's update of a vehicle, told apart from every other run's by its
    // variant in every table; its vs keys belong to the vehicle.
    struct RunData {
        std::string chassis;
        int variant;
    };

    // Packs the update of run into dir/medium-NAME.
    void PackRun(const RunData& run, const std::string& name) {
        const std::string& c = run.chassis;
        const std::string v = std::to_string(run.variant);
        const auto size = static_cast<std::size_t>(run.variant);
        fs::remove_all(dir / "spool");
        Spool("idcard.spl", c + "\tTP" + v + "\tENG\tMDES\t42\n");
        Spool("idcomp.spl", c + "\t10\tGearbox " + v + "\n" + c + "\t20\tBrakes " + v + "\n");
        Spool("serial.spl", c + "\tECU\tSN1-" + v + "\n" + c + "\tABS\tSN2-" + v + "\n");
        Spool("tun.spl", c + "\tdata/tun.bin\n");
        Spool("data/tun.bin", Pattern(65536 + size, 1));
        Spool("vs.spl", c + "-C1\t1\tdata/vs1.bin\n" + c + "-C2\t2\tdata/vs2.bin\n");
        Spool("data/vs1.bin", Pattern(1000 + size, 2));
        Spool("data/vs2.bin", Pattern(2000 + size, 3));
        Pack("update", {}, dir / ("medium-" + name));
    }

    // What the tables hold when exactly these runs committed, as AllRows gives it.
    static Rows RowsOf(const std::vector<RunData>& runs) {
        std::vector<Rows> tables(5);
        for (const RunData& run : runs) {
            const std::string& c = run.chassis;
            const std::string v = std::to_string(run.variant);
            tables[0].push_back({c, "TP" + v, "ENG", "MDES", "42"});
            tables[1].push_back({"10", c, "Gearbox " + v});
            tables[1].push_back({"20", c, "Brakes " + v});
            tables[2].push_back({c, "ECU", "SN1-" + v});
            tables[2].push_back({c, "ABS", "SN2-" + v});
            tables[3].push_back({c, std::to_string(65536 + run.variant)});
            tables[4].push_back({c + "-C1", "1", std::to_string(1000 + run.variant)});
            tables[4].push_back({c + "-C2", "2", std::to_string(2000 + run.variant)});
        }
        Rows all;
        for (Rows& table : tables) {
            std::sort(table.begin(), table.end());
            all.insert(all.end(), table.begin(), table.end());
            all.push_back({"--"});
        }
        return all;
    }

    // Runs the media dir/medium-0, -1, ... at once, each from an install location
    // of its own. They meet a lock the test holds on the tun table until every
    // one is inside its transaction, so that their transactions overlap.
    std::vector<Outcome> RunAtOnce(std::size_t count) {
        CDatabase other;
        LockTunTable(other, GetParam());
        std::vector<std::promise<void>> inside(count);
        std::vector<std::future<Outcome>> runs;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = std::to_string(i);
            SubprocessOptions options;
            fs::create_directories(dir / ("install-" + name));
            options.env = Configured(name, {{"Location", (dir / ("install-" + name)).string()}});
            options.onOutput = [told = false,
                                &entered = inside[i]](const std::string& output) mutable {
                if (!told && output.find("7/16") != std::string::npos) {
                    told = true;
                    entered.set_value();
                }
            };
            runs.push_back(std::async(std::launch::async, [this, options, name] {
                return Run(options, dir / ("medium-" + name));
            }));
        }
        for (std::promise<void>& entered : inside) {
            entered.get_future().wait_for(std::chrono::seconds(60));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        other.Rollback();
        std::vector<Outcome> outcomes;
        outcomes.reserve(runs.size());
        for (std::future<Outcome>& run : runs) {
            outcomes.push_back(run.get());
        }
        return outcomes;
    }
};

}  // namespace

// The test's session holds rows the tool is about to change; the data source
// ends the tool's transaction and the tool starts again from the first import
// step and commits its update whole. A concurrent update: the test's session
// commits while the tool waits for its rows, so the tool's snapshot is stale and
// its delete fails with a serialization failure (40001). A deadlock: the rows
// are locked in the opposite order, the tool waits first, so its session finds
// the cycle and is ended (40P01); the test's session goes on and commits.
TEST_P(ConflictTest, AConcurrentUpdateOrADeadlockIsRepeatedAndCommitsWhole) {
    if (!OnPostgres()) {
        GTEST_SKIP() << "row versions, snapshots and row locks: PostgreSQL";
    }
    struct Case {
        const char* what;
        const char* held;  // before the run
        const char* then;  // once the tool waits, or nullptr
        const char* driverText;
        int stoppedAt;  // where the first try stopped
    };
    for (const Case& c :
         {Case{"a concurrent update",
               "UPDATE [tbadmin].[tb_idcomp] SET [te_comp] = 'changed' WHERE [te_chasnum] = 'CH1'",
               nullptr, "could not serialize access", 8},
          // The tun row the tool deletes after the component rows, then the
          // component row it deleted.
          Case{"a deadlock",
               "UPDATE [tbadmin].[tb_tun] SET [te_file] = NULL WHERE [te_chasnum] = 'CH1'",
               "UPDATE [tbadmin].[tb_idcomp] SET [te_comp] = 'x' WHERE [te_chasnum] = 'CH1'",
               "deadlock detected", 12}}) {
        SCOPED_TRACE(c.what);
        ClearTables(*source);
        SeedOldRows();
        StandardSpool();
        Pack();
        CDatabase other;
        other.OpenEx(kConnectString);
        ASSERT_TRUE(other.BeginTrans());
        ExecuteOn(other, c.held);
        std::future<Outcome> run = std::async(std::launch::async, [this] { return Run(); });
        EXPECT_TRUE(ToolWaitsOnALock());
        if (c.then != nullptr) {
            ExecuteOn(other, c.then);  // raises if the test's session were the one ended
        }
        other.CommitTrans();
        // The run met the conflict once (the driver's text says which), went
        // back to the first import step and committed its update whole.
        const Outcome outcome = run.get();
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
        EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
        EXPECT_EQ(CountOf(outcome.output, kRepeatLine), 1) << outcome.output;
        EXPECT_NE(outcome.output.find(c.driverText), std::string::npos) << outcome.output;
        EXPECT_EQ(outcome.positions, BarOfTries({c.stoppedAt, 16})) << outcome.output;
        EXPECT_EQ(AllRows(), kStandardRows);
    }
}

// Every try fails: the run ends with code 1 and the driver's text after the
// last of a bounded number of tries, in bounded time, with nothing committed.
TEST_P(ConflictTest, AConflictThatNeverClearsEndsWithCode1AfterTheLastTry) {
    if (!OnPostgres()) {
        GTEST_SKIP() << "a server-side trigger: PostgreSQL";
    }
    SeedOldRows();
    StandardSpool();
    Pack();
    const RowTrigger conflict(*source, "tb_vs", "te_comp", "C1", 0, "40001");
    const Clock::time_point start = Clock::now();
    const Outcome outcome = Run();
    const std::chrono::duration<double> took = Clock::now() - start;
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find("C1 refused"), std::string::npos) << outcome.output;
    EXPECT_EQ(CountOf(outcome.output, kRepeatLine), kMostTries - 1) << outcome.output;
    // Every try reached the first vs line (14) and went back to the start.
    EXPECT_EQ(outcome.positions, BarOfTries(std::vector<int>(kMostTries, 14))) << outcome.output;
    EXPECT_EQ(AllRows(), kSeededRows);
    // 12 tries of 7 steps of 200 ms and pauses of at most 300 ms x (1 + 2 + 4 + 8 + 16 x 7):
    // at most about 55 s.
    EXPECT_LT(took.count(), 100.0);
}

// Runs at once, two for one vehicle and two for others. On PostgreSQL all
// commit, one after the other: the tables hold the other vehicles' rows and
// exactly one of the first vehicle's runs, whichever committed last. SQLite
// lets one writer in; a run that waited for it ends with code 1 after its lock
// wait, without a repeat (the wait has used up the bound). Never a mixture.
TEST_P(ConflictTest, RunsAtOnceCommitWholeOneAfterTheOtherNeverMixed) {
    const std::vector<RunData> runs = {{"CH1", 1}, {"CH1", 2}, {"CH2", 3}, {"CH3", 4}};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        PackRun(runs[i], std::to_string(i));
    }
    const std::vector<Outcome> outcomes = RunAtOnce(runs.size());
    std::vector<Rows> possible;
    if (OnPostgres()) {
        possible = {RowsOf({runs[0], runs[2], runs[3]}), RowsOf({runs[1], runs[2], runs[3]})};
    }
    int committed = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Outcome& outcome = outcomes[i];
        EXPECT_FALSE(outcome.timedOut) << outcome.output;
        if (outcome.exitCode == 0) {
            ++committed;
            EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
            if (!OnPostgres()) {
                possible.push_back(RowsOf({runs[i]}));
            }
            continue;
        }
        EXPECT_FALSE(OnPostgres()) << outcome.output;
        EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
        ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
        EXPECT_NE(outcome.messages[0].find("database is locked"), std::string::npos)
            << outcome.output;
        EXPECT_EQ(CountOf(outcome.output, kRepeatLine), 0) << outcome.output;
    }
    EXPECT_EQ(committed, OnPostgres() ? 4 : 1);
    const Rows rows = AllRows();
    EXPECT_NE(std::find(possible.begin(), possible.end(), rows), possible.end())
        << ::testing::PrintToString(rows);
}

INSTANTIATE_ON_BOTH(ConflictTest);
