#include "framework/odbc/CDatabase.h"

#include <array>
#include <utility>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/SqlQuoting.h"

namespace {
// "[owner].[table]" as the catalog functions take it: owner (maybe empty) and table.
std::pair<CString, CString> SplitTableName(const CString& qualifiedTable) {
    CString owner;
    CString table;
    for (const char ch : qualifiedTable.str()) {
        if (ch == '.') {
            owner = table;
            table.Empty();
        } else if (ch != '[' && ch != ']' && ch != '"') {
            table += ch;
        }
    }
    return {owner, table};
}

// Measured: the SQLite driver prepares its statement again for every row of a
// parameter array, and psqlODBC sends an array in pieces of its BatchSize (100
// rows unless the connect string says otherwise); both take one statement of
// many rows in one preparation and one round trip. Other drivers get the
// standard arrays where they say they take them.
CRowBatch::Method ChooseBatchMethod(SQLHDBC dbc) {
    std::array<SQLCHAR, 64> name{};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, name.data(),
                                 static_cast<SQLSMALLINT>(name.size()), &length))) {
        const std::string dbms(reinterpret_cast<const char*>(name.data()));
        if (dbms == "SQLite" || dbms == "PostgreSQL") {
            return CRowBatch::multiRowValues;
        }
    }
    SQLUINTEGER counts = 0;
    return SQL_SUCCEEDED(
               SQLGetInfo(dbc, SQL_PARAM_ARRAY_ROW_COUNTS, &counts, sizeof counts, nullptr)) &&
                   counts != 0
               ? CRowBatch::parameterArrays
               : CRowBatch::rowAtATime;
}
}  // namespace

std::string LowerCase(std::string text) {
    for (char& ch : text) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return text;
}

CDatabase::~CDatabase() {
    Close();
}

bool CDatabase::OpenEx(const CString& connect, unsigned /*options*/) {
    // The cursor library is never loaded: the drivers in use scroll and fetch
    // long data themselves, and it breaks SQLGetData on them.
    Close();
    EnvHandle env = AllocOdbcHandle<SQL_HANDLE_ENV>(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    OdbcCheck(SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, env.get());
    DbcHandle dbc = AllocOdbcHandle<SQL_HANDLE_DBC>(SQL_HANDLE_ENV, env.get());
    std::array<SQLCHAR, 1024> completed{};
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc = SQLDriverConnect(
        dbc.get(), nullptr, SqlChars(connect), SQL_NTS, completed.data(),
        static_cast<SQLSMALLINT>(completed.size()), &completedLength, SQL_DRIVER_NOPROMPT);
    OdbcCheck(rc, SQL_HANDLE_DBC, dbc.get());

    // A driver that cannot say keeps the standard quote.
    std::array<SQLCHAR, 8> quote{};
    SQLSMALLINT quoteLength = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc.get(), SQL_IDENTIFIER_QUOTE_CHAR, quote.data(),
                                 static_cast<SQLSMALLINT>(quote.size()), &quoteLength)) &&
        quoteLength > 0) {
        m_chIDQuote = static_cast<char>(quote[0]);
    }
    m_env = std::move(env);
    m_dbc = std::move(dbc);
    m_nBatchMethod = ChooseBatchMethod(m_dbc.get());
    return true;
}

void CDatabase::Close() noexcept {
    if (!m_dbc) {
        m_env.reset();
        return;
    }
    if (m_bInTransaction) {
        // Nothing uncommitted may survive the connection.
        Rollback();
    }
    m_pendingRows.reset();
    m_kept.clear();
    m_quotedNames.clear();
    m_rowIdentifiers.clear();
    m_columnTypes.clear();
    m_bIsolationSet = false;
    m_bInTransaction = false;
    // Unchecked: nothing is left to keep, and a lost connection ends here too.
    SQLDisconnect(m_dbc.get());
    m_dbc.reset();
    m_env.reset();
}

bool CDatabase::BeginTrans() {
    if (!m_dbc || m_bInTransaction) {
        return false;
    }
    SQLUSMALLINT capable = SQL_TC_NONE;
    OdbcCheck(SQLGetInfo(m_dbc.get(), SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr),
              SQL_HANDLE_DBC, m_dbc.get());
    if (capable == SQL_TC_NONE) {
        throw CDBException(SQL_ERROR, "HYC00",
                           "The data source has no transactions, so an update could not be "
                           "written whole or not at all: nothing was written.");
    }
    if (!m_bIsolationSet) {
        SQLUINTEGER levels = 0;
        OdbcCheck(
            SQLGetInfo(m_dbc.get(), SQL_TXN_ISOLATION_OPTION, &levels, sizeof levels, nullptr),
            SQL_HANDLE_DBC, m_dbc.get());
        if ((levels & SQL_TXN_SERIALIZABLE) != 0) {
            OdbcCheck(SQLSetConnectAttr(m_dbc.get(), SQL_ATTR_TXN_ISOLATION,
                                        reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0),
                      SQL_HANDLE_DBC, m_dbc.get());
        }
        m_bIsolationSet = true;
    }
    OdbcCheck(SQLSetConnectAttr(m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, m_dbc.get());
    m_bInTransaction = true;
    return true;
}

bool CDatabase::CommitTrans() {
    if (!m_dbc || !m_bInTransaction) {
        return false;
    }
    SendPendingRows();
    // Kept statements go only after the commit: freeing one may talk to the
    // server, and a driver that finds the connection lost there forgets the
    // transaction and then reports a commit it never sent.
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), SQL_COMMIT);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error(rc, SQL_HANDLE_DBC, m_dbc.get());
        m_kept.clear();
        throw error;
    }
    if (ConnectionLost()) {
        // The driver answered without the server: nothing confirms the commit.
        m_kept.clear();
        throw CDBException(SQL_ERROR, "08S01",
                           "The connection to the data source was lost: the commit was not "
                           "confirmed.");
    }
    EndTransaction();
    return true;
}

bool CDatabase::Rollback() {
    if (!m_dbc || !m_bInTransaction) {
        return false;
    }
    m_pendingRows.reset();
    const bool ended = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), SQL_ROLLBACK));
    if (!ended) {
        // Still open as far as the driver knows: switching autocommit on now
        // would commit it. Closing the connection ends it.
        m_kept.clear();
        return false;
    }
    EndTransaction();
    return true;
}

void CDatabase::EndTransaction() noexcept {
    m_pendingRows.reset();
    // Drivers may drop prepared statements at the end of a transaction.
    m_kept.clear();
    // Unchecked: the transaction has ended either way; a connection left in
    // manual-commit mode keeps later statements in a transaction that the next
    // BeginTrans or Close ends.
    SQLSetConnectAttr(m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    m_bInTransaction = false;
}

bool CDatabase::CanBeginTrans() const {
    return m_dbc && !m_bInTransaction && !ConnectionLost();
}

bool CDatabase::ConnectionLost() const {
    // Asks the driver what it knows, without a round trip; a driver that cannot
    // say counts as connected.
    SQLUINTEGER dead = SQL_CD_FALSE;
    return SQL_SUCCEEDED(
               SQLGetConnectAttr(m_dbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
}

StmtHandle CDatabase::NewStatement() {
    StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, m_dbc.get());
    // ODBC takes the number of seconds in the pointer argument itself.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    auto* const seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_nQueryTimeout));
    OdbcCheck(SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, seconds, 0), SQL_HANDLE_STMT,
              stmt.get());
    return stmt;
}

CString CDatabase::QuoteNames(const CString& statement) const {
    // A run uses a few dozen statement texts, each once per line: rewrite each once.
    constexpr std::size_t kMostRemembered = 256;
    const auto known = m_quotedNames.find(statement.str());
    if (known != m_quotedNames.end()) {
        return known->second;
    }
    CString quoted = ReplaceBracketQuotes(statement, m_chIDQuote);
    if (m_quotedNames.size() >= kMostRemembered) {
        m_quotedNames.clear();
    }
    m_quotedNames.emplace(statement.str(), quoted);
    return quoted;
}

const std::vector<CString>& CDatabase::RowIdentifier(const CString& qualifiedTable) {
    const auto known = m_rowIdentifiers.find(qualifiedTable.str());
    if (known != m_rowIdentifiers.end()) {
        return known->second;
    }
    SendPendingRows();
    const auto [owner, table] = SplitTableName(qualifiedTable);
    // A driver that cannot name an identifier leaves rows named by their
    // values, which is always correct; a lost connection fails the next statement.
    std::vector<CString> columns;
    StmtHandle stmt = NewStatement();
    if (SQL_SUCCEEDED(SQLSpecialColumns(stmt.get(), SQL_BEST_ROWID, nullptr, 0,
                                        owner.IsEmpty() ? nullptr : SqlChars(owner),
                                        owner.IsEmpty() ? 0 : SQL_NTS, SqlChars(table), SQL_NTS,
                                        SQL_SCOPE_CURROW, SQL_NULLABLE))) {
        std::array<SQLCHAR, 256> name{};
        SQLLEN length = 0;
        while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
            if (SQL_SUCCEEDED(SQLGetData(stmt.get(), 2, SQL_C_CHAR, name.data(),
                                         static_cast<SQLLEN>(name.size()), &length)) &&
                length > 0) {
                columns.emplace_back(reinterpret_cast<const char*>(name.data()));
            }
        }
    }
    return m_rowIdentifiers.emplace(qualifiedTable.str(), std::move(columns)).first->second;
}

const std::map<std::string, SQLSMALLINT>& CDatabase::ColumnTypes(const CString& qualifiedTable) {
    const auto known = m_columnTypes.find(qualifiedTable.str());
    if (known != m_columnTypes.end()) {
        return known->second;
    }
    SendPendingRows();
    const auto [owner, table] = SplitTableName(qualifiedTable);
    std::map<std::string, SQLSMALLINT> types;
    StmtHandle stmt = NewStatement();
    OdbcCheck(SQLColumns(stmt.get(), nullptr, 0, owner.IsEmpty() ? nullptr : SqlChars(owner),
                         owner.IsEmpty() ? 0 : SQL_NTS, SqlChars(table), SQL_NTS, nullptr, 0),
              SQL_HANDLE_STMT, stmt.get());
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) {
            break;
        }
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt.get());
        std::array<SQLCHAR, 256> tableName{};
        std::array<SQLCHAR, 256> columnName{};
        SQLSMALLINT type = SQL_UNKNOWN_TYPE;
        SQLLEN length = 0;
        // The table name is a search pattern ('_' matches any character): only
        // the table's own columns count.
        OdbcCheck(SQLGetData(stmt.get(), 3, SQL_C_CHAR, tableName.data(),
                             static_cast<SQLLEN>(tableName.size()), &length),
                  SQL_HANDLE_STMT, stmt.get());
        OdbcCheck(SQLGetData(stmt.get(), 4, SQL_C_CHAR, columnName.data(),
                             static_cast<SQLLEN>(columnName.size()), &length),
                  SQL_HANDLE_STMT, stmt.get());
        OdbcCheck(SQLGetData(stmt.get(), 5, SQL_C_SSHORT, &type, 0, &length), SQL_HANDLE_STMT,
                  stmt.get());
        if (table == reinterpret_cast<const char*>(tableName.data())) {
            types[LowerCase(reinterpret_cast<const char*>(columnName.data()))] = type;
        }
    }
    return m_columnTypes.emplace(qualifiedTable.str(), std::move(types)).first->second;
}

StmtHandle CDatabase::TakeKept(const std::string& key, CString& preparedText) {
    const auto kept = m_kept.find(key);
    if (kept != m_kept.end()) {
        preparedText = kept->second.text;
        StmtHandle stmt = std::move(kept->second.stmt);
        m_kept.erase(kept);
        return stmt;
    }
    preparedText.Empty();
    return NewStatement();
}

void CDatabase::HandBack(const std::string& key, const CString& preparedText,
                         StmtHandle stmt) noexcept {
    constexpr std::size_t kMostKept = 32;
    if (!stmt || !m_dbc || preparedText.IsEmpty()) {
        return;
    }
    // A statement that cannot be reset is freed instead of kept: its parameters
    // may still point into a recordset that is going away.
    if (!SQL_SUCCEEDED(SQLFreeStmt(stmt.get(), SQL_CLOSE)) ||
        !SQL_SUCCEEDED(SQLFreeStmt(stmt.get(), SQL_RESET_PARAMS)) ||
        !SQL_SUCCEEDED(SQLFreeStmt(stmt.get(), SQL_UNBIND))) {
        return;
    }
    try {
        if (m_kept.size() >= kMostKept) {
            auto oldest = m_kept.begin();
            for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
                if (it->second.keptAt < oldest->second.keptAt) {
                    oldest = it;
                }
            }
            m_kept.erase(oldest);
        }
        m_kept.emplace(key, KeptStatement{preparedText, std::move(stmt), ++m_nKeptCount});
    } catch (...) {  // NOLINT(bugprone-empty-catch): not kept, only freed
    }
}

bool CDatabase::HoldRow(const std::string& key, const std::function<CString()>& head,
                        const CRowBatch::Row& row) {
    if (!HoldsRows()) {
        return false;
    }
    if (m_pendingRows && (m_pendingRows->Key() != key || !m_pendingRows->Takes(row))) {
        SendPendingRows();
    }
    if (!m_pendingRows) {
        auto batch = std::make_unique<CRowBatch>(key, head(), m_nBatchMethod);
        if (!batch->Takes(row)) {
            return false;
        }
        m_pendingRows = std::move(batch);
    }
    m_pendingRows->Add(row);
    if (m_pendingRows->Full()) {
        SendPendingRows();
    }
    return true;
}

void CDatabase::SendPendingRows() {
    if (!m_pendingRows) {
        return;
    }
    // Taken off first: a batch that fails is gone, and sending it runs no
    // statement that would send it again.
    const std::unique_ptr<CRowBatch> batch = std::move(m_pendingRows);
    batch->Send(*this);
}
