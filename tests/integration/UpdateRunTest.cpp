// The real tool, started from a real medium made by lorbanix-pack, against the
// real data sources: exit codes, progress, messages, the work directory, the
// run's history line and what every table holds afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "framework/CLockFile.h"
#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {
// What a case holds for the length of its run (a trigger, a lock), or nothing.
using Held = std::shared_ptr<void>;

class UpdateRunTest : public ToolRunTest {
  protected:
    // The medium packed again with one spool file changed ("update.prs": the
    // medium without its package).
    Held Repacked(const std::string& name, const std::string& bytes) {
        Spool(name, bytes);
        Pack();
        if (name == "update.prs") {
            fs::remove(dir / "medium" / name);
        }
        return {};
    }

    [[nodiscard]] std::string PackageDigest() const {
        const SubprocessResult result =
            RunSubprocess({"/usr/bin/sha256sum", (dir / "medium" / "update.prs").string()});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output.substr(0, 64);
    }
};
}  // namespace

// The data files are named the long way round: a name far longer than any path
// is read from where its components lead, never as a whole, and stores the
// whole file (resolving: ContainedFileTest). A keyboard interrupt is ignored,
// and of two packages only the first is unpacked.
TEST_P(UpdateRunTest, AFullRunCommitsEveryTableAndARepeatedRunLeavesTheSameRows) {
    std::string upAndDown = "data/";
    while (upAndDown.size() < 10000) {
        upAndDown += "../data/";
    }
    SeedOldRows();
    WriteFile(workDir / "left-over" / ".from-an-earlier-run", "x");
    StandardSpool("ZZZ");
    Pack("zz");
    StandardSpool();
    Spool("tun.spl", "CH1\t." + std::string(5000, '/') + "data/tun.bin\r\n");
    Spool("vs.spl", "C1\t1\t" + upAndDown + "vs1.bin\nC2\t2\tdata/vs2.bin\n");
    Pack();
    SubprocessOptions interrupted;
    interrupted.signalOnOutput = "3/16";
    // First the seeded rows give way, then the run's own: deleted, added and
    // changed rows of the ID card, components, serial numbers, tun and vs.
    for (const char* counts : {"0/1/0 1/2/0 0/2/0 1/1/0 0/2/0", "0/0/1 2/2/0 2/2/0 1/1/0 0/0/2"}) {
        Fields record = RunToEnd({}, interrupted).record;
        EXPECT_EQ(record["package"], "update.prs");
        EXPECT_EQ(record["sha256"], PackageDigest());
        EXPECT_EQ(record["chassis"], "CH1");
        EXPECT_EQ(record["idcard"] + " " + record["idcomp"] + " " + record["serial"] + " " +
                      record["tun"] + " " + record["vs"],
                  counts);
    }
}

// Every way a run ends before its commit, with the code, bar and message it
// ends with and what its record says besides.
TEST_P(UpdateRunTest, ARunThatEndsEarlyCommitsNothingAndSaysWhyInItsCodeMessageAndRecord) {
    struct Case {
        const char* what;
        std::function<Held()> arrange;  // after the standard medium is packed
        Ending ending;
        Fields recorded;  // besides the contract of every run
    };
    const std::string lockFile = workDir.string() + ".lock";
    const Case cases[] = {
        {"no package",
         [&] { return Repacked("update.prs", ""); },
         {0, 4, {}, "nothing-to-do"},
         {{"package", ""}, {"sha256", ""}}},
        {"no chassis",
         [&] { return Repacked("idcard.spl", "\tTP\tENG\tMDES\t42\n"); },
         {2, 7, {}, "stopped", "idcard.spl"},
         {{"chassis", ""}, {"package", "update.prs"}}},
        // Which vs types are numbers is the spool text's matter; here, that a
        // refused one ends the run with code 1 and nothing of it stays.
        {"a vs type the data source refuses",
         [&] { return Repacked("vs.spl", "C0\t1\tdata/vs1.bin\nC1\t1 OR 1=1\tdata/vs1.bin\n"); },
         {1, 14, {"'1 OR 1=1'"}, "rolled-back", "vs.spl"},
         {{"chassis", "CH1"}}},
        // A rule of the data source itself, not one of the tool's checks.
        {"a row refused half-way",
         [&] {
             return std::make_shared<RowTrigger>(*source, "tb_serialnumber", "te_serialno", "SN2");
         },
         {1, 10, {"SN2 refused"}, "rolled-back", "serial.spl"},
         {}},
        {"a data file the package lacks",
         [&] { return Repacked("tun.spl", "CH1\tdata/missing.bin\n"); },
         {3, 12, {"data/missing.bin"}, "rolled-back"},
         {}},
        {"another run holds the install location",
         [&] { return std::make_shared<CLockFile>(lockFile.c_str()); },
         {3, 1, {"Another update is running", lockFile}, "refused"},
         {{"package", ""}}},
        // Last: what cannot be removed stays.
        {"a work directory that cannot be cleared",
         [&] {
             EXPECT_EQ(MakeUnremovableTree(workDir / "stuck"), "");
             return Held();
         },
         {3, 2, {"/stuck/"}, "stopped", "stuck"},
         {}},
    };
    SeedOldRows();
    fs::create_directories(workDir.parent_path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StandardSpool();
        Pack();
        const Held held = c.arrange();
        Fields record = RunToEnd(c.ending).record;
        for (const auto& [key, value] : c.recorded) {
            EXPECT_EQ(record[key], value) << key;
        }
    }
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

TEST_P(UpdateRunTest, ARefusedConnectionShowsTheDriversTextAndEndsWithCode1) {
    SeedOldRows();
    StandardSpool();
    Pack();
    WriteFile(workDir / "kept.spl", "x");
    Fields unreachable = {{"Port", "1"}};
    if (GetParam() == DataSourceKind::Sqlite) {
        unreachable["Database"] = "/nonexistent/folder/lorbanix.db";
    }
    SubprocessOptions options;
    options.env = Configured("unreachable", unreachable);
    const std::string driverText =
        GetParam() == DataSourceKind::Sqlite ? "connect failed" : "refused";
    RunToEnd({1, 0, {driverText}, "stopped"}, options);
    EXPECT_EQ(ReadFile(workDir / "kept.spl"), "x");  // the run never reached its work
}

INSTANTIATE_ON_BOTH(UpdateRunTest);
