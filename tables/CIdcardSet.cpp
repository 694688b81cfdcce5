#include "tables/CIdcardSet.h"

#include "framework/odbc/RecordFieldExchange.h"
#include "tables/ChassisRows.h"

CIdcardSet::CIdcardSet(CDatabase* pDatabase) : CRecordset(pDatabase) {
    m_nFields = 5;
}

void CIdcardSet::DoFieldExchange(CFieldExchange* pFX) {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    RFX_Text(pFX, "[te_chasnum]", m_te_chasnum);
    RFX_Text(pFX, "[te_engsn]", m_te_engsn);
    RFX_Long(pFX, "[te_kfactor]", m_te_kfactor);
    RFX_Text(pFX, "[te_mdes]", m_te_mdes);
    RFX_Text(pFX, "[te_tpnum]", m_te_tpnum);
    ExchangeChassisParam(pFX, m_strChasnumParam);
}

bool CIdcardSet::FindByChassis(const CString& key) {
    return FindChassisRows(*this, m_strChasnumParam, m_te_chasnum, key);
}
