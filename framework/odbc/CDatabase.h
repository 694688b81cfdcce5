// One ODBC connection with its environment, and the transaction on it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/CString.h"
#include "framework/odbc/CRowBatch.h"
#include "framework/odbc/OdbcHandle.h"

// ASCII letters in lower case: how column names are matched.
[[nodiscard]] std::string LowerCase(std::string text);

class CDatabase {
  public:
    enum OpenOptions : unsigned {
        openReadOnly = 0x0002,
        useCursorLib = 0x0004,
        noOdbcDialog = 0x0008,
    };

    CDatabase() = default;
    // Closes the connection; an open transaction is rolled back first.
    ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Connects from the string alone (never prompts); raises CDBException when refused.
    bool OpenEx(const CString& connect, unsigned options = 0);
    // Rolls back an open transaction, then disconnects. Never throws.
    void Close() noexcept;
    [[nodiscard]] bool IsOpen() const { return m_dbc != nullptr; }

    // From here on every statement belongs to one transaction, at serializable
    // isolation where the driver offers it, so that two sessions writing the same
    // rows never both commit. False when no connection is open or a transaction
    // already is; raises CDBException when the data source has no transactions or
    // refuses one: it never carries on committing statement by statement.
    bool BeginTrans();
    // Ends the transaction, then returns to autocommit (switching autocommit back
    // on with a transaction open would commit it). Raises CDBException unless the
    // data source confirms the commit; the transaction then stays open for the
    // rollback. False when no transaction is open.
    bool CommitTrans();
    // Never throws; false when nothing was open or the data source did not confirm.
    bool Rollback();
    [[nodiscard]] bool InTransaction() const { return m_bInTransaction; }
    // Connected, no transaction open, and the driver has not found the
    // connection lost: a new transaction may begin on it.
    [[nodiscard]] bool CanBeginTrans() const;

    // The longest one statement may run, waiting on another session's locks
    // included; it then fails with the driver's text. A driver that ignores it
    // bounds lock waits by its own setting (see the README).
    static constexpr unsigned kDefaultQueryTimeout = 60;
    void SetQueryTimeout(unsigned seconds) { m_nQueryTimeout = seconds; }
    [[nodiscard]] unsigned GetQueryTimeout() const { return m_nQueryTimeout; }
    // A new statement on the connection, its query timeout set.
    StmtHandle NewStatement();

    // The statement with its bracketed names quoted for this driver.
    [[nodiscard]] CString QuoteNames(const CString& statement) const;
    [[nodiscard]] SQLHDBC GetConnectHandle() const { return m_dbc.get(); }
    [[nodiscard]] char IdentifierQuoteChar() const { return m_chIDQuote; }

    // The columns of the driver's best row identifier for "[owner].[table]"
    // (empty when it has none), asked once per table and connection.
    const std::vector<CString>& RowIdentifier(const CString& qualifiedTable);
    // The SQL type of each column of "[owner].[table]" by its name in lower case,
    // from the catalog (which no other session's lock holds up), asked once per
    // table and connection.
    const std::map<std::string, SQLSMALLINT>& ColumnTypes(const CString& qualifiedTable);

    // Rows added inside a transaction may be held back and sent in batches
    // (CRowBatch), the way this driver takes many rows best (chosen when
    // connecting, by measurement: see docs/speed.md).
    [[nodiscard]] CRowBatch::Method BatchMethod() const { return m_nBatchMethod; }
    void SetBatchMethod(CRowBatch::Method method) { m_nBatchMethod = method; }
    // True when a row added now may be held back.
    [[nodiscard]] bool HoldsRows() const {
        return m_bInTransaction && m_nBatchMethod != CRowBatch::rowAtATime;
    }
    // Holds the row of the INSERT that key names (head gives its text up to
    // VALUES, asked only for a new batch); a batch of another INSERT is sent
    // first, and a full one at once. False when the row cannot join a batch:
    // the caller then executes it itself.
    bool HoldRow(const std::string& key, const std::function<CString()>& head,
                 const CRowBatch::Row& row);
    // Sends the rows held back, if any. Every statement run on the connection
    // calls it first, and so does the commit; a refused row raises CDBException.
    void SendPendingRows();

  private:
    // Statements stay prepared for reuse within a transaction, taken and
    // handed back by PreparedStatement alone.
    friend class PreparedStatement;
    struct KeptStatement {
        CString text;
        StmtHandle stmt;
        std::uint64_t keptAt;  // the longest unused goes first when the room is full
    };

    // The statement kept under key (preparedText then holds its text) or a new
    // one (preparedText empty).
    StmtHandle TakeKept(const std::string& key, CString& preparedText);
    // Keeps stmt under key with its cursor closed and its parameters unbound;
    // one without a prepared text is freed.
    void HandBack(const std::string& key, const CString& preparedText, StmtHandle stmt) noexcept;
    // Back to autocommit after the transaction ended.
    void EndTransaction() noexcept;
    [[nodiscard]] bool ConnectionLost() const;

    EnvHandle m_env;
    DbcHandle m_dbc;
    bool m_bInTransaction = false;
    bool m_bIsolationSet = false;  // the isolation is set once per connection
    unsigned m_nQueryTimeout = kDefaultQueryTimeout;
    char m_chIDQuote = '"';
    std::map<std::string, std::vector<CString>> m_rowIdentifiers;
    std::map<std::string, std::map<std::string, SQLSMALLINT>> m_columnTypes;
    std::multimap<std::string, KeptStatement> m_kept;
    mutable std::unordered_map<std::string, CString> m_quotedNames;  // text -> driver's quotes
    std::uint64_t m_nKeptCount = 0;
    CRowBatch::Method m_nBatchMethod = CRowBatch::rowAtATime;
    std::unique_ptr<CRowBatch> m_pendingRows;  // dies with the transaction
};
