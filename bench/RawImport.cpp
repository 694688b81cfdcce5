// raw_import idcomp|vs|tun WORKDIR | fill ROWS | rss COMMAND...
// The work of one update stage done with plain ODBC on the data source that the
// environment selects, on the same spool files the tool reads: the baseline the
// stage benchmarks compare the tool with. Prints "seconds S peak_kib K".
//   idcomp: one prepared DELETE of the chassis, one prepared INSERT per line.
//   vs:     per line one prepared look-up, then one prepared UPDATE or INSERT.
//   tun:    one prepared DELETE, one INSERT with the data file sent at execution.
//   fill:   fills the component table with ROWS rows of other vehicles.
//   rss:    runs COMMAND and prints its peak resident memory ("peak_kib K").
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CDatabase.h"
#include "framework/odbc/Odbc.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr const char* kConnect = "DSN=Lorbanix;UID=velko;PWD=tesko";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::vector<std::string>> Lines(const std::string& path) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(ReadAll(path));
    for (std::string line; std::getline(text, line);) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos && fields.size() < 2;
             tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        lines.push_back(fields);
    }
    return lines;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r'))) {
        text.pop_back();
    }
    return text;
}

class Statement {
  public:
    Statement(const CDatabase& db, const char* sql)
        : m_stmt(AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle())) {
        const CString text = db.QuoteNames(sql);
        OdbcCheck(SQLPrepare(get(), SqlChars(text), SQL_NTS), SQL_HANDLE_STMT, get());
    }
    [[nodiscard]] SQLHSTMT get() const { return m_stmt.get(); }
    void Text(SQLUSMALLINT n, const std::string& value, SQLLEN& length) {
        length = static_cast<SQLLEN>(value.size());
        OdbcCheck(SQLBindParameter(get(), n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0,
                                   const_cast<char*>(value.data()), length, &length),
                  SQL_HANDLE_STMT, get());
    }
    void Int(SQLUSMALLINT n, SQLINTEGER& value) {
        OdbcCheck(SQLBindParameter(get(), n, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                   &value, 0, nullptr),
                  SQL_HANDLE_STMT, get());
    }
    // The bytes go at execution, as the tool sends long binaries.
    void Bytes(SQLUSMALLINT n, const std::string& value, SQLLEN& cell, SQLSMALLINT sqlType) {
        cell = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(value.size()));
        OdbcCheck(SQLBindParameter(get(), n, SQL_PARAM_INPUT, SQL_C_BINARY, sqlType, value.size(),
                                   0, const_cast<char*>(value.data()), 0, &cell),
                  SQL_HANDLE_STMT, get());
    }
    // Executes, sending at-execution bytes; true when a result row was fetched.
    bool Run() {
        SQLFreeStmt(get(), SQL_CLOSE);
        SQLRETURN rc = SQLExecute(get());
        while (rc == SQL_NEED_DATA) {
            SQLPOINTER token = nullptr;
            rc = SQLParamData(get(), &token);
            if (rc == SQL_NEED_DATA) {
                auto* bytes = static_cast<char*>(token);
                OdbcCheck(SQLPutData(get(), bytes, m_putLength), SQL_HANDLE_STMT, get());
            }
        }
        if (rc != SQL_NO_DATA) {
            OdbcCheck(rc, SQL_HANDLE_STMT, get());
        }
        SQLSMALLINT columns = 0;
        SQLNumResultCols(get(), &columns);
        return columns > 0 && SQL_SUCCEEDED(SQLFetch(get()));
    }
    SQLLEN m_putLength = 0;

  private:
    StmtHandle m_stmt;
};

SQLSMALLINT BinaryType(const CDatabase& db) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    SQLGetInfo(db.GetConnectHandle(), SQL_DBMS_NAME, name, sizeof name, &length);
    return std::strstr(name, "PostgreSQL") != nullptr ? SQL_LONGVARBINARY : SQL_BINARY;
}

void Idcomp(CDatabase& db, const std::string& work) {
    const auto lines = Lines(work + "/idcomp.spl");
    Statement remove(db, "DELETE FROM [tbadmin].[tb_idcomp] WHERE [te_chasnum] = ?");
    Statement insert(db,
                     "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) "
                     "VALUES (?,?,?)");
    std::string chassis;
    std::string comp;
    SQLINTEGER group = 0;
    SQLLEN l1 = 0;
    SQLLEN l2 = 0;
    SQLLEN l3 = 0;
    remove.Text(1, chassis, l1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        chassis = lines[i][0];
        comp = lines[i].size() > 2 ? lines[i][2] : "";
        group = std::atoi(lines[i].size() > 1 ? lines[i][1].c_str() : "0");
        if (i == 0) {
            remove.Text(1, chassis, l1);
            remove.Run();
        }
        insert.Int(1, group);
        insert.Text(2, chassis, l2);
        insert.Text(3, comp, l3);
        insert.Run();
    }
}

void Vs(CDatabase& db, const std::string& work) {
    const auto lines = Lines(work + "/vs.spl");
    const SQLSMALLINT binary = BinaryType(db);
    Statement find(
        db, "SELECT [te_comp] FROM [tbadmin].[tb_vs] WHERE [te_comp] = ? AND [te_vstype] = ?");
    Statement update(db,
                     "UPDATE [tbadmin].[tb_vs] SET [te_file] = ? WHERE [te_comp] = ? AND "
                     "[te_vstype] = ?");
    Statement insert(db,
                     "INSERT INTO [tbadmin].[tb_vs] ([te_comp],[te_file],[te_vstype]) VALUES "
                     "(?,?,?)");
    std::string comp;
    std::string bytes;
    SQLINTEGER type = 0;
    SQLLEN l1 = 0;
    SQLLEN l2 = 0;
    for (const auto& line : lines) {
        comp = line[0];
        type = std::atoi(line[1].c_str());
        bytes = ReadAll(Trimmed(work + "/" + line[2]));
        find.Text(1, comp, l1);
        find.Int(2, type);
        Statement& change = find.Run() ? update : insert;
        if (&change == &update) {
            update.Bytes(1, bytes, l2, binary);
            update.Text(2, comp, l1);
            update.Int(3, type);
        } else {
            insert.Text(1, comp, l1);
            insert.Bytes(2, bytes, l2, binary);
            insert.Int(3, type);
        }
        change.m_putLength = static_cast<SQLLEN>(bytes.size());
        change.Run();
    }
}

void Tun(CDatabase& db, const std::string& work) {
    const auto lines = Lines(work + "/tun.spl");
    const std::string chassis = lines.at(0).at(0);
    const std::string bytes = ReadAll(Trimmed(work + "/" + lines[0][1]));
    Statement remove(db, "DELETE FROM [tbadmin].[tb_tun] WHERE [te_chasnum] = ?");
    Statement insert(db, "INSERT INTO [tbadmin].[tb_tun] ([te_chasnum],[te_file]) VALUES (?,?)");
    SQLLEN l1 = 0;
    SQLLEN l2 = 0;
    remove.Text(1, chassis, l1);
    remove.Run();
    insert.Text(1, chassis, l1);
    insert.Bytes(2, bytes, l2, BinaryType(db));
    insert.m_putLength = static_cast<SQLLEN>(bytes.size());
    insert.Run();
}

void Fill(CDatabase& db, long rows) {
    StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle());
    const std::string n = std::to_string(rows);
    const std::string sql =
        BinaryType(db) == SQL_LONGVARBINARY
            ? "INSERT INTO tbadmin.tb_idcomp (te_cgrp, te_chasnum, te_comp) SELECT g % 100, "
              "'FILL' || (g / 10), 'component ' || g FROM generate_series(1, " +
                  n + ") AS g"
            : "WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < " + n +
                  ") INSERT INTO tbadmin.tb_idcomp (te_cgrp, te_chasnum, te_comp) SELECT n % "
                  "100, 'FILL' || (n / 10), 'component ' || n FROM g";
    OdbcCheck(SQLExecDirect(stmt.get(), SqlChars(sql.c_str()), SQL_NTS), SQL_HANDLE_STMT,
              stmt.get());
}

long PeakKib(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

int RunMeasured(char** argv) {
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::fprintf(stderr, "peak_kib %ld\n", PeakKib(RUSAGE_CHILDREN));
    // The processor time the command used: what a loaded machine cannot inflate.
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    std::fprintf(stderr, "cpu_ms %.1f\n", ms(usage.ru_utime) + ms(usage.ru_stime));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// One connection attempt with nothing around it: the floor of any run's start-up.
int ConnectOnly() {
    EnvHandle env = AllocOdbcHandle<SQL_HANDLE_ENV>(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    DbcHandle dbc = AllocOdbcHandle<SQL_HANDLE_DBC>(SQL_HANDLE_ENV, env.get());
    const SQLRETURN rc = SQLDriverConnect(dbc.get(), nullptr, SqlChars(CString(kConnect)), SQL_NTS,
                                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        return 1;
    }
    SQLDisconnect(dbc.get());
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "connect") {
        return ConnectOnly();
    }
    if (argc == 2 && std::string(argv[1]) == "pauses") {
        // The run's sixteen 200 ms pauses as this machine keeps them right now.
        const auto start = Clock::now();
        for (int i = 0; i < 16; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        std::printf("seconds %.4f\n", took.count());
        return 0;
    }
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "rss") {
        return RunMeasured(argv + 2);
    }
    try {
        CDatabase db;
        db.OpenEx(kConnect, CDatabase::noOdbcDialog);
        if (mode == "fill") {
            Fill(db, std::atol(argv[2]));
            return 0;
        }
        const auto start = Clock::now();
        db.BeginTrans();
        if (mode == "idcomp") {
            Idcomp(db, argv[2]);
        } else if (mode == "vs") {
            Vs(db, argv[2]);
        } else if (mode == "tun") {
            Tun(db, argv[2]);
        } else {
            std::fprintf(stderr,
                         "usage: raw_import idcomp|vs|tun WORKDIR | fill ROWS | rss CMD | connect "
                         "| pauses\n");
            return 2;
        }
        if (!db.CommitTrans()) {
            throw CDBException(SQL_ERROR, SQL_HANDLE_DBC, db.GetConnectHandle());
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        std::printf("seconds %.4f peak_kib %ld\n", took.count(), PeakKib(RUSAGE_SELF));
    } catch (const CDBException& error) {
        std::fprintf(stderr, "raw_import: %s\n", error.m_strError.GetString());
        return 1;
    }
    return 0;
}
