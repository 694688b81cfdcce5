// The real tool, started from a real medium made by lorbanix-pack, against the
// real data sources: exit codes, progress, messages, the work directory and
// what every table holds afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/integration/UpdateRunFixture.h"

namespace fs = std::filesystem;

class UpdateRunTest : public ToolRunTest {};

TEST_P(UpdateRunTest, AFullRunCommitsEveryTableAndARepeatedRunLeavesTheSameRows) {
    SeedOldRows();
    WriteFile(workDir / "left-over" / ".from-an-earlier-run", "x");
    StandardSpool();
    Pack();
    const Outcome first = Run();
    EXPECT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(first.positions, StepsTo(16));
    EXPECT_TRUE(first.messages.empty()) << first.output;
    EXPECT_FALSE(fs::exists(workDir));
    EXPECT_EQ(AllRows(), kStandardRows);

    const Outcome second = Run();
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(AllRows(), kStandardRows);
}

TEST_P(UpdateRunTest, AMediumWithoutPackageTouchesNothing) {
    SeedOldRows();
    StandardSpool();
    Pack();
    fs::remove(dir / "medium" / "update.prs");
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(4));
    EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
    EXPECT_FALSE(fs::exists(workDir));
    EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_idcomp]"), (Rows{{"1"}}));
    EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_idcard]"), (Rows{{"0"}}));
}

TEST_P(UpdateRunTest, OnlyTheFirstOfTwoPackagesIsUnpacked) {
    StandardSpool("AAA");
    Pack("a");
    fs::remove_all(dir / "spool");
    StandardSpool("BBB");
    Pack("b");
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(Sorted("SELECT [te_chasnum] FROM [tbadmin].[tb_idcard]"), (Rows{{"AAA"}}));
}

TEST_P(UpdateRunTest, AnIdCardWithoutChassisEndsWithCode2BeforeAnythingIsWritten) {
    StandardSpool();
    Spool("idcard.spl", "\tTP\tENG\tMDES\t42\n");
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(7));
    EXPECT_TRUE(outcome.messages.empty()) << outcome.output;
    EXPECT_TRUE(fs::exists(workDir / "idcard.spl"));
    EXPECT_EQ(AllRows(), (Rows{{"--"}, {"--"}, {"--"}, {"--"}, {"--"}}));
}

TEST_P(UpdateRunTest, AMissingTunOrVsFileSkipsItsStageWithOneStep) {
    struct Case {
        std::vector<const char*> removed;
        int lastPosition;
    };
    for (const Case& config :
         {Case{{"tun.spl"}, 15}, Case{{"vs.spl"}, 15}, Case{{"tun.spl", "vs.spl"}, 14}}) {
        ClearTables(*source);
        fs::remove_all(dir / "spool");
        fs::remove_all(dir / "medium");
        StandardSpool();
        for (const char* name : config.removed) {
            fs::remove(dir / "spool" / name);
        }
        Pack();
        const Outcome outcome = Run();
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
        EXPECT_EQ(outcome.positions, StepsTo(config.lastPosition));
        EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_idcard]"), (Rows{{"1"}}));
    }
}

// Which vs lines the data source refuses is the imports' matter; here, that
// such a refusal ends the run with code 1 and nothing of it stays.
TEST_P(UpdateRunTest, ADatabaseErrorInTheVsStageRollsBackTheWholeRun) {
    SeedOldRows();
    StandardSpool();
    Spool("vs.spl", "C0\t1\tdata/vs1.bin\nC1\t1 OR 1=1\tdata/vs1.bin\n");
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(14));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find("'1 OR 1=1'"), std::string::npos) << outcome.output;
    EXPECT_TRUE(fs::exists(workDir / "vs.spl"));
    EXPECT_EQ(AllRows(), kSeededRows);
}

// A rule of the data source itself, not one of the tool's checks, refuses a row
// half-way through the imports: the driver's text is shown and nothing stays.
TEST_P(UpdateRunTest, ARowTheDatabaseRefusesHalfWayRollsBackTheWholeRun) {
    const RowTrigger refuse(*source, "tb_serialnumber", "te_serialno", "SN2");
    SeedOldRows();
    StandardSpool();
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(10));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find("SN2 refused"), std::string::npos) << outcome.output;
    EXPECT_EQ(AllRows(), kSeededRows);
}

TEST_P(UpdateRunTest, AnImportThatFailsCommitsNothingAndShutsDownWithCode3) {
    SeedOldRows();
    StandardSpool();
    Spool("tun.spl", "CH1\tdata/missing.bin\n");
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 3) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(12));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find("data/missing.bin"), std::string::npos) << outcome.output;
    EXPECT_FALSE(fs::exists(workDir));
    EXPECT_EQ(AllRows(), kSeededRows);
}

TEST_P(UpdateRunTest, AWorkDirectoryThatCannotBeClearedStopsTheRunWithCode3) {
    SeedOldRows();
    ASSERT_EQ(MakeUnremovableTree(workDir / "stuck"), "");
    StandardSpool();
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 3) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(2));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find("/stuck/"), std::string::npos) << outcome.output;
    EXPECT_EQ(AllRows(), kSeededRows);
}

TEST_P(UpdateRunTest, AnInterruptFromTheKeyboardIsIgnored) {
    StandardSpool();
    Pack();
    SubprocessOptions options;
    options.signalOnOutput = "3/16";
    const Outcome outcome = Run(options);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(16));
}

TEST_P(UpdateRunTest, ARefusedConnectionShowsTheDriversTextAndEndsWithCode1) {
    StandardSpool();
    Pack();
    WriteFile(workDir / "kept.spl", "x");
    TempDir broken;
    const fs::path brokenIni = UnreachableDataSource(broken.path());
    SubprocessOptions options;
    options.workingDir = (dir / "medium").string();
    options.env = {{"ODBCSYSINI", broken.str()},
                   {"ODBCINI", brokenIni.string()},
                   {"HOME", (broken / "home").string()},
                   {"DISPLAY", ""},
                   {"WAYLAND_DISPLAY", ""}};
    const SubprocessResult result =
        RunSubprocess({(dir / "medium" / "lorbanix-update").string()}, options);
    EXPECT_EQ(result.exitCode, 1) << result.output;
    const std::string driverText =
        GetParam() == DataSourceKind::Sqlite ? "connect failed" : "refused";
    EXPECT_NE(result.output.find(std::string(kMessage)), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(driverText), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("1/16"), std::string::npos) << result.output;
    EXPECT_EQ(ReadFile(workDir / "kept.spl"), "x");  // the run never reached its work
}

INSTANTIATE_TEST_SUITE_P(DataSources, UpdateRunTest, ::testing::ValuesIn(AllDataSources()),
                         [](const auto& info) { return DataSourceKindName(info.param); });
