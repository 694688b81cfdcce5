// A statement the connection keeps prepared for reuse within a transaction.
// It is taken from the connection under a key, prepared again only when its
// text changed, and handed back when it goes out of scope; one that goes while
// an exception unwinds is freed instead, its state after the failure unknown.
#pragma once

#include <string>

#include "framework/CString.h"
#include "framework/odbc/OdbcHandle.h"

class CDatabase;

class PreparedStatement {
  public:
    // The statement kept under key, or a new one not yet prepared.
    PreparedStatement(CDatabase& database, std::string key);
    // The statement kept under its text, prepared as text.
    PreparedStatement(CDatabase& database, const CString& text);
    ~PreparedStatement();
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    // The text it is prepared as; empty for a new statement.
    [[nodiscard]] const CString& Text() const { return m_text; }
    // Prepares text unless the statement is prepared as that already.
    void Prepare(const CString& text);
    [[nodiscard]] SQLHSTMT get() const { return m_stmt.get(); }

  private:
    CDatabase& m_database;
    std::string m_key;
    CString m_text;
    StmtHandle m_stmt;
    int m_nUnwinding;  // exceptions in flight when it was taken
};
