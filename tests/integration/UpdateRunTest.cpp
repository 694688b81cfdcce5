// The real tool, started from a real medium made by lorbanix-pack, against the
// real data sources: exit codes, progress, messages, the work directory and
// what every table holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/DataSource.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {
using Rows = std::vector<std::vector<std::string>>;
constexpr const char* kPack = LORBANIX_BINARY_DIR "/lorbanix-pack";
constexpr const char* kProgress = "Lorbanix Update by Floppy: ";
constexpr const char* kMessage = "lorbanix-update: ";

struct Outcome {
    int exitCode = -1;
    std::vector<int> positions;
    std::vector<std::string> messages;
    std::string output;
};

class UpdateRunTest : public ::testing::TestWithParam<DataSourceKind> {
  protected:
    void SetUp() override {
        source = &GetDataSource(GetParam());
        ClearTables(*source);
        workDir = fs::path(source->InstallDir()) / "Velko";
        fs::remove_all(workDir);
    }
    void TearDown() override { RemoveTree(workDir); }

    void Spool(const std::string& name, const std::string& bytes) {
        WriteFile(dir / "spool" / name, bytes);
    }

    // The usual update of one vehicle.
    void StandardSpool(const std::string& chassis = "CH1") {
        Spool("idcard.spl", chassis + "\tTP\tENG\tMDES\t42\r\n");
        Spool("idcomp.spl", chassis + "\t10\tGearbox\n" + chassis + "\t20\tBrakes\n");
        Spool("serial.spl", chassis + "\tECU\tSN1\n" + chassis + "\tABS\tSN2\n");
        Spool("tun.spl", chassis + "\tdata/tun.bin\r\n");
        Spool("data/tun.bin", Pattern(3U << 20, 1));
        Spool("vs.spl", "C1\t1\tdata/vs1.bin\nC2\t2\tdata/vs2.bin\n");
        Spool("data/vs1.bin", Pattern(1000, 2));
        Spool("data/vs2.bin", Pattern(2000, 3));
    }

    void Pack(const std::string& name = "update") {
        const SubprocessResult packed = RunSubprocess(
            {kPack, (dir / "spool").string(), (dir / "medium").string(), "--name", name});
        ASSERT_EQ(packed.exitCode, 0) << packed.output;
    }

    Outcome Run(SubprocessOptions options = {}) {
        options.env = source->env;
        options.workingDir = (dir / "medium").string();
        const SubprocessResult result =
            RunSubprocess({(dir / "medium" / "lorbanix-update").string()}, options);
        Outcome outcome;
        outcome.exitCode = result.exitCode;
        outcome.output = result.output;
        std::istringstream lines(result.output);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(kProgress, 0) == 0) {
                outcome.positions.push_back(std::stoi(line.substr(std::string(kProgress).size())));
            } else if (line.rfind(kMessage, 0) == 0) {
                outcome.messages.push_back(line.substr(std::string(kMessage).size()));
            }
        }
        return outcome;
    }

    static std::vector<int> StepsTo(int last) {
        std::vector<int> steps;
        for (int i = 0; i <= last; ++i) {
            steps.push_back(i);
        }
        return steps;
    }

    Rows Sorted(const std::string& sql) const {
        Rows rows = QueryRows(*source, sql);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    Rows AllRows() const {
        Rows all;
        for (const char* sql :
             {"SELECT [te_chasnum],[te_tpnum],[te_engsn],[te_mdes],[te_kfactor] FROM "
              "[tbadmin].[tb_idcard]",
              "SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]",
              "SELECT [te_chasnum],[te_serialID],[te_serialno] FROM [tbadmin].[tb_serialnumber]",
              "SELECT [te_chasnum],length([te_file]) FROM [tbadmin].[tb_tun]",
              "SELECT [te_comp],[te_vstype],length([te_file]) FROM [tbadmin].[tb_vs]"}) {
            const Rows rows = Sorted(sql);
            all.insert(all.end(), rows.begin(), rows.end());
            all.push_back({"--"});
        }
        return all;
    }

    void SeedOldRows() {
        ExecSql(*source,
                "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) VALUES "
                "(1,'CH1','old')");
        ExecSql(*source, "INSERT INTO [tbadmin].[tb_tun] ([te_chasnum]) VALUES ('CH1')");
    }

    const DataSource* source = nullptr;
    fs::path workDir;
    TempDir dir;
};

const Rows kStandardRows = {{"CH1", "TP", "ENG", "MDES", "42"},
                            {"--"},
                            {"10", "CH1", "Gearbox"},
                            {"20", "CH1", "Brakes"},
                            {"--"},
                            {"CH1", "ABS", "SN2"},
                            {"CH1", "ECU", "SN1"},
                            {"--"},
                            {"CH1", "3145728"},
                            {"--"},
                            {"C1", "1", "1000"},
                            {"C2", "2", "2000"},
                            {"--"}};
}  // namespace

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

TEST_P(UpdateRunTest, PackagesThatGiveNoIdCardEndWithCode2AndKeepTheWorkDirectory) {
    StandardSpool();
    Pack();
    const std::string good = ReadFile(dir / "medium" / "update.prs");
    std::string damaged = good;
    for (std::size_t i = damaged.size() - 200; i < damaged.size() - 1; ++i) {
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);  // the archive's directory
    }
    for (const std::string& package : {std::string(1, '\x11'), damaged}) {
        WriteFile(dir / "medium" / "update.prs", package);
        const Outcome outcome = Run();
        EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
        EXPECT_EQ(outcome.positions, StepsTo(7));
        EXPECT_NE(outcome.output.find("pkunzip: "), std::string::npos) << outcome.output;
        EXPECT_TRUE(fs::exists(workDir / "spool.zip"));
        EXPECT_EQ(AllRows(), (Rows{{"--"}, {"--"}, {"--"}, {"--"}, {"--"}}));
    }
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

TEST_P(UpdateRunTest, ADatabaseErrorInTheVsStageRollsBackTheWholeRun) {
    SeedOldRows();
    for (const char* badLine :
         {"C1 with one tab\tdata/vs1.bin\n", "C1\t1 OR 1=1\tdata/vs1.bin\n"}) {
        fs::remove_all(dir / "medium");
        StandardSpool();
        Spool("vs.spl", std::string("C0\t1\tdata/vs1.bin\n") + badLine);
        Pack();
        const Outcome outcome = Run();
        EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
        EXPECT_EQ(outcome.positions, StepsTo(14));
        EXPECT_EQ(outcome.messages.size(), 1U) << outcome.output;
        EXPECT_TRUE(fs::exists(workDir / "vs.spl"));
        EXPECT_EQ(
            AllRows(),
            (Rows{{"--"}, {"1", "CH1", "old"}, {"--"}, {"--"}, {"CH1", "NULL"}, {"--"}, {"--"}}));
    }
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
    EXPECT_EQ(AllRows(),
              (Rows{{"--"}, {"1", "CH1", "old"}, {"--"}, {"--"}, {"CH1", "NULL"}, {"--"}, {"--"}}));
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
    EXPECT_EQ(AllRows(),
              (Rows{{"--"}, {"1", "CH1", "old"}, {"--"}, {"--"}, {"CH1", "NULL"}, {"--"}, {"--"}}));
}

TEST_P(UpdateRunTest, KeysWithApostrophesAreStoredLiterally) {
    StandardSpool("O'Brien");
    Spool("vs.spl", "x' OR '1'='1\t1\tdata/vs1.bin\n");
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(Sorted("SELECT [te_chasnum] FROM [tbadmin].[tb_idcard]"), (Rows{{"O'Brien"}}));
    EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_idcomp] WHERE [te_chasnum] = 'O''Brien'"),
              (Rows{{"2"}}));
    EXPECT_EQ(Sorted("SELECT [te_comp] FROM [tbadmin].[tb_vs]"), (Rows{{"x' OR '1'='1"}}));
}

TEST_P(UpdateRunTest, AnInterruptFromTheKeyboardIsIgnored) {
    StandardSpool();
    Pack();
    SubprocessOptions options;
    options.interruptOnOutput = "3/16";
    const Outcome outcome = Run(options);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(16));
}

TEST_P(UpdateRunTest, ARefusedConnectionShowsTheDriversTextAndEndsWithCode1) {
    StandardSpool();
    Pack();
    WriteFile(workDir / "kept.spl", "x");
    TempDir broken;
    fs::copy_file(fs::path(source->dir) / "odbcinst.ini", broken / "odbcinst.ini");
    std::istringstream in(ReadFile(fs::path(source->dir) / "odbc.ini"));
    std::string ini;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Database=", 0) == 0 && GetParam() == DataSourceKind::Sqlite) {
            line = "Database=/nonexistent/folder/lorbanix.db";
        } else if (line.rfind("Port=", 0) == 0) {
            line = "Port=1";
        }
        ini += line + "\n";
    }
    WriteFile(broken / "odbc.ini", ini);
    SubprocessOptions options;
    options.workingDir = (dir / "medium").string();
    options.env = {{"ODBCSYSINI", broken.str()},
                   {"ODBCINI", (broken / "odbc.ini").string()},
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
