// What a run does when its work directory, its unpacker, its package or the data
// files its spool files name are not what they should be, and when two runs
// share one install location: every such run stops with code 3 and one message,
// commits nothing and leaves nothing outside its work directory changed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TestData.h"
#include "util/PackageCodec.h"

namespace fs = std::filesystem;

namespace {
// A file system of its own, taken away again whatever the test does.
class Mount {
  public:
    Mount(const fs::path& at, const std::string& options) : m_at(at) {
        fs::create_directories(at);
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            m_error = std::strerror(errno);
        }
    }
    ~Mount() {
        if (m_error.empty()) {
            ::umount2(m_at.c_str(), MNT_DETACH);
        }
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    [[nodiscard]] const std::string& error() const { return m_error; }

  private:
    fs::path m_at;
    std::string m_error;
};

class RunSafetyTest : public ToolRunTest {
  protected:
    // A stopped run: code 3, the bar where it stopped, one message that says
    // what (each of said), nothing committed, the work directory gone.
    void ExpectStopped(const Outcome& outcome, int lastPosition,
                       const std::vector<std::string>& said) {
        EXPECT_EQ(outcome.exitCode, 3) << outcome.output;
        EXPECT_FALSE(outcome.timedOut) << outcome.output;
        EXPECT_EQ(outcome.positions, StepsTo(lastPosition)) << outcome.output;
        ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
        const std::string message = outcome.output.substr(outcome.output.find(kMessage));
        for (const std::string& text : said) {
            EXPECT_NE(message.find(text), std::string::npos) << text << " in\n" << outcome.output;
        }
        EXPECT_FALSE(fs::exists(workDir));
        EXPECT_EQ(AllRows(), kSeededRows);
    }

    // What the unpacker says when it is run on the archive at zip: the end of
    // its first line (the start may name the archive, which lies elsewhere then).
    static std::string UnpackerSays(const fs::path& zip) {
        TempDir scratch;
        SubprocessOptions options;
        options.workingDir = scratch.str();
        const SubprocessResult result = RunSubprocess({kUnzip, zip.string()}, options);
        EXPECT_NE(result.exitCode, 0) << result.output;
        const std::string line = result.output.substr(0, result.output.find('\n'));
        const std::size_t cut = line.rfind(": ");
        return cut == std::string::npos ? line : line.substr(cut + 2);
    }

    // The data source's configuration with the install location at location.
    std::map<std::string, std::string> EnvWithLocation(const fs::path& location,
                                                       const TempDir& config) const {
        fs::copy_file(fs::path(source->dir) / "odbc.ini", config / "odbc.ini");
        std::istringstream in(ReadFile(fs::path(source->dir) / "odbcinst.ini"));
        std::string ini;
        for (std::string line; std::getline(in, line);) {
            ini +=
                (line.rfind("Location=", 0) == 0 ? "Location=" + location.string() : line) + "\n";
        }
        WriteFile(config / "odbcinst.ini", ini);
        std::map<std::string, std::string> env = source->env;
        env["ODBCSYSINI"] = config.str();
        env["ODBCINI"] = (config / "odbc.ini").string();
        return env;
    }

    // Runs an update whose spool file (tun.spl or vs.spl) names a data file
    // outside the work directory: the run stops at lastPosition naming the spool
    // file, the name and the reason (every reason: ContainedFileTest).
    void ExpectRefusedDataFile(const std::string& spoolFile, const std::string& name,
                               const std::string& reason, int lastPosition) {
        SeedOldRows();
        WriteFile(dir / "secret.txt", "not for the database");
        WriteFile(fs::path(source->InstallDir()) / "secret.txt", "not for the database either");
        StandardSpool();
        Spool(spoolFile,
              spoolFile == "tun.spl" ? "CH1\t" + name + "\r\n" : "C1\t1\t" + name + "\r\n");
        Pack();
        ExpectStopped(Run(), lastPosition, {spoolFile + ": ", "'" + name + "'", reason});
        fs::remove(fs::path(source->InstallDir()) / "secret.txt");
    }
};
}  // namespace

TEST_P(RunSafetyTest, AWorkDirectoryThatIsALinkIsRefusedAndItsTargetNeverCleared) {
    SeedOldRows();
    StandardSpool();
    Pack();
    const fs::path target = dir / "elsewhere";
    WriteFile(target / "precious.txt", "keep me");
    WriteFile(target / "sub" / "more.txt", "and me");
    fs::create_directory_symlink(target, workDir);

    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 3) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(1));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find(workDir.string()), std::string::npos) << outcome.output;
    EXPECT_EQ(ReadFile(target / "precious.txt"), "keep me");
    EXPECT_EQ(ReadFile(target / "sub" / "more.txt"), "and me");
    EXPECT_FALSE(fs::exists(target / "spool.zip"));
    EXPECT_EQ(AllRows(), kSeededRows);
}

TEST_P(RunSafetyTest, AnUnpackerThatIsMissingCannotStartOrFailsStopsTheRun) {
    SeedOldRows();
    StandardSpool();
    const fs::path unpacker = dir / "medium" / "RarEradaz.dat";
    struct Case {
        const char* what;
        int lastPosition;
        std::vector<std::string> said;
    };
    for (const Case& config :
         {Case{"missing", 3, {"unpacker is missing", unpacker.string()}},
          Case{"not executable", 5, {"could not be started", "Permission denied", "pkunzip.exe"}},
          Case{"failing", 5, {"exit code 7", "spool.zip", "no room for the spool"}}}) {
        SCOPED_TRACE(config.what);
        fs::remove_all(dir / "medium");
        Pack();
        if (config.what == std::string("missing")) {
            fs::remove(unpacker);
        } else if (config.what == std::string("not executable")) {
            fs::permissions(unpacker, fs::perms::owner_read | fs::perms::owner_write);
        } else {
            WriteScript(unpacker, "echo 'no room for the spool' >&2\nexit 7\n");
        }
        ExpectStopped(Run(), config.lastPosition, config.said);
    }
}

TEST_P(RunSafetyTest, APackageThatCannotBeUnscrambledOrUnpackedStopsTheRun) {
    SeedOldRows();
    StandardSpool();
    Pack();
    const fs::path package = dir / "medium" / "update.prs";
    const std::string good = ReadFile(package);
    std::string damaged = good;
    for (std::size_t i = damaged.size() - 200; i < damaged.size() - 1; ++i) {
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);  // the archive's directory
    }
    // Unscrambling fails: nothing to unscramble, or no file.
    WriteFile(package, "");
    ExpectStopped(Run(), 4, {package.string()});
    fs::remove(package);
    fs::create_directory(package);
    ExpectStopped(Run(), 4, {"No File!"});
    fs::remove(package);
    // The unpacker refuses: an empty archive, no archive at all, a damaged directory.
    for (const std::string& bytes : {std::string(1, '\x11'), Pattern(5000, 9) + '\x42', damaged}) {
        WriteFile(package, bytes);
        ASSERT_EQ(UnscrambleFile(package.c_str(), (dir / "spool.zip").c_str()), 1);
        ExpectStopped(Run(), 5, {"exit code", UnpackerSays(dir / "spool.zip")});
    }
}

TEST_P(RunSafetyTest, ADiskThatFillsUpWhileUnpackingStopsTheRun) {
    SeedOldRows();
    StandardSpool();
    // The last entry unpacks to far more than the medium's archive holds.
    Spool("tun.spl", "CH1\tzz/tun.bin\n");
    Spool("zz/tun.bin", std::string(16U << 20, '\0'));
    fs::remove(dir / "spool" / "data" / "tun.bin");
    Pack();
    const auto room = fs::file_size(dir / "medium" / "RarEradaz.dat") +
                      fs::file_size(dir / "medium" / "update.prs") + (1U << 20);
    const fs::path location = dir / "small";
    const Mount small(location, "size=" + std::to_string(room));
    if (!small.error().empty()) {
        GTEST_SKIP() << "no small file system for the install location: mounting a tmpfs at "
                     << location << " failed (" << small.error() << ")";
    }
    const TempDir config;
    SubprocessOptions options;
    options.env = EnvWithLocation(location, config);
    workDir = location / "Velko";
    // What the unpacker wrote follows the message's first line.
    ExpectStopped(Run(options), 5, {"exit code", ":\n"});
}

TEST_P(RunSafetyTest, AnInstallLocationWithABlankRunsTheUnpackerAndNothingElse) {
    StandardSpool();
    Pack();
    const fs::path location = dir / "inst dir";
    fs::create_directory(location);
    WriteScript(dir / "inst", "touch '" + (dir / "decoy-ran").string() + "'\n");
    const TempDir config;
    SubprocessOptions options;
    options.env = EnvWithLocation(location, config);
    workDir = location / "Velko";
    const Outcome outcome = Run(options);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(16));
    EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
    EXPECT_FALSE(fs::exists(dir / "decoy-ran"));
    EXPECT_FALSE(fs::exists(workDir));
    EXPECT_EQ(AllRows(), kStandardRows);
}

TEST_P(RunSafetyTest, AMissingInstallLocationIsNamedAsSuchAndNothingIsMade) {
    SeedOldRows();
    StandardSpool();
    Pack();
    const fs::path location = dir / "not installed";
    const TempDir config;
    SubprocessOptions options;
    options.env = EnvWithLocation(location, config);
    workDir = location / "Velko";
    const Outcome outcome = Run(options);
    ExpectStopped(outcome, 1, {"The install location does not exist: " + location.string() + "\n"});
    EXPECT_EQ(outcome.output.find("Velko.lock"), std::string::npos) << outcome.output;
    EXPECT_FALSE(fs::exists(location));
}

TEST_P(RunSafetyTest, ASecondRunOnTheSameInstallLocationIsRefusedAndTheFirstCommits) {
    SeedOldRows();
    StandardSpool("CH2");
    Pack("update", {}, dir / "medium-2");
    fs::remove_all(dir / "spool");
    StandardSpool();
    // The first run's unpacker waits at a gate, so that the second run surely
    // starts while the first one holds the work directory.
    const fs::path arrived = dir / "first-is-unpacking";
    const fs::path gate = dir / "gate-open";
    WriteScript(dir / "gated-unpacker",
                "touch '" + arrived.string() + "'\ni=0\nwhile [ ! -e '" + gate.string() +
                    "' ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\nexec '" + kUnzip +
                    "' \"$@\"\n");
    Pack("update", {"--unpacker", (dir / "gated-unpacker").string()});

    Outcome first;
    std::jthread firstRun([&] { first = Run(); });
    struct OpenGate {
        fs::path gate;
        ~OpenGate() { WriteFile(gate, ""); }  // whatever happens, the first run goes on
    } openGate{gate};
    for (int i = 0; i < 1200 && !fs::exists(arrived); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(fs::exists(arrived));
    const std::string lockFile = workDir.string() + ".lock";

    const Outcome second = Run({}, dir / "medium-2");
    EXPECT_EQ(second.exitCode, 3) << second.output;
    EXPECT_EQ(second.positions, StepsTo(1)) << second.output;
    ASSERT_EQ(second.messages.size(), 1U) << second.output;
    EXPECT_NE(second.messages[0].find("Another update is running"), std::string::npos);
    EXPECT_NE(second.messages[0].find(lockFile), std::string::npos);
    // The first run's files are all still there.
    EXPECT_TRUE(fs::exists(workDir / "spool.zip"));
    EXPECT_TRUE(fs::exists(workDir / "pkunzip.exe"));

    WriteFile(gate, "");
    firstRun.join();
    EXPECT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(first.positions, StepsTo(16)) << first.output;
    EXPECT_EQ(AllRows(), kStandardRows);
    EXPECT_FALSE(fs::exists(workDir));
    EXPECT_TRUE(fs::is_regular_file(lockFile));
}

TEST_P(RunSafetyTest, AKilledRunsUnpackerNeverWritesIntoTheNextRun) {
    SeedOldRows();
    // The second run's medium: the usual update without a vs list.
    StandardSpool();
    fs::remove(dir / "spool" / "vs.spl");
    Pack("update", {}, dir / "medium-2");
    const Rows secondRows = [] {
        Rows rows = kStandardRows;
        rows.erase(rows.end() - 3, rows.end() - 1);  // no vs rows
        return rows;
    }();
    // The first run's unpacker is still writing when its run is killed: it
    // waits for the next run's spool files and then writes its own vs list
    // and data file among them.
    WriteFile(dir / "first-files" / "vs.spl", "FIRST\t9\tdata/first.bin\n");
    WriteFile(dir / "first-files" / "data" / "first.bin", Pattern(777, 4));
    const fs::path toolPid = dir / "first-tool.pid";
    WriteScript(dir / "slow-unpacker",
                "echo $PPID > '" + toolPid.string() + ".part'\nmv '" + toolPid.string() +
                    ".part' '" + toolPid.string() +
                    "'\ni=0\nwhile [ ! -e idcard.spl ] && [ $i -lt 400 ]; do sleep 0.05; "
                    "i=$((i+1)); done\ncp -R '" +
                    (dir / "first-files").string() + "/.' .\nexec sleep 20\n");
    Pack("update", {"--unpacker", (dir / "slow-unpacker").string()});

    Outcome first;
    std::jthread firstRun([&] { first = Run(); });
    for (int i = 0; i < 1200 && !fs::exists(toolPid); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(toolPid));
    const pid_t pid = std::stoi(ReadFile(toolPid));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    for (int i = 0; i < 200 && IsAlive(pid); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // At once: either the first run's unpacker is gone and this run commits its
    // own rows alone, or it still lives and this run is refused.
    const Outcome second = Run({}, dir / "medium-2");
    if (second.exitCode == 3) {
        ASSERT_EQ(second.messages.size(), 1U) << second.output;
        EXPECT_NE(second.messages[0].find("Another update is running"), std::string::npos)
            << second.output;
        EXPECT_EQ(AllRows(), kSeededRows);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const Outcome third = Run({}, dir / "medium-2");
        EXPECT_EQ(third.exitCode, 0) << third.output;
    } else {
        EXPECT_EQ(second.exitCode, 0) << second.output;
    }
    EXPECT_EQ(AllRows(), secondRows);
    EXPECT_FALSE(fs::exists(workDir));
    firstRun.join();
    EXPECT_EQ(first.endSignal, SIGKILL) << first.output;
}

// The run bounds its unpacker (how a program past its bound is ended with
// everything it started: ProcessLifetimeTest).
TEST_P(RunSafetyTest, AnUnpackerThatDoesNotEndIsEndedAtTheBound) {
    SeedOldRows();
    StandardSpool();
    WriteScript(dir / "hanging-unpacker", "exec sleep 30\n");
    Pack("update", {"--unpacker", (dir / "hanging-unpacker").string()});
    SubprocessOptions options;
    options.env = source->env;
    options.env["LORBANIX_UNPACK_LIMIT_SECONDS"] = "2";
    options.secondsAllowed = 20;
    ExpectStopped(Run(options), 5, {"did not end within 2 seconds", "spool.zip"});
}

TEST_P(RunSafetyTest, UnderAnOpenUmaskTheWorkDirectoryAndWhatTheRunWritesAreTheOwnersAlone) {
    StandardSpool();
    // The unpacker notes the permissions it finds, then unpacks.
    const fs::path modes = dir / "modes.txt";
    WriteScript(dir / "noting-unpacker", "stat -c '%n %a' . spool.zip pkunzip.exe > '" +
                                             modes.string() + "'\nexec '" + kUnzip + "' \"$@\"\n");
    Pack("update", {"--unpacker", (dir / "noting-unpacker").string()});
    struct Umask {
        mode_t old = ::umask(0);
        ~Umask() { ::umask(old); }
        Umask() = default;
        Umask(const Umask&) = delete;
        Umask& operator=(const Umask&) = delete;
    };
    // Made by the run, and found open to everyone from before.
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "an existing open work directory" : "a new work directory");
        ClearTables(*source);
        fs::remove(modes);
        if (existing) {
            fs::create_directory(workDir);
            fs::permissions(workDir, fs::perms::all);
        }
        const Umask open;
        const Outcome outcome = Run();
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
        EXPECT_EQ(ReadFile(modes), ". 700\nspool.zip 600\npkunzip.exe 700\n");
        EXPECT_EQ(AllRows(), kStandardRows);
    }
}

TEST_P(RunSafetyTest, ATunDataFileOutsideTheWorkDirectoryStopsTheRun) {
    ExpectRefusedDataFile("tun.spl", "../secret.txt", "leaves", 12);
}

TEST_P(RunSafetyTest, AVsDataFileOutsideTheWorkDirectoryStopsTheRun) {
    ExpectRefusedDataFile("vs.spl", (dir / "secret.txt").string(), "absolute", 14);
}

// A name far longer than any path is read from where its components lead,
// never as a whole, and stores the whole file (resolving: ContainedFileTest).
TEST_P(RunSafetyTest, DataFileNamesOfThousandsOfSeparatorsAndDotsStoreTheWholeFile) {
    std::string upAndDown = "data/";
    while (upAndDown.size() < 10000) {
        upAndDown += "../data/";
    }
    SeedOldRows();
    StandardSpool();
    Spool("tun.spl", "CH1\t." + std::string(5000, '/') + "data/tun.bin\r\n");
    Spool("data/tun.bin", Pattern(262144, 7));
    Spool("vs.spl", "C1\t1\t" + upAndDown + "vs1.bin\nC2\t2\tdata/vs2.bin\n");
    Spool("data/vs1.bin", Pattern(4096, 8));
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(16)) << outcome.output;
    EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
    EXPECT_EQ(Sorted("SELECT [te_chasnum],length([te_file]) FROM [tbadmin].[tb_tun]"),
              (Rows{{"CH1", "262144"}}));
    EXPECT_EQ(Sorted("SELECT [te_comp],[te_vstype],length([te_file]) FROM [tbadmin].[tb_vs]"),
              (Rows{{"C1", "1", "4096"}, {"C2", "2", "2000"}}));
}

INSTANTIATE_TEST_SUITE_P(DataSources, RunSafetyTest, ::testing::ValuesIn(AllDataSources()),
                         [](const auto& info) { return DataSourceKindName(info.param); });
