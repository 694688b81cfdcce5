// The real tool against faults of its data source and of its own process: a
// kill, a session ended by the server, a stopped server and another session's
// lock. Whatever happens, nothing of a failed run is committed and the run ends:
// never a hang, never a success that the data source did not confirm.
#include <signal.h>

#include <string>

#include "framework/odbc/CDatabase.h"
#include "tests/integration/UpdateRunFixture.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kPgServer = LORBANIX_SOURCE_DIR "/scripts/pg-server";
// The longest a run may take when it waits on a lock: the statement bound and
// the time of a run beside it.
constexpr double kSecondsAllowed = CDatabase::kDefaultQueryTimeout + 60.0;

// Runs one statement on a dedicated server, through psql (the tests' own driver
// manager is bound to the shared data source).
std::string Psql(const fs::path& serverDir, const std::string& sql) {
    const std::string port = ReadFile(serverDir / "port");
    const SubprocessResult result = RunSubprocess(
        {"/usr/bin/psql", "-h", (serverDir / "sock").string(), "-p",
         port.substr(0, port.find('\n')), "-U", "velko", "-d", "lorbanix", "-tA", "-c", sql});
    return result.exitCode == 0 ? result.output : "psql failed: " + result.output;
}

class FaultTest : public ToolRunTest {
  protected:
    void SetUp() override {
        ToolRunTest::SetUp();
        SeedOldRows();
        StandardSpool();
        Pack();
    }

    [[nodiscard]] bool OnPostgres() const { return GetParam() == DataSourceKind::Postgres; }
};

std::string DriverTextOfALock(DataSourceKind kind) {
    return kind == DataSourceKind::Postgres ? "statement timeout" : "database is locked";
}
}  // namespace

TEST_P(FaultTest, AKilledRunChangesNothingAndTheNextRunCommits) {
    for (const char* marker : {"9/16", "12/16", "15/16"}) {
        SubprocessOptions options;
        options.signalOnOutput = marker;
        options.signal = SIGKILL;
        const Outcome killed = Run(options);
        EXPECT_EQ(killed.endSignal, SIGKILL) << marker << "\n" << killed.output;
        EXPECT_EQ(AllRows(), kSeededRows) << marker;
    }
    const Outcome next = Run();
    EXPECT_EQ(next.exitCode, 0) << next.output;
    EXPECT_EQ(AllRows(), kStandardRows);
}

TEST_P(FaultTest, ASessionEndedByTheServerBeforeTheCommitEndsWithCode1) {
    if (!OnPostgres()) {
        GTEST_SKIP() << "an embedded database has no session a server could end";
    }
    // Connected beforehand: the pause before the commit is short.
    CDatabase other;
    other.OpenEx(kConnectString);
    std::size_t ended = 0;
    SubprocessOptions options;
    options.onOutput = [&](const std::string& output) {
        // In the pause before the commit the tool's session is idle in its transaction.
        if (ended == 0 && output.find("15/16") != std::string::npos) {
            StmtHandle stmt = ExecuteOn(other,
                                        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                        "WHERE usename = 'velko' AND pid <> pg_backend_pid() AND "
                                        "state = 'idle in transaction'");
            while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
                ++ended;
            }
        }
    };
    RunToEnd({1, 15, {"terminating connection due to administrator command"}, "rolled-back"},
             options);
    EXPECT_EQ(ended, 1U);
}

TEST_P(FaultTest, AServerStoppedDuringTheImportsEndsTheRunWithCode1) {
    if (!OnPostgres()) {
        GTEST_SKIP() << "an embedded database has no server to stop";
    }
    // A server of this test's own: stopping the shared one would fail other tests.
    const TempDir server;
    for (const char* marker : {"10/16", "15/16"}) {
        ASSERT_EQ(RunSubprocess({kPgServer, "start", server.str()}).exitCode, 0);
        SubprocessOptions options;
        options.env = EnvOf(server.path());
        options.secondsAllowed = kSecondsAllowed;
        // Asked directly for a fast shut-down (its sessions are ended, its
        // transactions rolled back): the pause before the commit is short.
        const std::string pidFile = ReadFile(server.path() / "data" / "postmaster.pid");
        const pid_t postmaster = std::stoi(pidFile.substr(0, pidFile.find('\n')));
        bool stopped = false;
        options.onOutput = [&](const std::string& output) {
            if (!stopped && output.find(marker) != std::string::npos) {
                stopped = ::kill(postmaster, SIGINT) == 0;
            }
        };
        const Outcome outcome = Run(options);
        RunSubprocess({kPgServer, "stop", server.str()});  // waits until it is down
        EXPECT_TRUE(stopped) << marker;
        EXPECT_FALSE(outcome.timedOut) << marker;
        EXPECT_EQ(outcome.exitCode, 1) << marker << "\n" << outcome.output;
        EXPECT_EQ(outcome.messages.size(), 1U) << outcome.output;
        ASSERT_EQ(RunSubprocess({kPgServer, "start", server.str()}).exitCode, 0);
        EXPECT_EQ(
            Psql(server.path(),
                 "SELECT (SELECT count(*) FROM tbadmin.tb_idcard) + "
                 "(SELECT count(*) FROM tbadmin.tb_idcomp) + "
                 "(SELECT count(*) FROM tbadmin.tb_tun) + (SELECT count(*) FROM tbadmin.tb_vs)"),
            "0\n")
            << marker;
        RunSubprocess({kPgServer, "stop", server.str()});
    }
}

TEST_P(FaultTest, ALockHeldByAnotherSessionEndsTheRunWithCode1AfterABoundedWait) {
    CDatabase other;
    LockTunTable(other, GetParam());
    SubprocessOptions options;
    options.secondsAllowed = kSecondsAllowed;
    const Outcome outcome = Run(options);
    other.Rollback();
    EXPECT_FALSE(outcome.timedOut) << outcome.output;
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find(DriverTextOfALock(GetParam())), std::string::npos)
        << outcome.output;
    EXPECT_EQ(AllRows(), kSeededRows);
}

INSTANTIATE_ON_BOTH(FaultTest);
