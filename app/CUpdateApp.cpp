#include "app/CUpdateApp.h"

#include <exception>

#include "app/WorkDirectory.h"
#include "framework/CFileException.h"
#include "framework/Kernel.h"
#include "update/CUpdateDlg.h"
#include "update/RunFailure.h"
#include "util/DirectoryCleaner.h"

void CUpdateApp::ResolveDirectories() {
    m_strExeDir = ExeDirectoryOf(GetModuleFileName());
    m_strWorkDir = ResolveWorkDirectory();
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
        dlg.RunUpdate();
        m_nExitCode = dlg.m_nOutcome;
    } catch (const CExitRequest&) {
        throw;
    } catch (...) {
        // An error no stage handled: nothing is committed (the connection rolls
        // back when it closes) and the run shuts down normally.
        m_nExitCode = ReportFailure(std::current_exception());
    }
    dlg.CloseWindow();
    dlg.DestroyWindow();
    m_pMainWnd = nullptr;
    return false;
}

int CUpdateApp::ExitInstance() {
    try {
        DeleteDirectoryEntries(m_strWorkDir);
    } catch (const CFileException&) {  // NOLINT(bugprone-empty-catch)
        // What cannot be removed stays, and the work directory with it.
    }
    ChangeDirectory(m_strExeDir);
    RemoveDirectory(m_strWorkDir);
    return m_nExitCode != 0 ? m_nExitCode : CWinApp::ExitInstance();
}
