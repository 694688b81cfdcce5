#include "framework/odbc/CDBException.h"

#include <array>

#include "framework/odbc/Odbc.h"
#include "framework/odbc/OdbcHandle.h"

CDBException::CDBException(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle)
    : m_nRetCode(retCode) {
    if (handle != nullptr) {
        for (SQLSMALLINT index = 1;; ++index) {
            std::array<SQLCHAR, 6> state{};
            SQLINTEGER native = 0;
            SQLSMALLINT length = 0;
            // Ask for the message length first: driver texts can be long.
            SQLRETURN rc = SQLGetDiagRec(handleType, handle, index, state.data(), &native, nullptr,
                                         0, &length);
            if (!SQL_SUCCEEDED(rc)) {
                break;
            }
            std::vector<SQLCHAR> message(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRec(handleType, handle, index, state.data(), &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
            if (!SQL_SUCCEEDED(rc)) {
                break;
            }
            m_records.push_back({CString(reinterpret_cast<const char*>(state.data())), native,
                                 CString(reinterpret_cast<const char*>(message.data()))});
        }
    }
    if (m_records.empty()) {
        m_records.push_back({"HY000", 0,
                             retCode == SQL_INVALID_HANDLE
                                 ? "Invalid ODBC handle"
                                 : "ODBC call failed without a diagnostic"});
    }
    Summarise();
}

CDBException::CDBException(SQLRETURN retCode, const CString& sqlState, const CString& message)
    : m_nRetCode(retCode) {
    m_records.push_back({sqlState, 0, message});
    Summarise();
}

CDBException CDBException::RowsNotChanged(const CString& message) {
    return {SQL_ERROR, "HY000", message};
}

void CDBException::Summarise() {
    for (const Record& record : m_records) {
        if (!m_strError.IsEmpty()) {
            m_strError += '\n';
            m_strStateNativeOrigin += '\n';
        }
        m_strError += record.m_strMessage;
        CString line;
        line.Format("State:%s,Native:%ld,Origin:%s", record.m_strSqlState.GetString(),
                    static_cast<long>(record.m_nNativeError), record.m_strMessage.GetString());
        m_strStateNativeOrigin += line;
    }
}

CString CDBException::SqlState() const {
    return m_records.empty() ? CString() : m_records.front().m_strSqlState;
}

bool CDBException::IsTransactionConflict() const {
    // Class 40 (transaction rollback): 40001 serialization failure, 40P01 deadlock.
    // Other kinds of rollback (a lost connection, a refused commit) are no conflict.
    for (const Record& record : m_records) {
        if (record.m_strSqlState == "40001" || record.m_strSqlState == "40P01") {
            return true;
        }
    }
    return false;
}

void OdbcCheck(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle) {
    if (!SQL_SUCCEEDED(retCode)) {
        throw CDBException(retCode, handleType, handle);
    }
}

template <SQLSMALLINT HandleType>
OdbcHandle<HandleType> AllocOdbcHandle(SQLSMALLINT parentType, SQLHANDLE parent) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(HandleType, parent, &handle);
    if (!SQL_SUCCEEDED(rc)) {
        throw CDBException(rc, parentType, parent);
    }
    return OdbcHandle<HandleType>(handle);
}

template EnvHandle AllocOdbcHandle<SQL_HANDLE_ENV>(SQLSMALLINT, SQLHANDLE);
template DbcHandle AllocOdbcHandle<SQL_HANDLE_DBC>(SQLSMALLINT, SQLHANDLE);
template StmtHandle AllocOdbcHandle<SQL_HANDLE_STMT>(SQLSMALLINT, SQLHANDLE);
