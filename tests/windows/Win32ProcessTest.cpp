// Starting and waiting for programs on Windows: exit codes, captured error
// output, the DOS interpreter's line run by the system's interpreter, and the
// fixed end of a crash.
#include <gtest/gtest.h>

#include <string>

#include "framework/Kernel.h"
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

TEST(Win32ProcessTest, TheDosInterpretersLineRunsWhereItHasNoDosInterpreter) {
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

TEST(Win32ProcessTest, ACrashEndsWithCode3AndAMessage) {
    const TempDir dir;
    ProcessOutcome outcome;
    ASSERT_EQ(RunAndWait(Quoted(ChildPath()) + " crash", CString(dir.str()), outcome), 1);
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_NE(outcome.errorOutput.str().find("unexpected fault"), std::string::npos)
        << outcome.errorOutput;
}
