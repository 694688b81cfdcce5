// The progress window: one bar from 0 to 16, the run's one database connection,
// and the update sequence that steps the bar.
#pragma once

#include "framework/CDialog.h"
#include "framework/CLockFile.h"
#include "framework/CString.h"
#include "framework/odbc/CDatabase.h"
#include "imports/CSpoolImporter.h"
#include "imports/RowCounts.h"

class CUpdateDlg : public CDialog {
  public:
    static constexpr int kStepCount = 16;
    static constexpr unsigned kStepPauseMs = 200;

    CUpdateDlg();
    ~CUpdateDlg() override = default;

    // Raises the position by one, shows it, and pauses.
    void StepProgress();
    // Carries out the update on the open connection. Returns when the update was
    // committed or the medium holds no package; every failure is raised.
    void RunUpdate();

    // The connect string of the data source the update writes to, and the
    // options it is opened with.
    static CString ConnectString();
    static constexpr unsigned kConnectOptions = CDatabase::useCursorLib | CDatabase::noOdbcDialog;

    // The import section in one transaction, committed. When the data source
    // ends the transaction for a conflict with another session's, it is rolled
    // back and run again from the spool files, the bar back where it began,
    // after a short pause; the failure of the last of kMostTries is raised.
    void CommitImports(const IdcardRecord& record);
    static constexpr int kMostTries = 12;
    // The pause before a repeat: a random time in this range, doubled with every
    // repeat up to kRepeatPauseDoublings times. A transaction lasts about 2 s
    // (its steps pause 200 ms each), so 16 workstations that all conflict need
    // some 30 s to commit one after another: the tries (about 25 s of pauses
    // over the 11 repeats, and the transactions between them) outlast that,
    // while two that meet once mostly pass after a fraction of a second.
    static constexpr unsigned kRepeatPauseMinMs = 100;
    static constexpr unsigned kRepeatPauseMaxMs = 300;
    static constexpr int kRepeatPauseDoublings = 4;

    // The imports of the update, on this window's connection and work directory
    // (the importer owns them; these hand each call on).
    static IdcardRecord ParseIdcard(CString& text) { return CSpoolImporter::ParseIdcard(text); }
    void ImportIdcard(const IdcardRecord& record) { Imports().ImportIdcard(record); }
    bool ImportIdcompLine(CString& line, bool firstLine) {
        return Imports().ImportIdcompLine(line, firstLine);
    }
    bool ImportSerialLine(CString& line, bool firstLine) {
        return Imports().ImportSerialLine(line, firstLine);
    }
    bool ImportTun(CString& text) { return Imports().ImportTun(text); }
    bool ImportVsLine(CString& line) { return Imports().ImportVsLine(line); }

    CString m_strExeDir;
    CString m_strWorkDir;
    // What the run's record names: the package found on the medium, the ID
    // card's chassis number, and what the imports of the last transaction did.
    CString m_strPackage;
    CString m_strChassis;
    RowCounts m_rowCounts;
    // The install location's run lock, held by the run (not owned here); the
    // unpacker holds it too.
    const CLockFile* m_pRunLock = nullptr;
    CProgressCtrl m_progress;
    int m_nStep = 0;
    unsigned m_nStepPauseMs = kStepPauseMs;
    CDatabase m_database;  // last: closed first, before the window goes

  protected:
    bool OnInitDialog() override;

  private:
    void ConnectDatabase();
    // Creates the work directory when missing; refuses a name that is not a real
    // directory (a link, a file).
    void PrepareWorkDirectory();
    // The medium's unpacker into the work directory; raises when it is not there.
    void CopyUnpacker();
    // Unpacks the archive into the work directory; raises when the unpacker
    // cannot be started or reports failure.
    void RunUnpacker();
    [[nodiscard]] CString WorkPath(const char* name) const;
    // An importer that writes through m_database and steps this window's bar.
    CSpoolImporter Imports();
};
