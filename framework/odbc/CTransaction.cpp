#include "framework/odbc/CTransaction.h"

#include "framework/CUsageError.h"

CTransaction::CTransaction(CDatabase& database) : m_database(database) {
    if (!m_database.BeginTrans()) {
        throw CUsageError("A transaction needs an open connection without one already open");
    }
    m_bOpen = true;
}

void CTransaction::Commit() {
    if (m_bOpen) {
        m_database.CommitTrans();
        m_bOpen = false;
    }
}

void CTransaction::Rollback() noexcept {
    if (m_bOpen) {
        m_database.Rollback();
        m_bOpen = false;
    }
}
