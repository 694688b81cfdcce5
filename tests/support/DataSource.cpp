#include "tests/support/DataSource.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CDatabase.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {
std::map<std::string, std::string> EnvFor(const std::string& dir) {
    // The tool runs headless in these tests: no display, so no window.
    return {{"ODBCSYSINI", dir},
            {"ODBCINI", dir + "/odbc.ini"},
            {"HOME", dir + "/home"},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
}

DataSource MakeSqlite() {
    static TempDir root;
    const std::string dir = (root / "sqlite").string();
    const SubprocessResult made = RunSubprocess({LORBANIX_SOURCE_DIR "/scripts/make-sqlite-dsn",
                                                 dir, LORBANIX_BINARY_DIR "/tbadmin_ext.so"});
    if (made.exitCode != 0) {
        throw std::runtime_error("make-sqlite-dsn failed: " + made.output);
    }
    return {DataSourceKind::Sqlite, dir, EnvFor(dir)};
}

DataSource FindPostgres() {
    const char* dir = std::getenv("LORBANIX_PG_DIR");
    if (dir == nullptr || *dir == '\0') {
        throw std::runtime_error(
            "LORBANIX_PG_DIR is not set: start a server with scripts/pg-server start DIR "
            "and point LORBANIX_PG_DIR at DIR (scripts/test does both)");
    }
    return {DataSourceKind::Postgres, dir, EnvFor(dir)};
}

// One statement executed on a connection of its own.
class Statement {
  public:
    Statement(const DataSource& source, const std::string& sql) {
        source.Activate();
        m_db.OpenEx(kConnectString);
        m_stmt = ExecuteOn(m_db, sql);
    }
    [[nodiscard]] SQLHSTMT get() const { return m_stmt.get(); }

  private:
    CDatabase m_db;
    StmtHandle m_stmt;  // freed before its connection closes
};
}  // namespace

StmtHandle ExecuteOn(const CDatabase& db, const std::string& sql) {
    StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle());
    const SQLRETURN rc = SQLExecDirect(stmt.get(), SqlChars(db.QuoteNames(sql.c_str())), SQL_NTS);
    if (rc != SQL_NO_DATA) {
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt.get());
    }
    return stmt;
}

void DataSource::Activate() const {
    // The driver manager keeps the configuration paths it first read for the
    // life of the process: a second data source in one process would silently
    // reach the first one.
    static const DataSourceKind first = kind;
    if (kind != first) {
        throw std::runtime_error(
            "one data source per test process: run the tests through ctest, "
            "or filter them with --gtest_filter=*" +
            DataSourceKindName(kind) + "*");
    }
    for (const auto& [key, value] : env) {
        ::setenv(key.c_str(), value.c_str(), 1);
    }
}

const DataSource& GetDataSource(DataSourceKind kind) {
    if (kind == DataSourceKind::Sqlite) {
        static const DataSource sqlite = MakeSqlite();
        return sqlite;
    }
    static const DataSource postgres = FindPostgres();
    return postgres;
}

std::vector<DataSourceKind> AllDataSources() {
    return {DataSourceKind::Sqlite, DataSourceKind::Postgres};
}

std::string DataSourceKindName(DataSourceKind kind) {
    return kind == DataSourceKind::Sqlite ? "SQLite" : "PostgreSQL";
}

void ExecSql(const DataSource& source, const std::string& sql) {
    const Statement statement(source, sql);
}

Rows QueryRows(const DataSource& source, const std::string& sql) {
    const Statement statement(source, sql);
    SQLHSTMT stmt = statement.get();
    SQLSMALLINT columns = 0;
    OdbcCheck(SQLNumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt);
    Rows rows;
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) {
            break;
        }
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
        std::vector<std::string> row;
        for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columns); ++column) {
            std::string value;
            std::vector<char> chunk(4096);
            SQLLEN indicator = 0;
            bool isNull = false;
            for (;;) {
                const SQLRETURN got = SQLGetData(stmt, column, SQL_C_CHAR, chunk.data(),
                                                 static_cast<SQLLEN>(chunk.size()), &indicator);
                if (got == SQL_NO_DATA) {
                    break;
                }
                OdbcCheck(got, SQL_HANDLE_STMT, stmt);
                if (indicator == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                value += chunk.data();
                if (got == SQL_SUCCESS) {
                    break;
                }
            }
            row.push_back(isNull ? "NULL" : value);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void ClearTables(const DataSource& source) {
    for (const char* table : {"tb_idcard", "tb_idcomp", "tb_serialnumber", "tb_tun", "tb_vs"}) {
        ExecSql(source, std::string("DELETE FROM [tbadmin].[") + table + "]");
    }
}
