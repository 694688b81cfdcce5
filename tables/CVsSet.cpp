#include "tables/CVsSet.h"

#include "framework/RecordFieldExchange.h"

CVsSet::CVsSet(CDatabase* pDatabase) : CRecordset(pDatabase) {
    m_nFields = 3;
    m_nDefaultType = snapshot;
}

void CVsSet::DoFieldExchange(CFieldExchange* pFX) {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    RFX_Text(pFX, "[te_comp]", m_te_comp);
    RFX_LongBinary(pFX, "[te_file]", m_te_file);
    RFX_Int(pFX, "[te_vstype]", m_te_vstype);
}
