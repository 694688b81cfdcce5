#include "tests/integration/UpdateRunFixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <utility>

#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {
// Long enough for any run under the sanitizers; a run that takes longer hangs.
constexpr double kRunSecondsAllowed = 120;

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

// A record read as a script would: TAB-separated fields, each key=value (which
// keys in which order and how values are written: RunHistoryTest); a line that
// is not whole fails the test.
Fields ParseRecord(const std::string& line) {
    Fields fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        const std::size_t equals = field.find('=');
        EXPECT_NE(equals, std::string::npos) << field << " in\n" << line;
        if (equals == std::string::npos) {
            return {};
        }
        fields[field.substr(0, equals)] = Unescaped(field.substr(equals + 1));
    }
    EXPECT_EQ(fields.size(), 14U) << line;
    return fields;
}

// A text's own trailing line feed does not show apart from the line's end.
std::string WithoutFinalLineFeeds(std::string text) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// The message a run showed and all that follows it, so that a text can end a line.
std::string FromMessage(const Outcome& outcome) {
    return outcome.messages.empty() ? "" : outcome.output.substr(outcome.output.find(kMessage));
}

// The message a run showed, as its record keeps it.
std::string Shown(const Outcome& outcome) {
    const std::string shown = FromMessage(outcome);
    if (shown.empty()) {
        return "";
    }
    return WithoutFinalLineFeeds(
        shown.substr(0, shown.find("\nLorbanix Update by Floppy")).substr(std::strlen(kMessage)));
}
}  // namespace

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

const Rows kSeededRows = {{"--"}, {"1", "CH1", "old"}, {"--"}, {"--"}, {"CH1", "NULL"}, {"--"},
                          {"--"}};

void WriteScript(const fs::path& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

std::map<std::string, std::string> EnvOf(const fs::path& configDir) {
    return {{"ODBCSYSINI", configDir.string()},
            {"ODBCINI", (configDir / "odbc.ini").string()},
            {"HOME", (configDir / "home").string()},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
}

void LockTunTable(CDatabase& other, DataSourceKind kind) {
    other.OpenEx(kConnectString);
    ASSERT_TRUE(other.BeginTrans());
    ExecuteOn(other, kind == DataSourceKind::Postgres
                         ? "LOCK TABLE [tbadmin].[tb_tun] IN ACCESS EXCLUSIVE MODE"
                         : "INSERT INTO [tbadmin].[tb_tun] ([te_chasnum]) VALUES ('lock')");
}

void ToolRunTest::SetUp() {
    source = &GetDataSource(GetParam());
    ClearTables(*source);
    workDir = fs::path(source->InstallDir()) / "Velko";
    fs::remove_all(workDir);
    // Other tests' runs add to the same file.
    fs::remove_all(HistoryFile());
    fs::remove_all(HistoryFile().string() + ".tmp");
}

void ToolRunTest::TearDown() {
    RemoveTree(workDir);
}

void ToolRunTest::Spool(const std::string& name, const std::string& bytes) {
    WriteFile(dir / "spool" / name, bytes);
}

void ToolRunTest::StandardSpool(const std::string& chassis) {
    Spool("idcard.spl", chassis + "\tTP\tENG\tMDES\t42\r\n");
    Spool("idcomp.spl", chassis + "\t10\tGearbox\n" + chassis + "\t20\tBrakes\n");
    Spool("serial.spl", chassis + "\tECU\tSN1\n" + chassis + "\tABS\tSN2\n");
    Spool("tun.spl", chassis + "\tdata/tun.bin\r\n");
    Spool("data/tun.bin", Pattern(3U << 20, 1));
    Spool("vs.spl", "C1\t1\tdata/vs1.bin\nC2\t2\tdata/vs2.bin\n");
    Spool("data/vs1.bin", Pattern(1000, 2));
    Spool("data/vs2.bin", Pattern(2000, 3));
}

void ToolRunTest::Pack(const std::string& name, const std::vector<std::string>& extraArgs,
                       const fs::path& mediumDir) {
    std::vector<std::string> args = {kPack,
                                     (dir / "spool").string(),
                                     (mediumDir.empty() ? dir / "medium" : mediumDir).string(),
                                     "--name",
                                     name,
                                     "--force"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    const SubprocessResult packed = RunSubprocess(args);
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
}

Outcome ToolRunTest::Run(SubprocessOptions options, const fs::path& mediumDir) {
    if (options.env.empty()) {
        options.env = source->env;
    }
    options.secondsAllowed = std::min(options.secondsAllowed, kRunSecondsAllowed);
    const fs::path medium = mediumDir.empty() ? dir / "medium" : mediumDir;
    options.workingDir = medium.string();
    const SubprocessResult result = RunSubprocess({(medium / "lorbanix-update").string()}, options);
    Outcome outcome;
    outcome.exitCode = result.exitCode;
    outcome.endSignal = result.endSignal;
    outcome.timedOut = result.timedOut;
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

ToolRunTest::Ended ToolRunTest::RunToEnd(const Ending& ending, SubprocessOptions options,
                                         const fs::path& mediumDir) {
    const std::size_t before = Records().size();
    Ended ended{Run(std::move(options), mediumDir), {}};
    const Outcome& outcome = ended.outcome;
    EXPECT_EQ(outcome.exitCode, ending.exitCode) << outcome.output;
    EXPECT_FALSE(outcome.timedOut) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(ending.lastPosition)) << outcome.output;
    EXPECT_EQ(outcome.messages.size(), ending.said.empty() ? 0U : 1U) << outcome.output;
    const std::string message = FromMessage(outcome);
    for (const std::string& text : ending.said) {
        EXPECT_NE(message.find(text), std::string::npos) << text << " in\n" << outcome.output;
    }
    if (ending.kept.empty()) {
        EXPECT_EQ(fs::exists(workDir), ending.exitCode == 1 || ending.exitCode == 2);
    } else {
        EXPECT_TRUE(fs::exists(workDir / ending.kept)) << ending.kept;
    }
    // Only a run that reached the last step committed.
    EXPECT_EQ(AllRows(),
              ending.exitCode == 0 && ending.lastPosition == 16 ? kStandardRows : kSeededRows);
    const std::vector<Fields> records = Records();
    EXPECT_EQ(records.size(), before + (ending.result.empty() ? 0 : 1)) << outcome.output;
    if (ending.result.empty() || records.size() != before + 1) {
        return ended;
    }
    Fields& record = ended.record = records.back();
    EXPECT_EQ(record["exit"], std::to_string(ending.exitCode));
    EXPECT_EQ(record["result"], ending.result);
    EXPECT_EQ(record["medium"], (mediumDir.empty() ? dir / "medium" : mediumDir).string());
    EXPECT_EQ(WithoutFinalLineFeeds(record["message"]), Shown(outcome));
    for (const char* table : {"idcard", "idcomp", "serial", "tun", "vs"}) {
        EXPECT_EQ(record[table].empty(), ending.result != "committed") << table;
    }
    return ended;
}

fs::path ToolRunTest::HistoryFile() const {
    return workDir.string() + "-history.log";
}

std::vector<Fields> ToolRunTest::Records() const {
    std::vector<Fields> records;
    if (!fs::is_regular_file(HistoryFile())) {
        return records;
    }
    const std::string text = ReadFile(HistoryFile());
    EXPECT_TRUE(text.empty() || text.back() == '\n');  // the last line is whole
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        records.push_back(ParseRecord(line));
    }
    return records;
}

std::vector<int> ToolRunTest::StepsTo(int last) {
    std::vector<int> steps;
    for (int i = 0; i <= last; ++i) {
        steps.push_back(i);
    }
    return steps;
}

Rows ToolRunTest::Sorted(const std::string& sql) const {
    Rows rows = QueryRows(*source, sql);
    std::sort(rows.begin(), rows.end());
    return rows;
}

Rows ToolRunTest::AllRows() const {
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

std::map<std::string, std::string> ToolRunTest::Configured(const std::string& name,
                                                           const Fields& changed) const {
    const fs::path config = dir / ("config-" + name);
    for (const char* file : {"odbcinst.ini", "odbc.ini"}) {
        std::istringstream in(ReadFile(fs::path(source->dir) / file));
        std::string ini;
        for (std::string line; std::getline(in, line);) {
            const auto change = changed.find(line.substr(0, line.find('=')));
            ini += (change == changed.end() ? line : change->first + "=" + change->second) + "\n";
        }
        WriteFile(config / file, ini);
    }
    fs::create_directories(config / "home");
    return EnvOf(config);
}

void ToolRunTest::SeedOldRows() {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) VALUES "
            "(1,'CH1','old')");
    ExecSql(*source, "INSERT INTO [tbadmin].[tb_tun] ([te_chasnum]) VALUES ('CH1')");
}

RowTrigger::RowTrigger(const DataSource& source, std::string table, const std::string& column,
                       const std::string& value, int sleepSeconds, const std::string& sqlState)
    : m_source(source), m_table(std::move(table)) {
    Drop();
    if (source.kind == DataSourceKind::Sqlite) {
        ExecSql(source, "CREATE TRIGGER row_trigger BEFORE INSERT ON " + m_table + " WHEN NEW." +
                            column + " = '" + value + "' BEGIN SELECT RAISE(ABORT, '" + value +
                            " refused'); END");
        return;
    }
    const std::string action =
        sleepSeconds > 0
            ? "PERFORM pg_sleep(" + std::to_string(sleepSeconds) + ");"
            : "RAISE EXCEPTION ''" + value + " refused''" +
                  (sqlState.empty() ? "" : " USING ERRCODE = ''" + sqlState + "''") + ";";
    ExecSql(source,
            "CREATE FUNCTION tbadmin.row_trigger() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN IF "
            "NEW." +
                column + " = ''" + value + "'' THEN " + action + " END IF; RETURN NEW; END'");
    ExecSql(source, "CREATE TRIGGER row_trigger BEFORE INSERT ON tbadmin." + m_table +
                        " FOR EACH ROW EXECUTE FUNCTION tbadmin.row_trigger()");
}

RowTrigger::~RowTrigger() {
    try {
        Drop();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the next test's set-up reports it
    }
}

void RowTrigger::Drop() const {
    ExecSql(m_source, m_source.kind == DataSourceKind::Sqlite
                          ? "DROP TRIGGER IF EXISTS row_trigger"
                          : "DROP TRIGGER IF EXISTS row_trigger ON tbadmin." + m_table +
                                "; DROP FUNCTION IF EXISTS tbadmin.row_trigger()");
}
