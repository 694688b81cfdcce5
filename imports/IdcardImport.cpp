// The ID card: one record, five fields cut at the first four TABs of the whole
// text, written as the vehicle's one row of the ID-card table.
#include "imports/CSpoolImporter.h"
#include "imports/SpoolError.h"
#include "imports/SpoolText.h"
#include "tables/CIdcardSet.h"

namespace {
constexpr const char* kNullMarker = "NULL";

CString WithoutNullMarker(const CString& field) {
    return field == kNullMarker ? CString() : field;
}
}  // namespace

IdcardRecord CSpoolImporter::ParseIdcard(CString& text) {
    IdcardRecord record;
    CutField(text, record.m_strChasnum);
    if (record.m_strChasnum.IsEmpty()) {
        throw CSpoolError(CSpoolError::noChassis, "idcard.spl names no chassis number");
    }
    CString field;
    if (CutField(text, field)) {
        record.m_strTpnum = WithoutNullMarker(field);
    }
    if (CutField(text, field)) {
        record.m_strEngsn = WithoutNullMarker(field);
    }
    if (CutField(text, field)) {
        record.m_strMdes = WithoutNullMarker(field);
        record.m_strKfactor = WithoutNullMarker(text);
    }
    return record;
}

void CSpoolImporter::ImportIdcard(const IdcardRecord& record) {
    CIdcardSet set(&m_database);
    if (set.FindByChassis(record.m_strChasnum)) {
        set.Edit();
        ++m_rowCounts[kIdcardRows].changed;
    } else {
        set.AddNew();
        ++m_rowCounts[kIdcardRows].added;
    }
    set.m_te_chasnum = record.m_strChasnum;
    set.m_te_tpnum = record.m_strTpnum;
    set.m_te_engsn = record.m_strEngsn;
    set.m_te_mdes = record.m_strMdes;
    set.m_te_kfactor = TextToInt32(record.m_strKfactor);
    if (set.m_te_kfactor == 0) {
        set.SetFieldNull(&set.m_te_kfactor);
        set.SetFieldDirty(&set.m_te_kfactor);
    } else {
        set.SetFieldNull(&set.m_te_kfactor, false);
    }
    set.Update();
    set.Close();
}
