// The tun file: one record naming the chassis and a data file; the chassis's
// rows are replaced by one row holding the data file's bytes.
#include <memory>

#include "imports/CSpoolImporter.h"
#include "imports/SpoolText.h"
#include "tables/CTunSet.h"

bool CSpoolImporter::ImportTun(CString& text) {
    CString chasnum;
    CString name;
    if (CutField(text, chasnum)) {
        name = text;
    }
    if (chasnum.IsEmpty()) {
        return true;
    }
    {
        auto remover = std::make_unique<CTunSet>(&m_database);
        m_rowCounts[kTunRows].deleted += remover->DeleteByChassis(chasnum);
    }
    auto set = std::make_unique<CTunSet>(&m_database);
    set->OpenTable();
    set->AddNew();
    set->m_te_file.Reset();
    set->m_te_chasnum = chasnum;
    if (!ReadDataFile("tun.spl", name, set->m_te_file)) {
        set->Close();
        return false;
    }
    set->SetFieldNull(&set->m_te_file, false);
    set->SetFieldDirty(&set->m_te_file, true);
    set->Update();
    ++m_rowCounts[kTunRows].added;
    set->Close();
    return true;
}
