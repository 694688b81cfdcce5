// The record every run leaves beside the run lock: one line per run, whatever
// the outcome, with the rows the imports deleted, added and changed as the
// database shows them; the file kept within its bound; a file that cannot be
// written changing nothing of the run; a kill while it is written leaving it whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "framework/CLockFile.h"
#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {
using Fields = std::map<std::string, std::string>;

const std::vector<std::string> kKeys = {"start",   "duration", "exit",    "result", "medium",
                                        "package", "sha256",   "chassis", "idcard", "idcomp",
                                        "serial",  "tun",      "vs",      "message"};
constexpr std::size_t kBound = std::size_t{1} << 20U;

// The value as it was before escaping.
std::string Unescaped(const std::string& value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        text += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return text;
}

// A record read as a script would: TAB-separated fields, each key=value, every
// key once in its place; a line that is not whole fails the test.
Fields ParseRecord(const std::string& line) {
    Fields fields;
    std::vector<std::string> keys;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        const std::size_t equals = field.find('=');
        EXPECT_NE(equals, std::string::npos) << field << " in\n" << line;
        if (equals == std::string::npos) {
            return {};
        }
        keys.push_back(field.substr(0, equals));
        fields[keys.back()] = Unescaped(field.substr(equals + 1));
    }
    EXPECT_EQ(keys, kKeys) << line;
    static const std::regex kStart(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    static const std::regex kDuration(R"(\d+\.\d{3}s)");
    EXPECT_TRUE(std::regex_match(fields["start"], kStart)) << line;
    EXPECT_TRUE(std::regex_match(fields["duration"], kDuration)) << line;
    return fields;
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// An older record, as big as a real one, numbered in its message.
std::string OldRecord(int number) {
    return "start=2026-01-01T00:00:00Z\tduration=3.500s\texit=0\tresult=committed\t"
           "medium=/media/floppy\tpackage=update.prs\tsha256=" +
           std::string(64, 'a') +
           "\tchassis=OLD\tidcard=0/1/0\tidcomp=0/2/0\tserial=0/2/0\ttun=0/1/0\tvs=0/2/0\t"
           "message=old " +
           std::to_string(number) + "\n";
}
}  // namespace

class RunRecordTest : public ToolRunTest {
  protected:
    void SetUp() override {
        ToolRunTest::SetUp();
        // Other tests' runs add to the same file.
        fs::remove_all(HistoryFile());
        fs::remove_all(HistoryFile().string() + ".tmp");
    }

    [[nodiscard]] fs::path HistoryFile() const { return workDir.string() + "-history.log"; }

    [[nodiscard]] std::vector<Fields> Records() const {
        std::vector<Fields> records;
        if (!fs::exists(HistoryFile())) {
            return records;
        }
        const std::string text = ReadFile(HistoryFile());
        EXPECT_TRUE(text.empty() || text.back() == '\n');
        for (const std::string& line : LinesOf(text)) {
            records.push_back(ParseRecord(line));
        }
        return records;
    }

    // Runs the tool and returns the one line it added.
    Fields RunAndRecord(int expectedExit, SubprocessOptions options = {}) {
        const std::size_t before = Records().size();
        const Outcome outcome = Run(std::move(options));
        EXPECT_EQ(outcome.exitCode, expectedExit) << outcome.output;
        const std::vector<Fields> records = Records();
        EXPECT_EQ(records.size(), before + 1) << outcome.output;
        if (records.size() != before + 1) {
            return {};
        }
        Fields record = records.back();
        EXPECT_EQ(record["exit"], std::to_string(outcome.exitCode));
        EXPECT_EQ(record["medium"], (dir / "medium").string());
        // What the run showed, exactly: nothing when it showed nothing.
        std::string shown;
        for (const std::string& message : outcome.messages) {
            shown += (shown.empty() ? "" : "\n") + message;
        }
        if (outcome.messages.size() == 1) {
            const std::size_t at = outcome.output.find(kMessage);
            shown = outcome.output.substr(at + std::string(kMessage).size());
            shown = shown.substr(0, shown.find("\nLorbanix Update by Floppy"));
            while (!shown.empty() && shown.back() == '\n') {
                shown.pop_back();
            }
        }
        // A text's own trailing line feed does not show apart from the line's end.
        std::string recorded = record["message"];
        while (!recorded.empty() && recorded.back() == '\n') {
            recorded.pop_back();
        }
        EXPECT_EQ(recorded, shown);
        return record;
    }

    [[nodiscard]] std::string PackageDigest() const {
        const SubprocessResult result =
            RunSubprocess({"/usr/bin/sha256sum", (dir / "medium" / "update.prs").string()});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output.substr(0, 64);
    }

    [[nodiscard]] int Count(const std::string& table, const std::string& where) const {
        return std::stoi(
            Sorted("SELECT count(*) FROM [tbadmin].[" + table + "] WHERE " + where).at(0).at(0));
    }

    // What the database shows of the standard vehicle, table by table.
    [[nodiscard]] std::map<std::string, int> VehicleRows() const {
        return {{"idcard", Count("tb_idcard", "[te_chasnum] = 'CH1'")},
                {"idcomp", Count("tb_idcomp", "[te_chasnum] = 'CH1'")},
                {"serial", Count("tb_serialnumber", "[te_chasnum] = 'CH1'")},
                {"tun", Count("tb_tun", "[te_chasnum] = 'CH1'")},
                {"vs", Count("tb_vs", "[te_comp] IN ('C1','C2')")}};
    }

    // The counts of a committed run of the standard medium, from the rows the
    // vehicle had before the run and has after it: the chassis's earlier
    // component, serial and tun rows went, the medium's came, an ID card and vs
    // rows of a known key were changed.
    static std::string Expected(const std::string& table, const std::map<std::string, int>& before,
                                const std::map<std::string, int>& after) {
        const int had = before.at(table);
        const int has = after.at(table);
        if (table == "idcard" || table == "vs") {
            return "0/" + std::to_string(has - had) + "/" + std::to_string(had);
        }
        return std::to_string(had) + "/" + std::to_string(has) + "/0";
    }

    void ExpectCountsMatchTheDatabase(const Fields& record,
                                      const std::map<std::string, int>& before) {
        const std::map<std::string, int> after = VehicleRows();
        for (const char* table : {"idcard", "idcomp", "serial", "tun", "vs"}) {
            EXPECT_EQ(record.at(table), Expected(table, before, after)) << table;
        }
    }

    static void ExpectNoCounts(const Fields& record) {
        for (const char* table : {"idcard", "idcomp", "serial", "tun", "vs"}) {
            EXPECT_EQ(record.at(table), "") << table;
        }
    }
};

TEST_P(RunRecordTest, EveryOutcomeAddsOneLineThatSaysHowTheRunEnded) {
    SeedOldRows();
    StandardSpool();
    Pack();

    // Committed, twice: first the seeded rows give way, then the run's own.
    for (int run = 0; run < 2; ++run) {
        const std::map<std::string, int> before = VehicleRows();
        Fields committed = RunAndRecord(0);
        EXPECT_EQ(committed["result"], "committed");
        EXPECT_EQ(committed["package"], "update.prs");
        EXPECT_EQ(committed["sha256"], PackageDigest());
        EXPECT_EQ(committed["chassis"], "CH1");
        ExpectCountsMatchTheDatabase(committed, before);
    }
    EXPECT_EQ(Records().at(0).at("idcomp"), "1/2/0");
    EXPECT_EQ(Records().at(1).at("vs"), "0/0/2");

    // A database error in the imports: rolled back, nothing of it counted.
    Spool("vs.spl", "C1\tnot a number\tdata/vs1.bin\n");
    Pack();
    Fields failed = RunAndRecord(1);
    EXPECT_EQ(failed["result"], "rolled-back");
    EXPECT_EQ(failed["chassis"], "CH1");
    EXPECT_NE(failed["message"].find("vs type"), std::string::npos) << failed["message"];
    ExpectNoCounts(failed);

    // A data file the package lacks: rolled back with code 3.
    StandardSpool();
    Spool("tun.spl", "CH1\tdata/missing.bin\n");
    Pack();
    Fields missing = RunAndRecord(3);
    EXPECT_EQ(missing["result"], "rolled-back");
    EXPECT_NE(missing["message"].find("missing.bin"), std::string::npos) << missing["message"];
    ExpectNoCounts(missing);

    // No chassis number: stopped before anything was written, nothing shown.
    Spool("idcard.spl", "\tTP\tENG\tMDES\t42\n");
    Pack();
    Fields noChassis = RunAndRecord(2);
    EXPECT_EQ(noChassis["result"], "stopped");
    EXPECT_EQ(noChassis["chassis"], "");
    EXPECT_EQ(noChassis["package"], "update.prs");
    ExpectNoCounts(noChassis);

    // Another run holds the install location.
    {
        fs::create_directories(workDir.parent_path());
        const CLockFile held((workDir.string() + ".lock").c_str());
        Fields refused = RunAndRecord(3);
        EXPECT_EQ(refused["result"], "refused");
        EXPECT_NE(refused["message"].find("Another update is running"), std::string::npos);
        EXPECT_EQ(refused["package"], "");
        ExpectNoCounts(refused);
    }

    // No package on the medium.
    fs::remove(dir / "medium" / "update.prs");
    Fields nothing = RunAndRecord(0);
    EXPECT_EQ(nothing["result"], "nothing-to-do");
    EXPECT_EQ(nothing["package"], "");
    EXPECT_EQ(nothing["sha256"], "");
    ExpectNoCounts(nothing);

    EXPECT_EQ(Records().size(), 7U);
    EXPECT_EQ(AllRows(), kStandardRows);
}

TEST_P(RunRecordTest, ARefusedConnectionIsRecordedToo) {
    StandardSpool();
    Pack();
    TempDir broken;
    SubprocessOptions options;
    options.env = source->env;
    options.env["ODBCINI"] = UnreachableDataSource(broken.path()).string();
    Fields refused = RunAndRecord(1, options);
    EXPECT_EQ(refused["result"], "stopped");
    EXPECT_FALSE(refused["message"].empty());
    ExpectNoCounts(refused);
}

TEST_P(RunRecordTest, AHistoryThatCannotBeWrittenChangesNeitherTheUpdateNorTheExitCode) {
    StandardSpool();
    Pack();
    fs::create_directories(HistoryFile());  // a directory in the file's place
    const Outcome committed = Run();
    EXPECT_EQ(committed.exitCode, 0) << committed.output;
    EXPECT_EQ(committed.positions, StepsTo(16));
    EXPECT_TRUE(committed.messages.empty()) << committed.output;
    EXPECT_EQ(AllRows(), kStandardRows);
    EXPECT_FALSE(fs::exists(workDir));
    const std::string said = "lorbanix-update history: no record of this run was written: ";
    EXPECT_NE(committed.output.find(said), std::string::npos) << committed.output;
    EXPECT_NE(committed.output.find(HistoryFile().string()), std::string::npos) << committed.output;

    // A run that ends at once, and one refused by the lock, say the same.
    Spool("idcard.spl", "\tTP\n");
    Pack();
    const Outcome noChassis = Run();
    EXPECT_EQ(noChassis.exitCode, 2) << noChassis.output;
    EXPECT_NE(noChassis.output.find(said), std::string::npos) << noChassis.output;
    {
        const CLockFile held((workDir.string() + ".lock").c_str());
        const Outcome refused = Run();
        EXPECT_EQ(refused.exitCode, 3) << refused.output;
        EXPECT_NE(refused.output.find(said), std::string::npos) << refused.output;
    }
    EXPECT_TRUE(fs::is_directory(HistoryFile()));
    EXPECT_EQ(AllRows(), kStandardRows);
}

// How the file is written does not depend on the data source.
class RunRecordFileTest : public RunRecordTest {
  protected:
    void SetUp() override {
        RunRecordTest::SetUp();
        StandardSpool();
        Pack();
        fs::remove(dir / "medium" / "update.prs");  // the quickest whole run
        fs::create_directories(workDir.parent_path());
    }
};

// The run holding its lock cuts the file to the bound, keeping the newest
// whole lines (how they are kept: RunHistoryTest).
TEST_P(RunRecordFileTest, AFileBeyondTheBoundIsCutToItByTheNextRun) {
    std::string old;
    int count = 0;
    while (old.size() < 3 * kBound) {
        old += OldRecord(count++);
    }
    WriteFile(HistoryFile(), old);
    EXPECT_EQ(Run().exitCode, 0);
    const std::string text = ReadFile(HistoryFile());
    EXPECT_LE(text.size(), kBound);
    EXPECT_GT(text.size() + OldRecord(count).size(), kBound) << "more was cut than needed";
    const std::vector<Fields> records = Records();
    ASSERT_GT(records.size(), 2U);
    EXPECT_EQ(records.back().at("result"), "nothing-to-do");
    EXPECT_EQ(records.at(records.size() - 2).at("message"), "old " + std::to_string(count - 1));
}

TEST_P(RunRecordFileTest, AKillWhileTheRecordIsWrittenLeavesTheFileWhole) {
    std::string old;
    for (int i = 0; old.size() < kBound - 100; ++i) {
        old += OldRecord(i);
    }
    WriteFile(HistoryFile(), old);
    const char* asan = std::getenv("ASAN_OPTIONS");
    for (const char* point : {"write", "rename"}) {
        SubprocessOptions options;
        options.env = source->env;
        options.env["LD_PRELOAD"] = LORBANIX_KILL_IN_HISTORY;
        options.env["LORBANIX_KILL_AT"] = point;
        // The sanitizer runtime would insist on being loaded first.
        options.env["ASAN_OPTIONS"] =
            std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
        const Outcome killed = Run(options);
        EXPECT_EQ(killed.endSignal, SIGKILL) << point << "\n" << killed.output;
        // Killed on the way: the new record was being written beside the file.
        EXPECT_TRUE(fs::exists(HistoryFile().string() + ".tmp")) << point;
        // Compared whole, shown short: the file is a MiB.
        EXPECT_TRUE(ReadFile(HistoryFile()) == old) << point << ": the history was changed";
    }
    const Outcome next = Run();
    EXPECT_EQ(next.exitCode, 0) << next.output;
    EXPECT_FALSE(fs::exists(HistoryFile().string() + ".tmp"));
    const std::vector<Fields> records = Records();
    EXPECT_EQ(records.back().at("result"), "nothing-to-do");
    EXPECT_EQ(records.at(records.size() - 2).at("message").rfind("old ", 0), 0U);
}

INSTANTIATE_TEST_SUITE_P(DataSources, RunRecordTest, ::testing::ValuesIn(AllDataSources()),
                         [](const auto& info) { return DataSourceKindName(info.param); });
INSTANTIATE_TEST_SUITE_P(DataSources, RunRecordFileTest, ::testing::Values(DataSourceKind::Sqlite),
                         [](const auto& info) { return DataSourceKindName(info.param); });
