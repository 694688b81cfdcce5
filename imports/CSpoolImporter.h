// The five spool imports of one update, on an open connection and the work
// directory the package was unpacked into. The caller owns the transaction:
// the importer only writes rows, steps the progress and counts what it did.
#pragma once

#include <functional>

#include "framework/CLongBinary.h"
#include "framework/CString.h"
#include "framework/odbc/CDatabase.h"
#include "imports/IdcardRecord.h"
#include "imports/RowCounts.h"

class CSpoolImporter {
  public:
    // step is called after each stage of the import section, as the update's
    // progress bar counts them.
    CSpoolImporter(CDatabase& database, CString workDir, std::function<void()> step);

    // Cuts the ID card; raises CSpoolError (noChassis) when it names no chassis number.
    static IdcardRecord ParseIdcard(CString& text);

    // The import section: the ID-card row, then the spool files of the work
    // directory in order; false when an import stopped it (it has shown why).
    bool RunImports(const IdcardRecord& record);

    // The imports, one per spool file. A false result stops the update.
    void ImportIdcard(const IdcardRecord& record);
    // Every line of a component or serial-number list to importLine in order,
    // the first one flagged (its chassis loses its earlier rows first).
    bool ImportLines(const CString& text, bool (CSpoolImporter::*importLine)(CString&, bool));
    bool ImportIdcompLine(CString& line, bool firstLine);
    bool ImportSerialLine(CString& line, bool firstLine);
    bool ImportTun(CString& text);
    bool ImportVsLine(CString& line);

    // What the imports did since RunImports began.
    [[nodiscard]] const RowCounts& Counts() const { return m_rowCounts; }

  private:
    [[nodiscard]] CString WorkPath(const char* name) const;
    // Moves the bar on once the stage's rows are sent.
    void Step();
    // The bytes of the data file that spoolFile names into value; a missing or
    // unreadable file is shown and gives false, so that nothing of the run is
    // committed. A name that is no regular file inside the work directory, or
    // reaches it through a link or from outside, raises CSpoolError.
    bool ReadDataFile(const char* spoolFile, const CString& name, CLongBinary& value);

    CDatabase& m_database;
    CString m_strWorkDir;
    std::function<void()> m_step;
    RowCounts m_rowCounts;
};
