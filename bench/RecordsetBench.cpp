// recordset_bench rows|rows-large|blob|blob-plain|blob-statements
// Measures the recordset layer against plain ODBC on the data source that the
// environment selects (ODBCSYSINI / ODBCINI), in the same run:
//   rows:       OpenTable + AddNew + Update per row, 10,000 rows, one transaction,
//               against plain ODBC with one INSERT prepared once and executed per row.
//   rows-large: the same against a table that already holds 1,000,000 rows.
//   blob:       one 256 MiB long-binary write through CTunSet against plain ODBC
//               SQLPutData; MB/s and the process's peak memory.
//   blob-statements [SECONDS]: the time of each statement a run makes of a
//               256 MiB value (add, read, change in place, delete), under the
//               query timeout (default, or SECONDS to try a smaller bound).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CDatabase.h"
#include "framework/odbc/Odbc.h"
#include "tables/CIdcompSet.h"
#include "tables/CTunSet.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr const char* kConnect = "DSN=Lorbanix;UID=velko;PWD=tesko";
constexpr int kRows = 10000;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void Exec(const CDatabase& db, const std::string& sql) {
    StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle());
    const CString text = db.QuoteNames(sql.c_str());
    const SQLRETURN rc = SQLExecDirect(stmt.get(), SqlChars(text), SQL_NTS);
    if (rc != SQL_NO_DATA) {
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt.get());
    }
}

bool IsPostgres(const CDatabase& db) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    SQLGetInfo(db.GetConnectHandle(), SQL_DBMS_NAME, name, sizeof name, &length);
    return std::strstr(name, "PostgreSQL") != nullptr;
}

void FillIdcomp(const CDatabase& db, int rows) {
    Exec(db, "DELETE FROM [tbadmin].[tb_idcomp]");
    if (rows == 0) {
        return;
    }
    if (IsPostgres(db)) {
        Exec(db,
             "INSERT INTO tbadmin.tb_idcomp (te_cgrp, te_chasnum, te_comp) SELECT g % 100, 'FILL' "
             "|| (g / 10), "
             "'component ' || g FROM generate_series(1, " +
                 std::to_string(rows) + ") AS g");
    } else {
        Exec(db, "WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < " +
                     std::to_string(rows) +
                     ") INSERT INTO tbadmin.tb_idcomp (te_cgrp, te_chasnum, te_comp) "
                     "SELECT n % 100, 'FILL' || (n / 10), 'component ' || n FROM g");
    }
}

double PlainInsertRate(CDatabase& db) {
    db.BeginTrans();
    const auto start = Clock::now();
    StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle());
    const CString sql = db.QuoteNames(
        "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) VALUES (?,?,?)");
    OdbcCheck(SQLPrepare(stmt.get(), SqlChars(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.get());
    SQLINTEGER group = 0;
    char chassis[32] = "BENCH";
    char comp[64] = {};
    SQLLEN chassisLength = SQL_NTS;
    SQLLEN compLength = SQL_NTS;
    SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &group, 0,
                     nullptr);
    SQLBindParameter(stmt.get(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0, chassis, 0,
                     &chassisLength);
    SQLBindParameter(stmt.get(), 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0, comp, 0,
                     &compLength);
    for (int i = 0; i < kRows; ++i) {
        group = i % 100;
        std::snprintf(comp, sizeof comp, "component %d", i);
        OdbcCheck(SQLExecute(stmt.get()), SQL_HANDLE_STMT, stmt.get());
    }
    const double seconds = Seconds(start);
    db.Rollback();
    return kRows / seconds;
}

double RecordsetInsertRate(CDatabase& db) {
    db.BeginTrans();
    const auto start = Clock::now();
    for (int i = 0; i < kRows; ++i) {
        CIdcompSet set(&db);
        set.OpenTable();
        set.AddNew();
        set.m_te_cgrp = i % 100;
        set.m_te_chasnum = "BENCH";
        CString comp;
        comp.Format("component %d", i);
        set.m_te_comp = comp;
        set.Update();
        set.Close();
    }
    const double seconds = Seconds(start);
    db.Rollback();
    return kRows / seconds;
}

void Rows(CDatabase& db, int existing) {
    FillIdcomp(db, existing);
    const double plain = PlainInsertRate(db);
    const double ours = RecordsetInsertRate(db);
    std::printf(
        "rows into a table of %d rows: recordset %.0f rows/s, plain prepared INSERT %.0f rows/s, "
        "ratio %.2f\n",
        existing, ours, plain, ours / plain);
    FillIdcomp(db, 0);
}

void Blob(CDatabase& db, bool throughRecordset) {
    constexpr std::uint32_t kBytes = 256U << 20;
    Exec(db, "DELETE FROM [tbadmin].[tb_tun]");
    const long before = PeakMiB();
    db.BeginTrans();
    const auto start = Clock::now();
    if (throughRecordset) {
        CTunSet set(&db);
        set.OpenTable();
        set.AddNew();
        set.m_te_chasnum = "BLOB";
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kBytes);
        {
            const CGlobalLock lock(block);
            std::memset(lock.data(), 0x5A, kBytes);
        }
        set.m_te_file.Reset(block, kBytes);
        set.SetFieldNull(&set.m_te_file, false);
        set.SetFieldDirty(&set.m_te_file, true);
        set.Update();
    } else {
        std::string bytes(kBytes, '\x5A');
        StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle());
        SQLLEN cell = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(kBytes));
        const SQLSMALLINT type = IsPostgres(db) ? SQL_LONGVARBINARY : SQL_BINARY;
        SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, type, kBytes, 0,
                         bytes.data(), 0, &cell);
        const CString sql = db.QuoteNames(
            "INSERT INTO [tbadmin].[tb_tun] ([te_chasnum],[te_file]) VALUES ('BLOB',?)");
        SQLRETURN rc = SQLExecDirect(stmt.get(), SqlChars(sql), SQL_NTS);
        SQLPOINTER token = nullptr;
        while (rc == SQL_NEED_DATA) {
            rc = SQLParamData(stmt.get(), &token);
            if (rc == SQL_NEED_DATA) {
                SQLPutData(stmt.get(), bytes.data(), static_cast<SQLLEN>(bytes.size()));
            }
        }
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt.get());
    }
    db.CommitTrans();
    const double seconds = Seconds(start);
    std::printf("256 MiB long binary %s: %.1f MB/s, %.2f s, peak memory %ld MiB (before %ld MiB)\n",
                throughRecordset ? "through CTunSet" : "through plain SQLPutData", 256.0 / seconds,
                seconds, PeakMiB(), before);
    Exec(db, "DELETE FROM [tbadmin].[tb_tun]");
}

HGLOBAL FilledBlock(std::uint32_t bytes, int fill) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) {
        throw CDBException(SQL_ERROR, "HY001", "Not enough memory for the benchmark's value");
    }
    const CGlobalLock lock(block);
    std::memset(lock.data(), fill, bytes);
    return block;
}

void BlobStatements(CDatabase& db) {
    constexpr std::uint32_t kBytes = 256U << 20;
    Exec(db, "DELETE FROM [tbadmin].[tb_tun]");
    db.BeginTrans();
    auto report = [](const char* what, Clock::time_point since) {
        std::printf("256 MiB %s: %.2f s\n", what, Seconds(since));
    };
    auto start = Clock::now();
    {
        CTunSet set(&db);
        set.OpenTable();
        set.AddNew();
        set.m_te_chasnum = "BLOB";
        set.m_te_file.Reset(FilledBlock(kBytes, 0x5A), kBytes);
        set.SetFieldNull(&set.m_te_file, false);
        set.SetFieldDirty(&set.m_te_file, true);
        set.Update();
    }
    report("added (INSERT)", start);
    {
        CTunSet set(&db);
        set.m_strFilter = "te_chasnum = 'BLOB'";
        start = Clock::now();
        set.Open();
        report("read (SELECT)", start);
        start = Clock::now();
        set.Edit();
        set.m_te_file.Reset(FilledBlock(kBytes, 0xA5), kBytes);
        set.SetFieldNull(&set.m_te_file, false);
        set.SetFieldDirty(&set.m_te_file, true);
        set.Update();
        report("changed in place (UPDATE naming the row)", start);
    }
    {
        CTunSet set(&db);
        start = Clock::now();
        set.DeleteByChassis("BLOB");
        report("deleted (SELECT, then DELETE naming the row)", start);
    }
    start = Clock::now();
    db.CommitTrans();
    report("committed", start);
    std::printf("query timeout %u s, peak memory %ld MiB\n", db.GetQueryTimeout(), PeakMiB());
}
}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "rows";
    try {
        CDatabase db;
        db.OpenEx(kConnect, CDatabase::noOdbcDialog);
        if (what == "rows") {
            Rows(db, 0);
        } else if (what == "rows-large") {
            Rows(db, 1000000);
        } else if (what == "blob") {
            Blob(db, true);
        } else if (what == "blob-plain") {
            Blob(db, false);
        } else if (what == "blob-statements") {
            if (argc > 2) {
                db.SetQueryTimeout(static_cast<unsigned>(std::stoul(argv[2])));
            }
            BlobStatements(db);
        } else {
            std::fprintf(
                stderr, "usage: recordset_bench rows|rows-large|blob|blob-plain|blob-statements\n");
            return 2;
        }
    } catch (const CDBException& error) {
        std::fprintf(stderr, "recordset_bench: %s\n", error.m_strError.GetString());
        return 1;
    }
    return 0;
}
