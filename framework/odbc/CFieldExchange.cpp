#include "framework/odbc/CFieldExchange.h"

#include <array>
#include <new>
#include <utility>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CRecordset.h"

CFieldExchange::CFieldExchange(unsigned operation, CRecordset* recordset)
    : m_nOperation(operation), m_prs(recordset) {}

SQLLEN* RecordsetFields::GetFieldLengthBuffer(unsigned nFieldIndex, unsigned nFieldType) const {
    return m_recordset.GetFieldLengthBuffer(nFieldIndex, nFieldType);
}
bool RecordsetFields::IsFieldStatusDirty(unsigned nFieldIndex) const {
    return m_recordset.IsFieldStatusDirty(nFieldIndex);
}
bool RecordsetFields::IsFieldStatusNull(unsigned nFieldIndex) const {
    return m_recordset.IsFieldStatusNull(nFieldIndex);
}
void RecordsetFields::SetDirtyFieldStatus(unsigned nFieldIndex) const {
    m_recordset.SetDirtyFieldStatus(nFieldIndex);
}
void RecordsetFields::SetNullFieldStatus(unsigned nFieldIndex) const {
    m_recordset.SetNullFieldStatus(nFieldIndex);
}
void RecordsetFields::ClearNullFieldStatus(unsigned nFieldIndex) const {
    m_recordset.ClearNullFieldStatus(nFieldIndex);
}
void RecordsetFields::MapField(const void* member, unsigned nField) const {
    m_recordset.m_mapFieldIndex[member] = nField;
}
SQLSMALLINT RecordsetFields::GetColumnSqlType(unsigned nField) const {
    return m_recordset.GetColumnSqlType(nField);
}
void RecordsetFields::RegisterField(unsigned nField, const char* szName, int nCType) const {
    m_recordset.RegisterField(nField, szName, nCType);
}
void RecordsetFields::SetRowKey(unsigned nField, const char* text, std::size_t length) const {
    m_recordset.SetRowKey(nField, text, length);
}
bool RecordsetFields::NamesRowsByValue() const {
    return m_recordset.NamesRowsByValue();
}
bool RecordsetFields::ReadsLongBinaries() const {
    return m_recordset.ReadsLongBinaries();
}
void RecordsetFields::SetCachedValue(unsigned nField, std::string value) const {
    m_recordset.SetCachedValue(nField, std::move(value));
}
const std::string& RecordsetFields::GetCachedValue(unsigned nField) const {
    return m_recordset.GetCachedValue(nField);
}
SQLHSTMT RecordsetFields::GetResultStatement() const {
    return m_recordset.GetResultStatement();
}

bool CFieldExchange::IsFieldType(unsigned* pnField) {
    const bool paramPass = m_nOperation == BindParam || m_nOperation == RebindParam;
    if (m_nFieldType == param) {
        // The filter's markers take the first m_nParams parameter fields, in order.
        *pnField = ++m_nParams;
        return paramPass && *pnField <= m_prs->m_nParams;
    }
    if (m_nFieldType != outputColumn) {
        *pnField = 0;
        return false;
    }
    *pnField = ++m_nFields;
    return !paramPass;
}

void CFieldExchange::Default(const char* szName, void* /*pv*/, SQLLEN* /*plLength*/, int nCType,
                             std::size_t /*cbValue*/, std::size_t /*cbPrecision*/) {
    if (m_nOperation != Name) {
        return;
    }
    Fields().RegisterField(m_nFields, szName, nCType);
    if (m_pstr != nullptr && (!m_bDirtyNamesOnly || Fields().IsFieldStatusDirty(m_nFields - 1))) {
        *m_pstr += szName;
        *m_pstr += m_lpszSeparator;
    }
}

SQLLEN CFieldExchange::GetLongBinarySize(int nField) {
    std::array<unsigned char, 1> probe{};
    SQLLEN length = 0;
    const SQLRETURN rc =
        SQLGetData(Fields().GetResultStatement(), static_cast<SQLUSMALLINT>(nField), SQL_C_BINARY,
                   probe.data(), 0, &length);
    OdbcCheck(rc, SQL_HANDLE_STMT, Fields().GetResultStatement());
    return length;
}

void CFieldExchange::GetLongBinaryData(int nField, CLongBinary& value, SQLLEN* plSize) {
    constexpr std::size_t kChunk = 1 << 16;
    std::size_t capacity = *plSize > 0 ? static_cast<std::size_t>(*plSize) : kChunk;
    auto grow = [&value](std::size_t bytes) {
        HGLOBAL block = value.m_hData != nullptr ? GlobalReAlloc(value.m_hData, bytes, 0)
                                                 : GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        value.m_hData = block;
    };
    grow(capacity);
    std::size_t got = 0;
    SQLHSTMT stmt = Fields().GetResultStatement();
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQL_SUCCESS;
        {
            const CGlobalLock lock(value.m_hData);
            rc = SQLGetData(stmt, static_cast<SQLUSMALLINT>(nField), SQL_C_BINARY,
                            static_cast<unsigned char*>(lock.data()) + got,
                            static_cast<SQLLEN>(capacity - got), &indicator);
        }
        if (rc == SQL_NO_DATA) {
            break;
        }
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA) {
            got = 0;
            break;
        }
        if (rc == SQL_SUCCESS) {
            got += static_cast<std::size_t>(indicator);
            break;
        }
        // Truncated: the buffer is full and the indicator says what was left before this call.
        const std::size_t before = got;
        got = capacity;
        capacity =
            indicator == SQL_NO_TOTAL ? capacity * 2 : before + static_cast<std::size_t>(indicator);
        if (capacity <= got) {
            capacity = got + kChunk;
        }
        grow(capacity);
    }
    if (got != GlobalSize(value.m_hData)) {
        grow(got);
    }
    value.m_dwDataLength = static_cast<std::uint32_t>(got);
    *plSize = static_cast<SQLLEN>(got);
}
