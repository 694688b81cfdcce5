#include "app/CUpdateApp.h"

#include <exception>

#include "app/WorkDirectory.h"
#include "framework/CFileException.h"
#include "framework/Kernel.h"
#include "update/CUpdateDlg.h"
#include "update/RunFailure.h"
#include "update/StageError.h"
#include "util/DirectoryCleaner.h"

void CUpdateApp::ResolveDirectories() {
    m_strExeDir = ExeDirectoryOf(ModuleFilePath());
    m_strWorkDir = ResolveWorkDirectory();
}

void CUpdateApp::LockWorkDirectory() {
    const CString lockPath = RunLockPath(m_strWorkDir);
    try {
        m_runLock.emplace(lockPath);
    } catch (const CFileException& error) {
        if (error.m_cause != CFileException::sharingViolation) {
            throw;
        }
        throw CStageError("Another update is running in " + m_strWorkDir + " (" + lockPath +
                          " is held). This one has changed nothing.");
    }
}

bool CUpdateApp::InitInstance() {
    ResolveDirectories();

    CUpdateDlg dlg;
    dlg.m_strExeDir = m_strExeDir;
    dlg.m_strWorkDir = m_strWorkDir;
    dlg.Create();
    m_pMainWnd = &dlg;
    dlg.ShowWindow();
    try {
        // Taken once connected, so that a refused connection ends as it always
        // has; and before the work directory is touched.
        LockWorkDirectory();
        dlg.m_pRunLock = &*m_runLock;
        dlg.RunUpdate();
    } catch (...) {
        // Nothing of the run is committed: its transaction was rolled back on the
        // way here. A request to end the run passes through.
        const RunFailure failure = ReportFailure(std::current_exception());
        if (failure.m_bEndsRunAtOnce) {
            AfxExit(failure.m_nExitCode);
        }
        m_nExitCode = failure.m_nExitCode;
    }
    dlg.CloseWindow();
    dlg.DestroyWindow();
    m_pMainWnd = nullptr;
    return false;
}

int CUpdateApp::ExitInstance() {
    // A run without the lock never owned the work directory: another run may be
    // working in it.
    if (m_runLock) {
        try {
            DeleteDirectoryEntries(m_strWorkDir);
        } catch (const CFileException&) {  // NOLINT(bugprone-empty-catch)
            // What cannot be removed stays, and the work directory with it.
        }
    }
    ChangeDirectory(m_strExeDir);
    if (m_runLock) {
        RemoveEmptyDirectory(m_strWorkDir);
        m_runLock.reset();
    }
    return m_nExitCode != 0 ? m_nExitCode : CWinApp::ExitInstance();
}
