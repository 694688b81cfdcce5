#include "util/ProcessRunner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace {
// A program that records its arguments and its current directory.
std::string MakeRecorder(const TempDir& dir) {
    std::string path = (dir / "recorder").string();
    WriteFile(path, "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > " +
                        (dir / "record.txt").string() + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

void WriteScript(const std::filesystem::path& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}
}  // namespace

TEST(ProcessRunnerTest, RunsTheProgramAfterTheInterpreterWithItsWordsInTheGivenFolder) {
    TempDir dir;
    const std::string recorder = MakeRecorder(dir);
    std::filesystem::create_directory(dir / "work");
    const CString line = ("command.com /c " + recorder + "  first   second").c_str();
    EXPECT_EQ(RunAndWait(line, (dir / "work").c_str()), 1);
    // Returned only after the program had ended: its record is complete.
    EXPECT_EQ(ReadFile(dir / "record.txt"), (dir / "work").string() + "\n[first]\n[second]\n");
    // A program that fails still counts as run.
    EXPECT_EQ(RunAndWait("COMMAND.COM /C /bin/false", "/"), 1);
    EXPECT_EQ(RunAndWait("COMMAND.COM /C /bin/sh /no/such/script", "/"), 1);
}

TEST(ProcessRunnerTest, AProgramThatCannotBeStartedGivesZeroAndWhy) {
    TempDir dir;
    ProcessOutcome outcome;
    EXPECT_EQ(RunAndWait("COMMAND.COM /C /no/such/program arg", dir.str().c_str(), outcome), 0);
    EXPECT_EQ(outcome.startError, ENOENT);
    WriteFile(dir / "plain", "not a program");
    EXPECT_EQ(RunAndWait(("COMMAND.COM /C " + (dir / "plain").string()).c_str(), dir.str().c_str(),
                         outcome),
              0);
    EXPECT_EQ(outcome.startError, EACCES);
    EXPECT_EQ(RunAndWait("COMMAND.COM /C ", dir.str().c_str()), 0);
    // (A blank in the program's folder splits the line: CommandInterpreterTest.)
    // The current folder must exist.
    EXPECT_EQ(RunAndWait(("COMMAND.COM /C " + MakeRecorder(dir)).c_str(), (dir / "gone").c_str()),
              0);
}

TEST(ProcessRunnerTest, TheOutcomeGivesTheExitCodeAndTheErrorOutput) {
    TempDir dir;
    WriteScript(dir / "fails", "echo 'cannot read spool.zip' >&2\necho 'to stdout'\nexit 7\n");
    ProcessOutcome outcome;
    EXPECT_EQ(RunAndWait(("COMMAND.COM /C " + (dir / "fails").string()).c_str(), dir.str().c_str(),
                         outcome),
              1);
    EXPECT_EQ(outcome.exitCode, 7);
    EXPECT_EQ(outcome.errorOutput, "cannot read spool.zip\n");

    // Far more than a pipe holds: read while waiting, kept only up to the limit.
    WriteScript(dir / "chatty", "yes x | head -c 1000000 >&2\nexit 0\n");
    EXPECT_EQ(RunAndWait(("COMMAND.COM /C " + (dir / "chatty").string()).c_str(), dir.str().c_str(),
                         outcome),
              1);
    EXPECT_EQ(outcome.exitCode, 0);
    std::string expected;
    while (expected.size() < kErrorOutputLimit) {
        expected += "x\n";
    }
    EXPECT_TRUE(outcome.errorOutput == CString(expected.substr(0, kErrorOutputLimit)));
    // What it leaves running: ProcessLifetimeTest.
}
