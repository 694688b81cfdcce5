#include "tables/ChassisRows.h"

#include "framework/SqlQuoting.h"

CString ChassisFilter(const CString& key) {
    CString filter;
    filter.Format("te_chasnum = '%s'", DoubleApostrophes(key).GetString());
    return filter;
}

bool FindChassisRows(CRecordset& set, const CString& chasnum, const CString& key) {
    set.m_strFilter = ChassisFilter(key);
    set.Open(CRecordset::snapshot, nullptr, CRecordset::none);
    return chasnum == key;
}

bool DeleteChassisRows(CRecordset& set, const CString& chasnum, const CString& key) {
    if (!FindChassisRows(set, chasnum, key)) {
        return true;
    }
    set.MoveFirst();
    while (!set.IsEOF()) {
        set.Delete();
        set.MoveNext();
    }
    return true;
}

bool OpenForAdding(CRecordset& set) {
    // Nothing reads the rows an open would select before AddNew: the set selects
    // none, so adding a row costs the same whatever the table holds.
    set.Open(CRecordset::snapshot, nullptr, CRecordset::appendOnly);
    return true;
}
