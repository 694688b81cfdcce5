// Starting and waiting for programs on Windows: exit codes, captured error
// output, the DOS interpreter's line started without any interpreter (paths
// with the characters an interpreter would read, long-path names), the handles
// a program gets, the fixed end of a crash, and the job that ends a program
// with everything it started when its owner ends, lets go of it or stops
// waiting for it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "framework/CFileException.h"
#include "framework/CLockFile.h"
#include "framework/CProcess.h"
#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"
#include "tests/support/LockProbe.h"
#include "tests/support/TempDir.h"
#include "util/ProcessRunner.h"

namespace {
CString ChildPath() {
    const CString module = ModuleFilePath();
    return module.Left(module.ReverseFind('\\') + 1) + LORBANIX_CHILD_NAME;
}

CString Quoted(const CString& text) {
    return "\"" + text + "\"";
}
}  // namespace

TEST(Win32ProcessTest, GivesTheExitCodeAndTheErrorOutputUpToItsLimitAndOfACrash) {
    std::string words;
    for (int i = 0; i < 20; ++i) {
        words += (i > 0 ? " " : "") + std::string(1000, 'e');
    }
    const struct {
        std::string arguments;
        int exitCode;
        std::string errorOutput;  // for a crash: a part of it
    } cases[] = {
        {"7 disk full", 7, "disk full"},
        {"0", 0, ""},
        {"1 " + words, 1, words.substr(0, kErrorOutputLimit)},
        {"crash", 3, "unexpected fault"},
    };
    const TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.substr(0, 20));
        ProcessOutcome outcome;
        ASSERT_EQ(RunAndWait(Quoted(ChildPath()) + " " + c.arguments.c_str(), CString(dir.str()),
                             outcome),
                  1);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        if (c.arguments == "crash") {
            EXPECT_NE(outcome.errorOutput.str().find(c.errorOutput), std::string::npos)
                << outcome.errorOutput;
        } else {
            EXPECT_EQ(outcome.errorOutput.str(), c.errorOutput);
        }
    }
}

TEST(Win32ProcessTest, AProgramThatCannotStartGivesTheSystemsReason) {
    const TempDir dir;
    ProcessOutcome outcome;
    EXPECT_EQ(RunAndWait(Quoted(PathJoin(CString(dir.str()), "missing.exe")), CString(dir.str()),
                         outcome),
              0);
    EXPECT_EQ(outcome.startError, 2);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(RunAndWait("\"" + ChildPath() + "\" 0", PathJoin(CString(dir.str()), "no-such-dir"),
                         outcome),
              0);
}

TEST(Win32ProcessTest, TheDosInterpretersLineRunsWithoutAnyInterpreterWhateverThePaths) {
    // Both paths quoted, as the unpacker's line has them, in folders with
    // blanks; with the characters legal in folder names that an interpreter
    // expands (%PATH%, !PATH!) or reads as its own (& and ^); in the long-path
    // form that names a folder on a network share or past 260 characters.
    const struct {
        const char* folder;
        bool longForm;
    } cases[] = {{"with blank", false}, {"100%PATH% a&b ^c !PATH! (d)", false}, {"Velko", true}};
    const TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        std::filesystem::create_directory(dir / c.folder);
        std::filesystem::copy_file(ChildPath().str(), dir / c.folder / "my child.exe");
        const CString folder((c.longForm ? "\\\\?\\" : "") + (dir / c.folder).string());
        const CString archive = PathJoin(folder, "spool.zip");
        ProcessOutcome outcome;
        ASSERT_EQ(RunAndWait("COMMAND.COM /C " + Quoted(PathJoin(folder, "my child.exe")) + " 5 " +
                                 Quoted(archive),
                             folder, outcome),
                  1)
            << outcome.startError;
        EXPECT_EQ(outcome.exitCode, 5);
        EXPECT_EQ(outcome.errorOutput, archive);
    }
}

TEST(Win32ProcessTest, TheProgramGetsNoHandleButItsErrorOutput) {
    // Three inheritable handles of the tool: its standard input and output, and
    // one it has open (as a driver's socket would be).
    const TempDir dir;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    std::vector<HANDLE> events;
    CString line = Quoted(ChildPath()) + " signal";
    for (int i = 0; i < 3; ++i) {
        events.push_back(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
        ASSERT_NE(events.back(), nullptr);
        line += " " + CString(std::to_string(reinterpret_cast<std::uintptr_t>(events.back())));
    }
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_INPUT_HANDLE, events[0]);
    ::SetStdHandle(STD_OUTPUT_HANDLE, events[1]);
    ProcessOutcome outcome;
    const int started = RunAndWait(line, CString(dir.str()), outcome);
    ::SetStdHandle(STD_INPUT_HANDLE, input);
    ::SetStdHandle(STD_OUTPUT_HANDLE, output);
    EXPECT_EQ(started, 1);
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(::WaitForSingleObject(events[i], 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the program reached inheritable handle " << i << " of the tool";
        ::CloseHandle(events[i]);
    }
}

namespace {
// The process number a child wrote to file, once it is there (0 when never).
DWORD AwaitPid(const std::filesystem::path& file) {
    for (int i = 0; i < 1000; ++i) {
        if (std::filesystem::exists(file)) {
            return static_cast<DWORD>(std::stoul(ReadFile(file)));
        }
        ::Sleep(10);
    }
    return 0;
}

// Whether the process has ended within ms (or is gone already). One that has
// not is ended here, so that no test leaves it behind.
bool EndsWithin(DWORD pid, DWORD ms) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (process == nullptr) {
        return true;
    }
    const bool ended = ::WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
    if (!ended) {
        ::TerminateProcess(process, 1);
    }
    ::CloseHandle(process);
    return ended;
}

}  // namespace

TEST(Win32ProcessTest, WhatAProgramLeavesRunningIsEndedWithItAndPastItsTimeLimit) {
    const struct {
        const char* then;
        std::chrono::milliseconds timeLimit;
        int exitCode;
    } cases[] = {{"exit", RunLimits().timeLimit, 0}, {"hang", std::chrono::milliseconds(1500), -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.then);
        const TempDir dir;
        const std::filesystem::path pidFile = dir / "grandchild.pid";
        ProcessOutcome outcome;
        RunLimits limits;
        limits.timeLimit = c.timeLimit;
        ASSERT_EQ(RunAndWait(Quoted(ChildPath()) + " spawn " + Quoted(CString(pidFile.string())) +
                                 " " + c.then,
                             CString(dir.str()), outcome, limits),
                  1);
        EXPECT_EQ(outcome.timedOut, c.exitCode == -1);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        const DWORD grandchild = AwaitPid(pidFile);
        ASSERT_NE(grandchild, 0U);
        EXPECT_TRUE(EndsWithin(grandchild, 2000));
    }
}

TEST(Win32ProcessTest, AProgramDiesWithItsOwner) {
    const TempDir dir;
    const std::filesystem::path pidFile = dir / "grandchild.pid";
    std::string line = (Quoted(ChildPath()) + " own " + Quoted(CString(pidFile.string()))).str();
    std::vector<char> mutableLine(line.begin(), line.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION owner{};
    ASSERT_NE(::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup, &owner),
              FALSE);
    const DWORD grandchild = AwaitPid(pidFile);
    ::TerminateProcess(owner.hProcess, 1);
    ::WaitForSingleObject(owner.hProcess, 5000);
    ::CloseHandle(owner.hThread);
    ::CloseHandle(owner.hProcess);
    ASSERT_NE(grandchild, 0U);
    EXPECT_TRUE(EndsWithin(grandchild, 5000));
}

TEST(Win32ProcessTest, TheSharedLockIsHeldByTheProgramWhileItLives) {
    const TempDir dir;
    const CString lockPath = PathJoin(CString(dir.str()), "Velko.lock");
    std::optional<CProcess> process;
    {
        const CLockFile lock(lockPath);
        CProcess::StartOptions options;
        options.sharedLock = &lock;
        process = CProcess::Start(Quoted(ChildPath()) + " hang", CString(dir.str()), options);
        ASSERT_TRUE(process);
    }
    EXPECT_EQ(CauseOfTaking(lockPath), CFileException::sharingViolation);
    process.reset();
    EXPECT_EQ(CauseOfTaking(lockPath), CFileException::none);
}
