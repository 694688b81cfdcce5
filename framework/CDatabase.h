// One ODBC connection with its environment, and the transaction on it.
#pragma once

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

  private:
    bool EndTransaction(SQLSMALLINT completion);

    EnvHandle m_env;
    DbcHandle m_dbc;
    bool m_bInTransaction = false;
    char m_chIDQuote = '"';
};
