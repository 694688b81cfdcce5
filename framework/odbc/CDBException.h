// The one database error: every failing ODBC call is raised as this, carrying
// the return code and all diagnostic records the driver gave.
#pragma once

#include <exception>
#include <vector>

#include "framework/CString.h"
#include "framework/odbc/Odbc.h"

class CDBException : public std::exception {
  public:
    struct Record {
        CString m_strSqlState;
        SQLINTEGER m_nNativeError = 0;
        CString m_strMessage;
    };

    // Collects the diagnostic records of the handle (none when handle is null).
    CDBException(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle);
    // An error found by the tool itself, not reported by a driver.
    CDBException(SQLRETURN retCode, const CString& sqlState, const CString& message);
    // The data source carried a change out without an error, yet did not
    // change the rows it was given: a general error (HY000), the way a driver
    // reports what it cannot class.
    [[nodiscard]] static CDBException RowsNotChanged(const CString& message);

    [[nodiscard]] const char* what() const noexcept override { return m_strError.GetString(); }
    // SQLSTATE of the first record, or empty.
    [[nodiscard]] CString SqlState() const;
    // The data source ended the transaction because it met another session's
    // (a serialization failure or a deadlock): nothing of it remains, and the
    // same work run again from the start may well commit.
    [[nodiscard]] bool IsTransactionConflict() const;

    SQLRETURN m_nRetCode;
    // The drivers' messages, one per line: the text a user is shown.
    CString m_strError;
    // "State:...,Native:...,Origin:..." for each record.
    CString m_strStateNativeOrigin;
    std::vector<Record> m_records;

  private:
    void Summarise();
};

// Raises CDBException unless retCode is SQL_SUCCESS or SQL_SUCCESS_WITH_INFO.
void OdbcCheck(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle);
