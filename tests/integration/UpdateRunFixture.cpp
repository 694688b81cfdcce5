#include "tests/integration/UpdateRunFixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {
// Long enough for any run under the sanitizers; a run that takes longer hangs.
constexpr double kRunSecondsAllowed = 120;
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

void ToolRunTest::SetUp() {
    source = &GetDataSource(GetParam());
    ClearTables(*source);
    workDir = fs::path(source->InstallDir()) / "Velko";
    fs::remove_all(workDir);
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

std::map<std::string, std::string> ToolRunTest::SecondInstall(const std::string& name) {
    const fs::path config = dir / ("config-" + name);
    std::istringstream in(ReadFile(fs::path(source->dir) / "odbcinst.ini"));
    std::string ini;
    for (std::string line; std::getline(in, line);) {
        ini +=
            (line.rfind("Location=", 0) == 0 ? "Location=" + (config / "install").string() : line) +
            "\n";
    }
    WriteFile(config / "odbcinst.ini", ini);
    WriteFile(config / "odbc.ini", ReadFile(fs::path(source->dir) / "odbc.ini"));
    fs::create_directories(config / "home");
    fs::create_directories(config / "install");
    return {{"ODBCSYSINI", config.string()},
            {"ODBCINI", (config / "odbc.ini").string()},
            {"HOME", (config / "home").string()},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
}

fs::path ToolRunTest::UnreachableDataSource(const fs::path& folder) const {
    fs::copy_file(fs::path(source->dir) / "odbcinst.ini", folder / "odbcinst.ini");
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
    WriteFile(folder / "odbc.ini", ini);
    return folder / "odbc.ini";
}

void ToolRunTest::SeedOldRows() {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) VALUES "
            "(1,'CH1','old')");
    ExecSql(*source, "INSERT INTO [tbadmin].[tb_tun] ([te_chasnum]) VALUES ('CH1')");
}

RowTrigger::RowTrigger(const DataSource& source, std::string table, const std::string& column,
                       const std::string& value, int sleepSeconds)
    : m_source(source), m_table(std::move(table)) {
    Drop();
    if (source.kind == DataSourceKind::Sqlite) {
        ExecSql(source, "CREATE TRIGGER row_trigger BEFORE INSERT ON " + m_table + " WHEN NEW." +
                            column + " = '" + value + "' BEGIN SELECT RAISE(ABORT, '" + value +
                            " refused'); END");
        return;
    }
    const std::string action = sleepSeconds > 0
                                   ? "PERFORM pg_sleep(" + std::to_string(sleepSeconds) + ");"
                                   : "RAISE EXCEPTION ''" + value + " refused'';";
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
