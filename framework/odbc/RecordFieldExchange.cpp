#include "framework/odbc/RecordFieldExchange.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/CUsageError.h"
#include "framework/odbc/CDBException.h"
#include "framework/odbc/CRecordset.h"
#include "framework/odbc/Odbc.h"

namespace {
constexpr std::uint32_t kLengthCap = 2147483547U;  // largest int32 minus 100

// MarkForAddNew: a member holding a value is written. MarkForUpdate: a member
// whose value changed is written, an emptied one as NULL.
void MarkField(CFieldExchange* pFX, unsigned index, bool holdsNull, bool changed) {
    CRecordset* rs = pFX->m_prs;
    if (pFX->m_nOperation == CFieldExchange::MarkForAddNew) {
        if (!holdsNull) {
            rs->SetDirtyFieldStatus(index);
            rs->ClearNullFieldStatus(index);
        }
        return;
    }
    if (changed) {
        rs->SetDirtyFieldStatus(index);
    }
    if (holdsNull) {
        rs->SetNullFieldStatus(index);
    } else {
        rs->ClearNullFieldStatus(index);
    }
}

void ReadText(CFieldExchange* pFX, unsigned nField, CString& value) {
    CRecordset* rs = pFX->m_prs;
    std::optional<std::string> fetched =
        GetColumnText(rs->GetResultStatement(), static_cast<SQLUSMALLINT>(nField));
    if (!fetched) {
        value.Empty();
        rs->SetNullFieldStatus(nField - 1);
        rs->SetRowKey(nField, nullptr, 0);
        return;
    }
    const std::string& text = *fetched;
    value = CString(text);
    rs->ClearNullFieldStatus(nField - 1);
    rs->SetRowKey(nField, text.data(), text.size());
}

template <typename Integer>
void ExchangeInteger(CFieldExchange* pFX, const char* szName, Integer& value) {
    static_assert(sizeof(Integer) == sizeof(SQLINTEGER), "exchanged as a 32-bit integer");
    unsigned nField = 0;
    if (!pFX->IsFieldType(&nField)) {
        return;
    }
    CRecordset* rs = pFX->m_prs;
    const unsigned index = nField - 1;
    SQLLEN* length = rs->GetFieldLengthBuffer(index, pFX->m_nFieldType);
    switch (pFX->m_nOperation) {
        case CFieldExchange::Name:
            pFX->Default(szName, &value, length, SQL_C_SLONG, sizeof(value), 10);
            return;
        case CFieldExchange::BindFieldToColumn:
            rs->m_mapFieldIndex[&value] = nField;
            return;
        case CFieldExchange::Fixup: {
            SQLINTEGER fetched = 0;
            SQLLEN indicator = 0;
            const SQLRETURN rc =
                SQLGetData(rs->GetResultStatement(), static_cast<SQLUSMALLINT>(nField), SQL_C_SLONG,
                           &fetched, 0, &indicator);
            OdbcCheck(rc, SQL_HANDLE_STMT, rs->GetResultStatement());
            if (indicator == SQL_NULL_DATA) {
                value = kIntegerWhileNull;
                rs->SetNullFieldStatus(index);
                rs->SetRowKey(nField, nullptr, 0);
            } else {
                value = static_cast<Integer>(fetched);
                rs->ClearNullFieldStatus(index);
                const std::string text = std::to_string(fetched);
                rs->SetRowKey(nField, text.data(), text.size());
            }
            return;
        }
        case CFieldExchange::MarkForAddNew:
        case CFieldExchange::MarkForUpdate:
            MarkField(pFX, index, rs->IsFieldStatusNull(index) && value == kIntegerWhileNull,
                      std::to_string(value) != rs->GetCachedValue(nField));
            return;
        case CFieldExchange::BindParam:
        case CFieldExchange::RebindParam:
        case CFieldExchange::NameValue:
        case CFieldExchange::Value: {
            const bool key = pFX->m_nFieldType == CFieldExchange::param;
            if (!key && !rs->IsFieldStatusDirty(index)) {
                return;
            }
            *length = !key && rs->IsFieldStatusNull(index) ? SQL_NULL_DATA : 0;
            BindInput(pFX, key ? nField : AppendParamMarker(pFX, szName), SQL_C_SLONG, SQL_INTEGER,
                      0, 0, &value, 0, length);
            return;
        }
        case CFieldExchange::SetFieldNull:
            if (ApplySetFieldNull(pFX, &value, index, length, sizeof(value))) {
                value = kIntegerWhileNull;
            }
            return;
        case CFieldExchange::StoreField:
            rs->SetCachedValue(nField, std::to_string(value));
            return;
        case CFieldExchange::LoadField:
            value = static_cast<Integer>(std::stol(rs->GetCachedValue(nField)));
            return;
        default:
            return;
    }
}

// A copy of what BindInput would bind, for a row that joins a batch.
void CollectInput(CRowBatch::Row& row, unsigned param, CRowBatch::Value value, const void* buffer,
                  SQLLEN length) {
    value.isNull = length == SQL_NULL_DATA;
    if (!value.isNull) {
        std::size_t size = 0;
        if (value.cType == SQL_C_CHAR || value.cType == SQL_C_BINARY) {
            size = length == SQL_NTS ? std::strlen(static_cast<const char*>(buffer))
                                     : static_cast<std::size_t>(length);
        } else if (value.cType == SQL_C_SLONG) {
            size = sizeof(SQLINTEGER);
        } else {
            throw CUsageError("A value of this type cannot join a batch of rows");
        }
        value.bytes.assign(static_cast<const char*>(buffer), size);
    }
    if (row.size() < param) {
        row.resize(param);
    }
    row[param - 1] = std::move(value);
}
}  // namespace

void BindInput(CFieldExchange* pFX, unsigned param, SQLSMALLINT cType, SQLSMALLINT sqlType,
               SQLULEN columnSize, SQLSMALLINT scale, void* value, SQLLEN bufferLength,
               SQLLEN* length) {
    if (pFX->m_pRow != nullptr) {
        CollectInput(*pFX->m_pRow, param, {cType, sqlType, columnSize, scale, {}, false}, value,
                     *length);
        return;
    }
    const SQLRETURN rc =
        SQLBindParameter(pFX->m_hstmt, static_cast<SQLUSMALLINT>(param), SQL_PARAM_INPUT, cType,
                         sqlType, columnSize, scale, value, bufferLength, length);
    OdbcCheck(rc, SQL_HANDLE_STMT, pFX->m_hstmt);
}

SQLUSMALLINT AppendParamMarker(CFieldExchange* pFX, const char* szName) {
    if (pFX->m_pstr == nullptr) {
        return static_cast<SQLUSMALLINT>(++pFX->m_nParamFields);
    }
    if (pFX->m_nOperation == CFieldExchange::NameValue) {
        *pFX->m_pstr += szName;
        *pFX->m_pstr += "=";
    }
    *pFX->m_pstr += "?";
    *pFX->m_pstr += pFX->m_lpszSeparator;
    return static_cast<SQLUSMALLINT>(++pFX->m_nParamFields);
}

std::optional<std::string> GetColumnText(SQLHSTMT stmt, SQLUSMALLINT column) {
    std::string text;
    std::vector<char> chunk(512);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, chunk.data(),
                                        static_cast<SQLLEN>(chunk.size()), &indicator);
        if (rc == SQL_NO_DATA) {
            break;
        }
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO &&
            (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(chunk.size()));
        text.append(chunk.data(),
                    truncated ? chunk.size() - 1 : static_cast<std::size_t>(indicator));
        if (!truncated) {
            break;
        }
    }
    return text;
}

bool ApplySetFieldNull(CFieldExchange* pFX, const void* member, unsigned nFieldIndex,
                       SQLLEN* plLength, SQLLEN notNullLength) {
    const bool targeted =
        (pFX->m_pvField == nullptr && pFX->m_nFieldType == CFieldExchange::outputColumn) ||
        pFX->m_pvField == member;
    if (!targeted) {
        return false;
    }
    if (pFX->m_bField) {
        pFX->m_prs->SetNullFieldStatus(nFieldIndex);
        *plLength = SQL_NULL_DATA;
        return true;
    }
    pFX->m_prs->ClearNullFieldStatus(nFieldIndex);
    *plLength = notNullLength;
    return false;
}

SQLLEN CappedDataAtExecLength(std::uint32_t dataLength) {
    const SQLLEN capped = dataLength > kLengthCap ? kLengthCap : dataLength;
    return SQL_LEN_DATA_AT_EXEC(capped);
}

void FixupLongBinary(CFieldExchange* pFX, unsigned nField, CLongBinary& value, SQLLEN* plLength) {
    CRecordset* rs = pFX->m_prs;
    if (!rs->ReadsLongBinaries()) {
        *plLength = 0;
        rs->SetNullFieldStatus(nField - 1);
        return;
    }
    *plLength = pFX->GetLongBinarySize(static_cast<int>(nField));
    const bool isNull = *plLength == SQL_NULL_DATA;
    if (*plLength != 0 && !isNull) {
        pFX->GetLongBinaryData(static_cast<int>(nField), value, plLength);
    }
    if (isNull || *plLength == 0) {
        value.m_dwDataLength = 0;
        rs->SetNullFieldStatus(nField - 1);
    } else {
        rs->ClearNullFieldStatus(nField - 1);
    }
    if (!rs->NamesRowsByValue()) {
        return;
    }
    // The bytes as read name the row, whatever later becomes of the member; an
    // empty value is not NULL there.
    if (isNull) {
        rs->SetRowKey(nField, nullptr, 0);
    } else if (value.m_dwDataLength == 0) {
        rs->SetRowKey(nField, "", 0);
    } else {
        const CGlobalLock lock(value.m_hData);
        rs->SetRowKey(nField, static_cast<const char*>(lock.data()), value.m_dwDataLength);
    }
}

void RFX_Text(CFieldExchange* pFX, const char* szName, CString& value, int nMaxLength,
              int nColumnType, short nScale) {
    unsigned nField = 0;
    if (!pFX->IsFieldType(&nField)) {
        return;
    }
    CRecordset* rs = pFX->m_prs;
    const unsigned index = nField - 1;
    SQLLEN* length = rs->GetFieldLengthBuffer(index, pFX->m_nFieldType);
    switch (pFX->m_nOperation) {
        case CFieldExchange::Name:
            pFX->Default(szName, &value, length, SQL_C_CHAR, static_cast<std::size_t>(nMaxLength),
                         static_cast<std::size_t>(nMaxLength));
            return;
        case CFieldExchange::BindFieldToColumn:
            rs->m_mapFieldIndex[&value] = nField;
            return;
        case CFieldExchange::Fixup:
            ReadText(pFX, nField, value);
            return;
        case CFieldExchange::MarkForAddNew:
        case CFieldExchange::MarkForUpdate:
            MarkField(pFX, index, value.IsEmpty(), value.str() != rs->GetCachedValue(nField));
            return;
        case CFieldExchange::BindParam:
        case CFieldExchange::RebindParam:
        case CFieldExchange::NameValue:
        case CFieldExchange::Value: {
            // A key goes as the bytes it is, whatever its length: a longer one
            // simply matches no row. A value to store must fit its column.
            const bool key = pFX->m_nFieldType == CFieldExchange::param;
            if (!key && !rs->IsFieldStatusDirty(index)) {
                return;
            }
            if (!key && rs->IsFieldStatusNull(index)) {
                *length = SQL_NULL_DATA;
            } else if (!key && value.GetLength() > nMaxLength) {
                CString text;
                text.Format("The value for column %s is %d bytes long; at most %d fit", szName,
                            value.GetLength(), nMaxLength);
                throw CDBException(SQL_ERROR, "22001", text);
            } else {
                *length = value.GetLength();
            }
            BindInput(pFX, key ? nField : AppendParamMarker(pFX, szName), SQL_C_CHAR,
                      static_cast<SQLSMALLINT>(nColumnType),
                      static_cast<SQLULEN>(std::max(value.GetLength(), nMaxLength)), nScale,
                      const_cast<char*>(value.GetString()), value.GetLength(), length);
            return;
        }
        case CFieldExchange::SetFieldNull:
            if (ApplySetFieldNull(pFX, &value, index, length, SQL_NTS)) {
                value.Empty();
            }
            return;
        case CFieldExchange::StoreField:
            rs->SetCachedValue(nField, value.str());
            return;
        case CFieldExchange::LoadField:
            value = CString(rs->GetCachedValue(nField));
            return;
        default:
            return;
    }
}

void RFX_Long(CFieldExchange* pFX, const char* szName, std::int32_t& value) {
    ExchangeInteger(pFX, szName, value);
}

void RFX_Int(CFieldExchange* pFX, const char* szName, int& value) {
    ExchangeInteger(pFX, szName, value);
}

void RFX_LongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value) {
    unsigned nField = 0;
    if (!pFX->IsFieldType(&nField)) {
        return;
    }
    CRecordset* rs = pFX->m_prs;
    const unsigned index = nField - 1;
    SQLLEN* length = rs->GetFieldLengthBuffer(index, pFX->m_nFieldType);
    switch (pFX->m_nOperation) {
        case CFieldExchange::Name:
            pFX->Default(szName, &value, length, SQL_C_BINARY, 0, 0);
            return;
        case CFieldExchange::BindFieldToColumn:
            rs->m_mapFieldIndex[&value] = nField;
            return;
        case CFieldExchange::Fixup:
            FixupLongBinary(pFX, nField, value, length);
            return;
        case CFieldExchange::NameValue:
        case CFieldExchange::Value: {
            if (!rs->IsFieldStatusDirty(index)) {
                return;
            }
            *length = rs->IsFieldStatusNull(index) ? SQL_NULL_DATA
                                                   : CappedDataAtExecLength(value.m_dwDataLength);
            BindInput(pFX, AppendParamMarker(pFX, szName), SQL_C_BINARY,
                      rs->GetColumnSqlType(nField), value.m_dwDataLength, 0, &value, 0, length);
            return;
        }
        case CFieldExchange::SetFieldNull:
            if (ApplySetFieldNull(pFX, &value, index, length,
                                  CappedDataAtExecLength(value.m_dwDataLength))) {
                value.m_dwDataLength = 0;
            }
            return;
        default:
            return;
    }
}
