#include "tables/ChassisRows.h"

#include "framework/odbc/RecordFieldExchange.h"

void ExchangeChassisParam(CFieldExchange* pFX, CString& keyParam) {
    pFX->SetFieldType(CFieldExchange::param);
    RFX_Text(pFX, "[te_chasnum]", keyParam);
}

namespace {
void SelectChassis(CRecordset& set, CString& keyParam, const CString& key) {
    set.m_strFilter = kChassisFilter;
    set.m_nParams = 1;
    keyParam = key;
}
}  // namespace

bool FindChassisRows(CRecordset& set, CString& keyParam, const CString& chasnum,
                     const CString& key) {
    SelectChassis(set, keyParam, key);
    set.Open(CRecordset::snapshot, nullptr, CRecordset::none);
    return chasnum == key;
}

std::int64_t DeleteChassisRows(CRecordset& set, CString& keyParam, const CString& key) {
    SelectChassis(set, keyParam, key);
    return set.DeleteFiltered();
}

bool OpenForAdding(CRecordset& set) {
    // Nothing reads the rows an open would select before AddNew: the set selects
    // none, so adding a row costs the same whatever the table holds.
    set.Open(CRecordset::snapshot, nullptr, CRecordset::appendOnly);
    return true;
}
