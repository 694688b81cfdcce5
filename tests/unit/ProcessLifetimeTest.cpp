// A started program and what it starts never outlive their owner: they die
// with it when it is killed (a killed run: RunSafetyTest), are ended when it
// lets go of them or when they run past their time, and hold the owner's run
// lock (and nothing else of its open files) for as long as any of them lives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "framework/CFileException.h"
#include "framework/CLockFile.h"
#include "framework/CProcess.h"
#include "tests/support/LockProbe.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"
#include "util/ProcessRunner.h"

namespace fs = std::filesystem;

namespace {
void WriteScript(const fs::path& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all);
}

bool EndsWithin(pid_t pid, std::chrono::milliseconds bound) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (IsAlive(pid)) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The process numbers a script wrote to a file, one a line, once it has
// written count of them.
std::vector<pid_t> AwaitPids(const fs::path& file, std::size_t count) {
    for (int i = 0; i < 1000; ++i) {
        std::ifstream in(file);
        std::vector<pid_t> pids;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty()) {
                pids.push_back(std::stoi(line));
            }
        }
        if (pids.size() >= count) {
            return pids;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << file << " does not hold " << count << " process numbers";
    return {};
}

// A program that starts a second one, notes both numbers in pids, and then
// waits: the second one with its error output elsewhere, so that only the
// group ties it to the first.
void WriteWaitingScript(const fs::path& path, const fs::path& pids, int seconds) {
    WriteScript(path, "sleep " + std::to_string(seconds + 30) + " >/dev/null 2>&1 &\necho $! >> '" +
                          pids.string() + "'\necho $$ >> '" + pids.string() + "'\nexec sleep " +
                          std::to_string(seconds) + "\n");
}

CString Line(const fs::path& program) {
    return ("COMMAND.COM /C " + program.string()).c_str();
}

// The descriptors the process has open.
std::set<int> OpenDescriptors(pid_t pid) {
    std::set<int> fds;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        fds.insert(std::stoi(entry.path().filename().string()));
    }
    return fds;
}
}  // namespace

TEST(ProcessLifetimeTest, LettingGoOfARunningProgramEndsItAndWhatItStarted) {
    TempDir dir;
    WriteWaitingScript(dir / "waits", dir / "pids", 5);
    std::vector<pid_t> pids;
    const auto start = std::chrono::steady_clock::now();
    {
        std::optional<CProcess> process = CProcess::Start(Line(dir / "waits"), dir.str().c_str());
        ASSERT_TRUE(process);
        pids = AwaitPids(dir / "pids", 2);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    for (const pid_t pid : pids) {
        EXPECT_TRUE(EndsWithin(pid, std::chrono::milliseconds(500))) << pid;
    }
}

// Even with the error output still open: waited for, it would touch late.
TEST(ProcessLifetimeTest, WhatAProgramLeavesRunningIsNotWaitedForAndEndedWithIt) {
    TempDir dir;
    WriteScript(dir / "leaves", "(sleep 3; touch '" + (dir / "late").string() +
                                    "') >&2 &\necho $! > '" + (dir / "pids").string() +
                                    "'\necho early >&2\nexit 4\n");
    ProcessOutcome outcome;
    ASSERT_EQ(RunAndWait(Line(dir / "leaves"), dir.str().c_str(), outcome), 1);
    EXPECT_EQ(outcome.exitCode, 4);
    EXPECT_EQ(outcome.errorOutput, "early\n");
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_FALSE(fs::exists(dir / "late"));
    const std::vector<pid_t> pids = AwaitPids(dir / "pids", 1);
    ASSERT_EQ(pids.size(), 1U);
    EXPECT_TRUE(EndsWithin(pids[0], std::chrono::milliseconds(500)));
}

TEST(ProcessLifetimeTest, AProgramStillRunningAtItsTimeLimitIsEndedWithWhatItStarted) {
    TempDir dir;
    struct Case {
        const char* what;
        const char* redirection;
    };
    // With its error output open, and closed (then only the process is watched).
    for (const Case& config : {Case{"error output open", ""}, Case{"closed", " 2>&-"}}) {
        SCOPED_TRACE(config.what);
        fs::remove(dir / "pids");
        WriteScript(dir / "hangs", "echo started >&2\nsleep 60 >/dev/null 2>&1 &\necho $! >> '" +
                                       (dir / "pids").string() + "'\necho $$ >> '" +
                                       (dir / "pids").string() + "'\nexec sleep 30" +
                                       config.redirection + "\n");
        ProcessOutcome outcome;
        const auto start = std::chrono::steady_clock::now();
        RunLimits limits;
        limits.timeLimit = std::chrono::milliseconds(700);
        ASSERT_EQ(RunAndWait(Line(dir / "hangs"), dir.str().c_str(), outcome, limits), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_TRUE(outcome.timedOut);
        EXPECT_EQ(outcome.exitCode, -1);
        EXPECT_EQ(outcome.errorOutput, "started\n");
        for (const pid_t pid : AwaitPids(dir / "pids", 2)) {
            EXPECT_TRUE(EndsWithin(pid, std::chrono::milliseconds(500))) << pid;
        }
    }
}

TEST(ProcessLifetimeTest, TheSharedLockIsHeldByTheProgramAndNothingElseReachesIt) {
    TempDir dir;
    const fs::path lockPath = dir / "Velko.lock";
    // A descriptor the owner opened without close-on-exec stays the owner's.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    WriteScript(dir / "waits", "echo $$ > '" + (dir / "pids").string() + "'\nexec sleep 30\n");
    std::optional<CProcess> process;
    int lockFd = -1;
    {
        const CLockFile lock(lockPath.c_str());
        std::set<int> before = OpenDescriptors(::getpid());
        CProcess::StartOptions options;
        options.sharedLock = &lock;
        process = CProcess::Start(Line(dir / "waits"), dir.str().c_str(), options);
        ASSERT_TRUE(process);
        const std::vector<pid_t> pids = AwaitPids(dir / "pids", 1);
        ASSERT_EQ(pids.size(), 1U);
        // Once it runs the waiting program, its descriptors are what it was given.
        for (int i = 0; i < 500; ++i) {
            std::ifstream comm("/proc/" + std::to_string(pids[0]) + "/comm");
            std::string name;
            comm >> name;
            if (name == "sleep") {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::set<int> inChild = OpenDescriptors(pids[0]);
        EXPECT_EQ(inChild.count(stray), 0U);
        std::set<int> beyondStandard;
        for (const int fd : inChild) {
            if (fd > 2) {
                beyondStandard.insert(fd);
            }
        }
        ASSERT_EQ(beyondStandard.size(), 1U);
        lockFd = *beyondStandard.begin();
        EXPECT_EQ(before.count(lockFd), 1U);
    }
    ::close(stray);
    // The owner has let go of the lock; the program still holds it.
    EXPECT_EQ(CauseOfTaking(lockPath.c_str()), CFileException::sharingViolation);
    process.reset();
    EXPECT_EQ(CauseOfTaking(lockPath.c_str()), CFileException::none);
}
