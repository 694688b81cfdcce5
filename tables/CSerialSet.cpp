#include "tables/CSerialSet.h"

#include "framework/odbc/RecordFieldExchange.h"
#include "tables/ChassisRows.h"

CSerialSet::CSerialSet(CDatabase* pDatabase) : CRecordset(pDatabase) {
    m_nFields = 3;
}

void CSerialSet::DoFieldExchange(CFieldExchange* pFX) {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    RFX_Text(pFX, "[te_chasnum]", m_te_chasnum);
    RFX_Text(pFX, "[te_serialID]", m_te_serialID);
    RFX_Text(pFX, "[te_serialno]", m_te_serialno);
    ExchangeChassisParam(pFX, m_strChasnumParam);
}

std::int64_t CSerialSet::DeleteByChassis(const CString& key) {
    return DeleteChassisRows(*this, m_strChasnumParam, key);
}

bool CSerialSet::OpenTable() {
    return OpenForAdding(*this);
}
