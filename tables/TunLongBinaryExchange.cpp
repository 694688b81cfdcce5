// CTunSet::ExchangeLongBinary: the tun table's file column in every pass of the
// field exchange. Its bytes never sit in a bound buffer: INSERT and UPDATE bind
// the value as a data-at-execution parameter and the recordset sends the
// block's bytes while the statement executes.

#include "framework/CDBException.h"
#include "framework/Odbc.h"
#include "framework/RecordFieldExchange.h"
#include "tables/CTunSet.h"

void CTunSet::ExchangeLongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value) {
    unsigned nField = 0;
    if (!pFX->IsFieldType(&nField)) {
        return;
    }
    CRecordset* rs = pFX->m_prs;
    const unsigned index = nField - 1;
    SQLLEN* plLength = rs->GetFieldLengthBuffer(index, pFX->m_nFieldType);
    const bool dirty = rs->IsFieldStatusDirty(index);
    const bool null = rs->IsFieldStatusNull(index);

    switch (pFX->m_nOperation) {
        case CFieldExchange::BindFieldToColumn:
            if (!rs->m_bUseUpdateSQL && rs->m_bUpdatable) {
                const SQLRETURN rc =
                    SQLBindCol(rs->GetResultStatement(), static_cast<SQLUSMALLINT>(nField),
                               SQL_C_DEFAULT, &value, 0, plLength);
                OdbcCheck(rc, SQL_HANDLE_STMT, rs->GetResultStatement());
            }
            rs->m_mapFieldIndex[&value] = nField;
            return;

        case CFieldExchange::BindFieldForUpdate:
            if (dirty) {
                *plLength = null ? SQL_NULL_DATA : CappedDataAtExecLength(value.m_dwDataLength);
            } else {
                *plLength = SQL_IGNORE;
            }
            return;

        case CFieldExchange::UnbindFieldForUpdate:
            *plLength = static_cast<SQLLEN>(value.m_dwDataLength);
            return;

        case CFieldExchange::Fixup:
            // A zero-length column reads as NULL; either keeps the block, length 0.
            FixupLongBinary(pFX, nField, value, plLength);
            return;

        case CFieldExchange::Name:
            rs->m_bLongBinaryColumns = true;
            pFX->Default(szName, &value, plLength, SQL_C_DEFAULT, 0, 0);
            return;

        case CFieldExchange::NameValue:
            if (dirty) {
                *pFX->m_pstr += szName;
                *pFX->m_pstr += "=";
            }
            [[fallthrough]];

        case CFieldExchange::Value: {
            if (!dirty) {
                return;
            }
            *plLength = null ? SQL_NULL_DATA : CappedDataAtExecLength(value.m_dwDataLength);
            if ((rs->m_dwOptions & CRecordset::optimizeBulkAdd) != 0) {
                return;
            }
            *pFX->m_pstr += "?";
            *pFX->m_pstr += pFX->m_lpszSeparator;
            ++pFX->m_nParamFields;
            // The column size is the full length; only the length cell is capped.
            const SQLRETURN rc =
                SQLBindParameter(pFX->m_hstmt, static_cast<SQLUSMALLINT>(pFX->m_nParamFields),
                                 SQL_PARAM_INPUT, SQL_C_DEFAULT, rs->GetColumnSqlType(nField),
                                 value.m_dwDataLength, 0, &value, 0, plLength);
            OdbcCheck(rc, SQL_HANDLE_STMT, pFX->m_hstmt);
            return;
        }

        case CFieldExchange::SetFieldNull:
            // The block is neither freed nor replaced.
            if (ApplySetFieldNull(pFX, &value, index, plLength,
                                  CappedDataAtExecLength(value.m_dwDataLength))) {
                value.m_dwDataLength = 0;
            }
            return;

        default:
            return;
    }
}
