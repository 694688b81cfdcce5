#include "util/ProcessRunner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace {
// A program that records its arguments and its current directory.
std::string MakeRecorder(const TempDir& dir) {
    const std::string path = (dir / "recorder").string();
    WriteFile(path, "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > " +
                        (dir / "record.txt").string() + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
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
}

TEST(ProcessRunnerTest, AFailingProgramStillCountsAsRun) {
    EXPECT_EQ(RunAndWait("COMMAND.COM /C /bin/false", "/"), 1);
    EXPECT_EQ(RunAndWait("COMMAND.COM /C /bin/sh /no/such/script", "/"), 1);
}

TEST(ProcessRunnerTest, AProgramThatCannotBeStartedGivesZero) {
    TempDir dir;
    EXPECT_EQ(RunAndWait("COMMAND.COM /C /no/such/program arg", dir.str().c_str()), 0);
    EXPECT_EQ(RunAndWait("COMMAND.COM /C ", dir.str().c_str()), 0);
    // A folder with a blank splits the line: the program is the part before the blank.
    std::filesystem::create_directory(dir / "with blank");
    const std::string recorder = MakeRecorder(dir);
    std::filesystem::copy_file(recorder, dir / "with blank" / "recorder");
    const CString line = ("COMMAND.COM /C " + (dir / "with blank" / "recorder").string()).c_str();
    EXPECT_EQ(RunAndWait(line, dir.str().c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "record.txt"));
    // The current folder must exist.
    EXPECT_EQ(RunAndWait(("COMMAND.COM /C " + recorder).c_str(), (dir / "gone").c_str()), 0);
}
