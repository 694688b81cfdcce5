// CTunSet::ExchangeLongBinary: the tun table's file column in every pass of the
// field exchange. Its bytes never sit in a bound buffer: INSERT and UPDATE bind
// the value as a data-at-execution parameter and the recordset sends the
// block's bytes while the statement executes.

#include "framework/odbc/CDBException.h"
#include "framework/odbc/Odbc.h"
#include "framework/odbc/RecordFieldExchange.h"
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
            // Never bound to a buffer: Fixup reads it, the change statements send it.
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
            pFX->Default(szName, &value, plLength, SQL_C_DEFAULT, 0, 0);
            return;

        case CFieldExchange::NameValue:
        case CFieldExchange::Value: {
            if (!dirty) {
                return;
            }
            *plLength = null ? SQL_NULL_DATA : CappedDataAtExecLength(value.m_dwDataLength);
            // The column size is the full length; only the length cell is capped.
            BindInput(pFX, AppendParamMarker(pFX, szName), SQL_C_DEFAULT,
                      rs->GetColumnSqlType(nField), value.m_dwDataLength, 0, &value, 0, plLength);
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
