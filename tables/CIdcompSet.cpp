#include "tables/CIdcompSet.h"

#include "framework/odbc/RecordFieldExchange.h"
#include "tables/ChassisRows.h"

CIdcompSet::CIdcompSet(CDatabase* pDatabase) : CRecordset(pDatabase) {
    m_nFields = 3;
}

void CIdcompSet::DoFieldExchange(CFieldExchange* pFX) {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    RFX_Int(pFX, "[te_cgrp]", m_te_cgrp);
    RFX_Text(pFX, "[te_chasnum]", m_te_chasnum);
    RFX_Text(pFX, "[te_comp]", m_te_comp);
    ExchangeChassisParam(pFX, m_strChasnumParam);
}

std::int64_t CIdcompSet::DeleteByChassis(const CString& key) {
    return DeleteChassisRows(*this, m_strChasnumParam, key);
}

bool CIdcompSet::OpenTable() {
    return OpenForAdding(*this);
}
