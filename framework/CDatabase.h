// One ODBC connection with its environment, and the transaction on it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "framework/OdbcHandle.h"

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

    // Switch autocommit off: from here on every statement belongs to one transaction.
    bool BeginTrans();
    // End the transaction first, then return to autocommit (switching autocommit
    // back on with a transaction open would commit it).
    bool CommitTrans();
    bool Rollback();
    [[nodiscard]] bool InTransaction() const { return m_bInTransaction; }

    // The statement with its bracketed names quoted for this driver.
    [[nodiscard]] CString QuoteNames(const CString& statement) const;
    [[nodiscard]] SQLHDBC GetConnectHandle() const { return m_dbc.get(); }
    [[nodiscard]] char IdentifierQuoteChar() const { return m_chIDQuote; }

    // The columns of the driver's best row identifier for "[owner].[table]"
    // (empty when it has none), asked once per table and connection.
    const std::vector<CString>& RowIdentifier(const CString& qualifiedTable);

    // Statements stay prepared for reuse within a transaction. TakeStatement
    // gives one kept under key (preparedText then holds its text) or a new one
    // (preparedText empty); KeepStatement hands it back with its cursor closed
    // and its parameters unbound.
    StmtHandle TakeStatement(const std::string& key, CString& preparedText);
    void KeepStatement(const std::string& key, const CString& preparedText,
                       StmtHandle stmt) noexcept;

  private:
    struct KeptStatement {
        CString text;
        StmtHandle stmt;
        std::uint64_t keptAt;  // the longest unused goes first when the room is full
    };

    bool EndTransaction(SQLSMALLINT completion);

    EnvHandle m_env;
    DbcHandle m_dbc;
    bool m_bInTransaction = false;
    char m_chIDQuote = '"';
    std::map<std::string, std::vector<CString>> m_rowIdentifiers;
    std::multimap<std::string, KeptStatement> m_kept;
    std::uint64_t m_nKeptCount = 0;
};
