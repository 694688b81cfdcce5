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

TEST(Win32ProcessTest, GivesTheExitCodeAndTheErrorOutput) {
    const TempDir dir;
    ProcessOutcome outcome;
    ASSERT_EQ(RunAndWait(Quoted(ChildPath()) + " 7 disk full", CString(dir.str()), outcome), 1);
    EXPECT_EQ(outcome.exitCode, 7);
    EXPECT_EQ(outcome.errorOutput, "disk full");
    ASSERT_EQ(RunAndWait(Quoted(ChildPath()) + " 0", CString(dir.str()), outcome), 1);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.errorOutput.IsEmpty());
}

TEST(Win32ProcessTest, KeepsOnlyTheLimitOfALongErrorOutput) {
    const TempDir dir;
    const std::string word(1000, 'e');
    CString line = Quoted(ChildPath()) + " 1";
    for (int i = 0; i < 20; ++i) {
        line += CString(" ") + word.c_str();
    }
    ProcessOutcome outcome;
    ASSERT_EQ(RunAndWait(line, CString(dir.str()), outcome), 1);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(static_cast<std::size_t>(outcome.errorOutput.GetLength()), kErrorOutputLimit);
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

TEST(Win32ProcessTest, TheDosInterpretersLineRunsWithoutAnyInterpreter) {
    // Both paths quoted and with blanks, as the unpacker's line has them.
    const TempDir dir;
    std::filesystem::create_directory(dir / "with blank");
    const std::filesystem::path child = dir / "with blank" / "my child.exe";
    std::filesystem::copy_file(ChildPath().str(), child);
    ProcessOutcome outcome;
    ASSERT_EQ(RunAndWait("COMMAND.COM /C " + Quoted(CString(child.string())) + " 5 " +
                             Quoted(CString((dir / "with blank" / "archive.zip").string())),
                         CString(dir.str()), outcome),
              1)
        << outcome.startError;
    EXPECT_EQ(outcome.exitCode, 5);
    EXPECT_EQ(outcome.errorOutput.str(), (dir / "with blank" / "archive.zip").string());
}

namespace {
// The child copied to path; the exit code and the error output of the DOS
// interpreter's line that runs it in currentDir with argument.
ProcessOutcome RunCopyOfChild(const std::filesystem::path& path, const CString& argument,
                              const CString& currentDir) {
    std::filesystem::copy_file(ChildPath().str(), path);
    ProcessOutcome outcome;
    EXPECT_EQ(
        RunAndWait("COMMAND.COM /C " + Quoted(CString(path.string())) + " 5 " + Quoted(argument),
                   currentDir, outcome),
        1)
        << outcome.startError;
    return outcome;
}
}  // namespace

TEST(Win32ProcessTest, PathsWithTheCharactersAnInterpreterReadsReachTheProgramAsTheyAre) {
    // Legal in folder names; an interpreter expands %PATH% and !PATH!, and
    // reads & and ^ as its own.
    const TempDir dir;
    const std::filesystem::path folder = dir / "100%PATH% a&b ^c !PATH! (d)";
    std::filesystem::create_directory(folder);
    const CString archive((folder / "spool.zip").string());
    const ProcessOutcome outcome =
        RunCopyOfChild(folder / "pkunzip.exe", archive, CString(folder.string()));
    EXPECT_EQ(outcome.exitCode, 5);
    EXPECT_EQ(outcome.errorOutput, archive);
}

TEST(Win32ProcessTest, LongPathNamesWorkAsProgramAndCurrentFolder) {
    // The form that names a folder on a network share or past 260 characters.
    const TempDir dir;
    const std::filesystem::path folder = dir / "Velko";
    std::filesystem::create_directory(folder);
    const CString longForm("\\\\?\\" + folder.string());
    const ProcessOutcome outcome =
        RunCopyOfChild(folder / "pkunzip.exe", PathJoin(longForm, "spool.zip"), longForm);
    EXPECT_EQ(outcome.exitCode, 5);
    EXPECT_EQ(outcome.errorOutput, PathJoin(longForm, "spool.zip"));
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

TEST(Win32ProcessTest, ACrashEndsWithCode3AndAMessage) {
    const TempDir dir;
    ProcessOutcome outcome;
    ASSERT_EQ(RunAndWait(Quoted(ChildPath()) + " crash", CString(dir.str()), outcome), 1);
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_NE(outcome.errorOutput.str().find("unexpected fault"), std::string::npos)
        << outcome.errorOutput;
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

TEST(Win32ProcessTest, WhatAProgramLeavesRunningIsEndedWithIt) {
    const TempDir dir;
    const std::filesystem::path pidFile = dir / "grandchild.pid";
    ProcessOutcome outcome;
    ASSERT_EQ(
        RunAndWait(Quoted(ChildPath()) + " spawn " + Quoted(CString(pidFile.string())) + " exit",
                   CString(dir.str()), outcome),
        1);
    EXPECT_EQ(outcome.exitCode, 0);
    const DWORD grandchild = AwaitPid(pidFile);
    ASSERT_NE(grandchild, 0U);
    EXPECT_TRUE(EndsWithin(grandchild, 2000));
}

TEST(Win32ProcessTest, AProgramPastItsTimeLimitIsEndedWithWhatItStarted) {
    const TempDir dir;
    const std::filesystem::path pidFile = dir / "grandchild.pid";
    ProcessOutcome outcome;
    RunLimits limits;
    limits.timeLimit = std::chrono::milliseconds(1500);
    ASSERT_EQ(
        RunAndWait(Quoted(ChildPath()) + " spawn " + Quoted(CString(pidFile.string())) + " hang",
                   CString(dir.str()), outcome, limits),
        1);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, -1);
    const DWORD grandchild = AwaitPid(pidFile);
    ASSERT_NE(grandchild, 0U);
    EXPECT_TRUE(EndsWithin(grandchild, 2000));
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
