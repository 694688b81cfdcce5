#include "tables/CVsSet.h"

#include "framework/odbc/RecordFieldExchange.h"

CVsSet::CVsSet(CDatabase* pDatabase) : CRecordset(pDatabase) {
    m_nFields = 3;
}

void CVsSet::DoFieldExchange(CFieldExchange* pFX) {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    RFX_Text(pFX, "[te_comp]", m_te_comp);
    RFX_LongBinary(pFX, "[te_file]", m_te_file);
    RFX_Int(pFX, "[te_vstype]", m_te_vstype);
    pFX->SetFieldType(CFieldExchange::param);
    RFX_Text(pFX, "[te_comp]", m_strCompParam);
    RFX_Int(pFX, "[te_vstype]", m_nVstypeParam);
}

bool CVsSet::FindByKey(const CString& comp, int vstype) {
    // Component and type are bound as they are: compared exactly, prepared once.
    m_strFilter = "te_comp = ? and te_vstype = ?";
    m_nParams = 2;
    m_strCompParam = comp;
    m_nVstypeParam = vstype;
    Open(snapshot, nullptr, lookupOnly);
    return m_te_comp == comp;
}
