// The component list: one row per line; the first line's chassis loses its
// earlier rows before the first row is added.
#include <memory>

#include "imports/CSpoolImporter.h"
#include "imports/SpoolText.h"
#include "tables/CIdcompSet.h"

bool CSpoolImporter::ImportIdcompLine(CString& line, bool firstLine) {
    CString chasnum;
    CString cgrp;
    CString comp;
    SplitThreeFields(line, chasnum, cgrp, comp);
    if (firstLine) {
        CIdcompSet remover(&m_database);
        m_rowCounts[kIdcompRows].deleted += remover.DeleteByChassis(chasnum);
    }
    auto set = std::make_unique<CIdcompSet>(&m_database);
    set->OpenTable();
    set->AddNew();
    set->m_te_chasnum = chasnum;
    if (const std::optional<std::int32_t> group = ScanInt32(cgrp)) {
        set->m_te_cgrp = *group;
        set->SetFieldNull(&set->m_te_cgrp, false);
    }
    set->m_te_comp = comp;
    set->Update();
    ++m_rowCounts[kIdcompRows].added;
    set->Close();
    return true;
}
