#include "tables/CTunSet.h"

#include "framework/odbc/RecordFieldExchange.h"
#include "tables/ChassisRows.h"

CTunSet::CTunSet(CDatabase* pDatabase) : CRecordset(pDatabase) {
    m_nFields = 2;
}

void CTunSet::DoFieldExchange(CFieldExchange* pFX) {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    RFX_Text(pFX, "[te_chasnum]", m_te_chasnum);
    pFX->SetFieldType(CFieldExchange::outputColumn);
    ExchangeLongBinary(pFX, "[te_file]", m_te_file);
    ExchangeChassisParam(pFX, m_strChasnumParam);
}

std::int64_t CTunSet::DeleteByChassis(const CString& key) {
    return DeleteChassisRows(*this, m_strChasnumParam, key);
}

bool CTunSet::OpenTable() {
    return OpenForAdding(*this);
}
