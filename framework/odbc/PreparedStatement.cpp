#include "framework/odbc/PreparedStatement.h"

#include <exception>
#include <utility>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CDatabase.h"

PreparedStatement::PreparedStatement(CDatabase& database, std::string key)
    : m_database(database),
      m_key(std::move(key)),
      m_stmt(database.TakeKept(m_key, m_text)),
      m_nUnwinding(std::uncaught_exceptions()) {}

PreparedStatement::PreparedStatement(CDatabase& database, const CString& text)
    : PreparedStatement(database, text.str()) {
    Prepare(text);
}

PreparedStatement::~PreparedStatement() {
    if (std::uncaught_exceptions() == m_nUnwinding) {
        m_database.HandBack(m_key, m_text, std::move(m_stmt));
    }
}

void PreparedStatement::Prepare(const CString& text) {
    if (m_text == text) {
        return;
    }
    // Not kept as anything until the driver took the new text.
    m_text.Empty();
    OdbcCheck(SQLPrepare(m_stmt.get(), SqlChars(text), SQL_NTS), SQL_HANDLE_STMT, m_stmt.get());
    m_text = text;
}
