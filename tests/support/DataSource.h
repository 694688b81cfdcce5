// The real data sources the tests run against: SQLite through its ODBC driver
// (made fresh for each test program) and PostgreSQL through psqlODBC (the server
// that scripts/test starts, found through LORBANIX_PG_DIR).
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "framework/odbc/CDatabase.h"

enum class DataSourceKind { Sqlite, Postgres };

struct DataSource {
    DataSourceKind kind;
    std::string dir;                         // holds odbcinst.ini and odbc.ini
    std::map<std::string, std::string> env;  // selects this data source

    [[nodiscard]] std::string InstallDir() const { return dir + "/install"; }
    // Points this process's driver manager at the data source.
    void Activate() const;
};

// Made once per test program; a failure to set it up fails the test that asks.
const DataSource& GetDataSource(DataSourceKind kind);
// Both kinds, for parameterised tests.
std::vector<DataSourceKind> AllDataSources();
std::string DataSourceKindName(DataSourceKind kind);
inline std::ostream& operator<<(std::ostream& out, DataSourceKind kind) {
    return out << DataSourceKindName(kind);
}

// A parameterised suite's tests once per data source, each named after it.
#define INSTANTIATE_ON_BOTH(Suite)                                                      \
    INSTANTIATE_TEST_SUITE_P(DataSources, Suite, ::testing::ValuesIn(AllDataSources()), \
                             [](const auto& info) { return DataSourceKindName(info.param); })

inline constexpr const char* kConnectString = "DSN=Lorbanix;UID=velko;PWD=tesko";

// Executes a statement (bracketed names quoted for the driver) on db; raises CDBException.
StmtHandle ExecuteOn(const CDatabase& db, const std::string& sql);

// Statements and queries over their own connection, committed at once.
void ExecSql(const DataSource& source, const std::string& sql);
// Every value as text ("NULL" for null), rows in the order the statement gives.
using Rows = std::vector<std::vector<std::string>>;
Rows QueryRows(const DataSource& source, const std::string& sql);
// Empties the five tables.
void ClearTables(const DataSource& source);
