// The application object: resolves the medium and the work directory, runs the
// update in the progress window, and clears the work directory at shut-down.
#pragma once

#include <chrono>
#include <optional>

#include "app/RunHistory.h"
#include "framework/CLockFile.h"
#include "framework/CString.h"
#include "framework/CWinApp.h"
#include "imports/RowCounts.h"

class CUpdateDlg;

class CUpdateApp : public CWinApp {
  public:
    bool InitInstance() override;
    int ExitInstance() override;

    CString m_strExeDir;
    CString m_strWorkDir;

  private:
    void ResolveDirectories();
    // Takes the install location's run lock; raises when another run holds it.
    void LockWorkDirectory();
    void RunInWindow(CUpdateDlg& dlg);
    // What the run's record needs of the window, which is gone when it is written.
    void KeepForRecord(const CUpdateDlg& dlg);
    [[nodiscard]] RunRecord MakeRecord(int exitCode) const;
    // Adds the run's line to the history; a failure is said on standard error
    // and changes nothing else.
    void RecordRun(int exitCode) noexcept;

    int m_nExitCode = 0;
    std::chrono::system_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_startClock;
    bool m_bLockRefused = false;
    CString m_strPackage;
    CString m_strChassis;
    RowCounts m_rowCounts;
    // Held from before the work directory is touched until shut-down has
    // cleared it: one run at a time per install location.
    std::optional<CLockFile> m_runLock;
};
