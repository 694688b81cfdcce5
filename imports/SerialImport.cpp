// The serial numbers: one row per line; the first line's chassis loses its
// earlier rows before the first row is added.
#include <memory>

#include "imports/CSpoolImporter.h"
#include "imports/SpoolText.h"
#include "tables/CSerialSet.h"

bool CSpoolImporter::ImportSerialLine(CString& line, bool firstLine) {
    CString chasnum;
    CString serialId;
    CString serialNo;
    SplitThreeFields(line, chasnum, serialId, serialNo);
    if (firstLine) {
        CSerialSet remover(&m_database);
        m_rowCounts[kSerialRows].deleted += remover.DeleteByChassis(chasnum);
    }
    auto set = std::make_unique<CSerialSet>(&m_database);
    set->OpenTable();
    set->AddNew();
    set->m_te_chasnum = chasnum;
    set->m_te_serialID = serialId;
    set->m_te_serialno = serialNo;
    set->Update();
    ++m_rowCounts[kSerialRows].added;
    set->Close();
    return true;
}
