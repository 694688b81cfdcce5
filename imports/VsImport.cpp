// The vs files: one line per data file, keyed by component and vs type; a key
// that has a row gets the new bytes, a new key gets a new row.
#include "imports/CSpoolImporter.h"
#include "imports/SpoolError.h"
#include "imports/SpoolText.h"
#include "tables/CVsSet.h"

bool CSpoolImporter::ImportVsLine(CString& line) {
    CString comp;
    CString vstype;
    CString name;
    SplitThreeFields(line, comp, vstype, name);
    if (comp.IsEmpty()) {
        return true;
    }
    // Only a type that is stored as itself can be found again by the look-up.
    const std::optional<std::int32_t> type = ParseInt32(vstype);
    if (!type) {
        throw CSpoolError(CSpoolError::badKey,
                          "vs.spl: the vs type of component '" + comp +
                              "' is not a whole number from -2147483648 to 2147483647: '" + vstype +
                              "'");
    }
    CVsSet set(&m_database);
    const bool known = set.FindByKey(comp, *type);
    if (known) {
        set.Edit();
    } else {
        set.AddNew();
    }
    set.m_te_file.Reset();
    set.m_te_comp = comp;
    set.m_te_vstype = *type;
    set.SetFieldNull(&set.m_te_vstype, false);
    if (!ReadDataFile("vs.spl", name, set.m_te_file)) {
        set.Close();
        return false;
    }
    set.SetFieldNull(&set.m_te_file, false);
    set.SetFieldDirty(&set.m_te_file, true);
    set.Update();
    ++(known ? m_rowCounts[kVsRows].changed : m_rowCounts[kVsRows].added);
    set.Close();
    return true;
}
