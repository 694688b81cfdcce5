#include "framework/CDatabase.h"

#include <array>

#include "framework/CDBException.h"
#include "framework/SqlQuoting.h"

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

    std::array<SQLCHAR, 8> quote{};
    SQLSMALLINT quoteLength = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc.get(), SQL_IDENTIFIER_QUOTE_CHAR, quote.data(),
                                 static_cast<SQLSMALLINT>(quote.size()), &quoteLength)) &&
        quoteLength > 0) {
        m_chIDQuote = static_cast<char>(quote[0]);
    }
    m_env = std::move(env);
    m_dbc = std::move(dbc);
    return true;
}

void CDatabase::Close() noexcept {
    if (!m_dbc) {
        m_env.reset();
        return;
    }
    if (m_bInTransaction) {
        // Nothing uncommitted may survive the connection.
        EndTransaction(SQL_ROLLBACK);
    }
    m_kept.clear();
    m_rowIdentifiers.clear();
    SQLDisconnect(m_dbc.get());
    m_dbc.reset();
    m_env.reset();
}

bool CDatabase::BeginTrans() {
    if (!m_dbc || m_bInTransaction) {
        return false;
    }
    const SQLRETURN rc = SQLSetConnectAttr(m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    m_bInTransaction = SQL_SUCCEEDED(rc);
    return m_bInTransaction;
}

bool CDatabase::CommitTrans() {
    return EndTransaction(SQL_COMMIT);
}

bool CDatabase::Rollback() {
    return EndTransaction(SQL_ROLLBACK);
}

bool CDatabase::EndTransaction(SQLSMALLINT completion) {
    if (!m_dbc || !m_bInTransaction) {
        return false;
    }
    // Drivers may drop prepared statements at the end of a transaction.
    m_kept.clear();
    const bool ended = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), completion));
    if (!ended) {
        // Still open: switching autocommit on now would commit it.
        return false;
    }
    SQLSetConnectAttr(m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    m_bInTransaction = false;
    return ended;
}

CString CDatabase::QuoteNames(const CString& statement) const {
    return ReplaceBracketQuotes(statement, m_chIDQuote);
}

const std::vector<CString>& CDatabase::RowIdentifier(const CString& qualifiedTable) {
    const auto known = m_rowIdentifiers.find(qualifiedTable.str());
    if (known != m_rowIdentifiers.end()) {
        return known->second;
    }
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
    std::vector<CString> columns;
    StmtHandle stmt = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, m_dbc.get());
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

StmtHandle CDatabase::TakeStatement(const std::string& key, CString& preparedText) {
    const auto kept = m_kept.find(key);
    if (kept != m_kept.end()) {
        preparedText = kept->second.text;
        StmtHandle stmt = std::move(kept->second.stmt);
        m_kept.erase(kept);
        return stmt;
    }
    preparedText.Empty();
    return AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, m_dbc.get());
}

void CDatabase::KeepStatement(const std::string& key, const CString& preparedText,
                              StmtHandle stmt) noexcept {
    constexpr std::size_t kMostKept = 32;
    if (!stmt || !m_dbc || preparedText.IsEmpty()) {
        return;
    }
    SQLFreeStmt(stmt.get(), SQL_CLOSE);
    SQLFreeStmt(stmt.get(), SQL_RESET_PARAMS);
    SQLFreeStmt(stmt.get(), SQL_UNBIND);
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
