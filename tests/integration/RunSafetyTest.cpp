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
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/TestData.h"

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
    void SetUp() override {
        ToolRunTest::SetUp();
        SeedOldRows();
        StandardSpool();
    }

    // The run's options with the install location at location.
    SubprocessOptions InstalledAt(const fs::path& location) {
        SubprocessOptions options;
        options.env = Configured("moved", {{"Location", location.string()}});
        workDir = location / "Velko";
        return options;
    }
};
}  // namespace

// Every stop below ends as ToolRunTest::RunToEnd holds every run to: code 3,
// the bar where it stopped, one message that says what, nothing committed, the
// work directory gone.
TEST_P(RunSafetyTest, AWorkDirectoryThatIsALinkIsRefusedAndItsTargetNeverCleared) {
    Pack();
    const fs::path target = dir / "elsewhere";
    WriteFile(target / "precious.txt", "keep me");
    WriteFile(target / "sub" / "more.txt", "and me");
    fs::create_directory_symlink(target, workDir);
    RunToEnd({3, 1, {workDir.string()}, "stopped", "precious.txt"});
    EXPECT_EQ(ReadFile(target / "precious.txt"), "keep me");
    EXPECT_EQ(ReadFile(target / "sub" / "more.txt"), "and me");
    EXPECT_FALSE(fs::exists(target / "spool.zip"));
}

TEST_P(RunSafetyTest, APackageOrUnpackerThatCannotBeUsedStopsTheRun) {
    const fs::path unpacker = dir / "medium" / "RarEradaz.dat";
    const fs::path package = dir / "medium" / "update.prs";
    struct Case {
        const char* what;
        std::function<void()> spoil;  // the freshly packed medium
        int lastPosition;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        // Unscrambling fails: nothing to unscramble, or no file.
        {"empty package", [&] { WriteFile(package, ""); }, 4, {package.string()}},
        {"package no file",
         [&] {
             fs::remove(package);
             fs::create_directory(package);
         },
         4,
         {"No File!"}},
        {"missing", [&] { fs::remove(unpacker); }, 3, {"unpacker is missing", unpacker.string()}},
        {"not executable",
         [&] { fs::permissions(unpacker, fs::perms::owner_read | fs::perms::owner_write); },
         5,
         {"could not be started", "Permission denied", "pkunzip.exe"}},
        // 1: the unpacker's own code for an archive it refuses.
        {"failing",
         [&] { WriteScript(unpacker, "echo 'no room for the spool' >&2\nexit 1\n"); },
         5,
         {"exit code 1", "spool.zip", "no room for the spool"}},
        // How a program past its bound is ended with everything it started:
        // ProcessLifetimeTest.
        {"not ending",
         [&] { WriteScript(unpacker, "exec sleep 30\n"); },
         5,
         {"did not end within 2 seconds", "spool.zip"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "medium");
        Pack();
        c.spoil();
        SubprocessOptions options;
        options.env = source->env;
        options.env["LORBANIX_UNPACK_LIMIT_SECONDS"] = "2";
        RunToEnd({3, c.lastPosition, c.said, "stopped"}, options);
    }
}

TEST_P(RunSafetyTest, ADiskThatFillsUpWhileUnpackingStopsTheRun) {
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
    // What the unpacker wrote follows the message's first line.
    RunToEnd({3, 5, {"exit code", ":\n"}, "stopped"}, InstalledAt(location));
}

TEST_P(RunSafetyTest, AMissingInstallLocationIsNamedAsSuchAndNothingIsMade) {
    Pack();
    const fs::path location = dir / "not installed";
    const Outcome outcome =
        RunToEnd({3, 1, {"The install location does not exist: " + location.string() + "\n"}, ""},
                 InstalledAt(location))
            .outcome;
    EXPECT_EQ(outcome.output.find("Velko.lock"), std::string::npos) << outcome.output;
    EXPECT_FALSE(fs::exists(location));
}

TEST_P(RunSafetyTest, ASecondRunOnTheSameInstallLocationIsRefusedAndTheFirstCommits) {
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
    // The first run's files are all still there.
    RunToEnd({3, 1, {"Another update is running", lockFile}, "refused", "spool.zip"}, {},
             dir / "medium-2");
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
    // The second run's medium: the usual update without a vs list.
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

// An install location with a blank runs the unpacker and nothing else; the work
// directory, made by the run or found open to everyone from before, and what
// the run writes into it are the owner's alone whatever the umask.
TEST_P(RunSafetyTest, UnderABlankAndAnOpenUmaskTheRunsFilesAreTheUnpackersAndTheOwnersAlone) {
    // The unpacker notes the permissions it finds, then unpacks.
    const fs::path modes = dir / "modes.txt";
    WriteScript(dir / "noting-unpacker", "stat -c '%n %a' . spool.zip pkunzip.exe > '" +
                                             modes.string() + "'\nexec '" + kUnzip + "' \"$@\"\n");
    Pack("update", {"--unpacker", (dir / "noting-unpacker").string()});
    WriteScript(dir / "inst", "touch '" + (dir / "decoy-ran").string() + "'\n");
    const fs::path location = dir / "inst dir";
    fs::create_directory(location);
    const SubprocessOptions options = InstalledAt(location);
    struct Umask {
        mode_t old = ::umask(0);
        ~Umask() { ::umask(old); }
        Umask() = default;
        Umask(const Umask&) = delete;
        Umask& operator=(const Umask&) = delete;
    };
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "an existing open work directory" : "a new work directory");
        fs::remove(modes);
        if (existing) {
            fs::create_directory(workDir);
            fs::permissions(workDir, fs::perms::all);
        }
        const Umask open;
        RunToEnd({}, options);
        EXPECT_EQ(ReadFile(modes), ". 700\nspool.zip 600\npkunzip.exe 700\n");
    }
    EXPECT_FALSE(fs::exists(dir / "decoy-ran"));
}

// A data file named by a spool file must lie inside the work directory (every
// reason: ContainedFileTest).
TEST_P(RunSafetyTest, ATunOrVsDataFileOutsideTheWorkDirectoryStopsTheRun) {
    WriteFile(dir / "secret.txt", "not for the database");
    WriteFile(fs::path(source->InstallDir()) / "secret.txt", "not for the database either");
    struct Case {
        std::string spoolFile;
        std::string line;
        std::string name;
        std::string reason;
        int lastPosition;
    };
    for (const Case& c :
         {Case{"tun.spl", "CH1\t", "../secret.txt", "leaves", 12},
          Case{"vs.spl", "C1\t1\t", (dir / "secret.txt").string(), "absolute", 14}}) {
        SCOPED_TRACE(c.spoolFile);
        StandardSpool();
        Spool(c.spoolFile, c.line + c.name + "\r\n");
        Pack();
        RunToEnd(
            {3, c.lastPosition, {c.spoolFile + ": ", "'" + c.name + "'", c.reason}, "rolled-back"});
    }
    fs::remove(fs::path(source->InstallDir()) / "secret.txt");
}

INSTANTIATE_ON_BOTH(RunSafetyTest);
