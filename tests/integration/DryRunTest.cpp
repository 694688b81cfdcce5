// lorbanix-pack --check --dry-run against the real data sources: the update's
// own import inside a transaction that is never committed, whatever happens.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "framework/odbc/CDatabase.h"
#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {
// Every column of the five tables, the long binaries' bytes included.
constexpr std::array<const char*, 5> kTables = {"tb_idcard", "tb_idcomp", "tb_serialnumber",
                                                "tb_tun", "tb_vs"};

struct Changes {
    int deleted = -1;
    int added = -1;
    int changed = -1;
};

class DryRunTest : public ToolRunTest {
  protected:
    SubprocessResult DryRun(SubprocessOptions options = {}) {
        options.env = source->env;
        // Where it unpacks, removed with the test even after a kill.
        fs::create_directories(dir / "tmp");
        options.env["TMPDIR"] = (dir / "tmp").string();
        return RunSubprocess({kPack, "--check", (dir / "medium").string(), "--dry-run"}, options);
    }

    [[nodiscard]] std::map<std::string, Rows> Tables() const {
        std::map<std::string, Rows> tables;
        for (const char* table : kTables) {
            tables[table] = Sorted(std::string("SELECT * FROM [tbadmin].[") + table + "]");
        }
        return tables;
    }

    // Rows a run will find changed: an ID card, a tun and a vs row of other values.
    void SeedRowsToChange() {
        SeedOldRows();
        ExecSql(*source,
                "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum],[te_tpnum],[te_engsn],[te_mdes],"
                "[te_kfactor]) VALUES ('CH1','OLD','OLD','OLD',7)");
        ExecSql(*source, "INSERT INTO [tbadmin].[tb_vs] ([te_comp],[te_vstype]) VALUES ('C1',1)");
        // Rows of other keys the run must leave alone.
        ExecSql(*source,
                "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) VALUES "
                "(5,'OTHER','kept')");
    }
};

std::map<std::string, Changes> ParseReport(const std::string& output) {
    std::map<std::string, Changes> report;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        char table[32] = {};
        Changes changes;
        if (std::sscanf(line.c_str(), " %31s delete %d, add %d, change %d", table, &changes.deleted,
                        &changes.added, &changes.changed) == 4) {
            report[table] = changes;
        }
    }
    return report;
}

// The rows of before that after lacks, counted with repeats.
std::size_t Missing(const Rows& before, const Rows& after) {
    Rows gone;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(gone));
    return gone.size();
}
}  // namespace

TEST_P(DryRunTest, TheReportMatchesWhatARealRunCommitsAndNothingIsCommitted) {
    SeedRowsToChange();
    StandardSpool();
    Pack();
    const std::map<std::string, Rows> before = Tables();

    const SubprocessResult dry = DryRun();
    ASSERT_EQ(dry.exitCode, 0) << dry.output;
    EXPECT_NE(dry.output.find("after the rollback the rows are as before"), std::string::npos)
        << dry.output;
    EXPECT_EQ(Tables(), before);
    const std::map<std::string, Changes> report = ParseReport(dry.output);
    ASSERT_EQ(report.size(), kTables.size()) << dry.output;

    const Outcome real = Run();
    ASSERT_EQ(real.exitCode, 0) << real.output;
    const std::map<std::string, Rows> after = Tables();
    for (const char* table : kTables) {
        const Changes& changes = report.at(table);
        // A changed row is one gone and one come of the same key.
        EXPECT_EQ(static_cast<std::size_t>(changes.deleted + changes.changed),
                  Missing(before.at(table), after.at(table)))
            << table << "\n"
            << dry.output;
        EXPECT_EQ(static_cast<std::size_t>(changes.added + changes.changed),
                  Missing(after.at(table), before.at(table)))
            << table << "\n"
            << dry.output;
    }
    // Which of them are changes follows from the keys the seeded rows share.
    EXPECT_EQ(report.at("tb_idcard").changed, 1);
    EXPECT_EQ(report.at("tb_idcomp").deleted, 1);
    EXPECT_EQ(report.at("tb_idcomp").added, 2);
    EXPECT_EQ(report.at("tb_tun").changed, 1);
    EXPECT_EQ(report.at("tb_vs").changed, 1);
    EXPECT_EQ(report.at("tb_vs").added, 1);

    // The same medium again changes nothing.
    const SubprocessResult again = DryRun();
    ASSERT_EQ(again.exitCode, 0) << again.output;
    for (const auto& [table, changes] : ParseReport(again.output)) {
        EXPECT_EQ(changes.deleted + changes.added + changes.changed, 0) << table << again.output;
    }
    EXPECT_EQ(Tables(), after);
}

TEST_P(DryRunTest, AnImportThatFailsHalfWayIsReportedAndRolledBack) {
    SeedRowsToChange();
    StandardSpool();
    struct Case {
        const char* vs;
        const char* shown;
        const char* exitCode;
    };
    for (const Case& failing :
         {Case{"C1\t1\tdata/vs1.bin\nC2\tnot a number\tdata/vs2.bin\n", "not a whole number",
               "exit code 1"},
          Case{"C1\t1\tdata/vs1.bin\nC2\t2\tdata/absent.bin\n", "absent.bin", "exit code 3"}}) {
        Spool("vs.spl", failing.vs);
        fs::remove_all(dir / "medium");
        Pack();
        const std::map<std::string, Rows> before = Tables();
        const SubprocessResult dry = DryRun();
        EXPECT_EQ(dry.exitCode, 1) << dry.output;
        EXPECT_NE(dry.output.find("dry run: error: the import stops"), std::string::npos)
            << dry.output;
        EXPECT_NE(dry.output.find(failing.shown), std::string::npos) << dry.output;
        EXPECT_NE(dry.output.find(failing.exitCode), std::string::npos) << dry.output;
        EXPECT_NE(dry.output.find("after the rollback the rows are as before"), std::string::npos)
            << dry.output;
        EXPECT_EQ(Tables(), before) << failing.vs;
    }
}

TEST_P(DryRunTest, ADryRunKilledInsideItsTransactionLeavesNothingBehind) {
    SeedRowsToChange();
    StandardSpool();
    Pack();
    const std::map<std::string, Rows> before = Tables();
    {
        // Another session's change of the tun rows keeps the import waiting inside
        // its transaction (on SQLite already at its first write), where it is killed.
        CDatabase other;
        other.OpenEx(kConnectString);
        ASSERT_TRUE(other.BeginTrans());
        ExecuteOn(other, "UPDATE [tbadmin].[tb_tun] SET [te_chasnum] = [te_chasnum]");
        // Once it says so, the import is inside its transaction and cannot get
        // past the other session's lock before the kill arrives.
        SubprocessOptions options;
        options.signalOnOutput = "dry run: importing";
        options.signal = SIGKILL;
        const SubprocessResult killed = DryRun(options);
        other.Rollback();
        EXPECT_EQ(killed.endSignal, SIGKILL) << killed.output;
    }
    EXPECT_EQ(Tables(), before);
    // No lock or half-written row is left: the real run commits.
    const Outcome real = Run();
    EXPECT_EQ(real.exitCode, 0) << real.output;
    EXPECT_EQ(AllRows()[0], (std::vector<std::string>{"CH1", "TP", "ENG", "MDES", "42"}));
}

INSTANTIATE_ON_BOTH(DryRunTest);
