#include "framework/CTransaction.h"

#include "framework/CDBException.h"

void CTransaction::Commit() {
    if (!m_bOpen) {
        return;  // a data source without transactions has committed every write already
    }
    if (!m_database.CommitTrans()) {
        throw CDBException(SQL_ERROR, SQL_HANDLE_DBC, m_database.GetConnectHandle());
    }
    m_bOpen = false;
}

void CTransaction::Rollback() noexcept {
    if (m_bOpen) {
        m_database.Rollback();
        m_bOpen = false;
    }
}
