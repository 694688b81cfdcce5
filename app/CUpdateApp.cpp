#include "app/CUpdateApp.h"

#include <cstdio>
#include <exception>

#include "app/WorkDirectory.h"
#include "framework/CFileException.h"
#include "framework/Kernel.h"
#include "framework/Sha256.h"
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
            // The lock lies in the install location: say so when that is what is missing.
            const CString location = InstallLocationOf(m_strWorkDir);
            // (An empty one is the root of the current drive, which is there.)
            switch (location.IsEmpty() ? PathKind::directory : GetPathKind(location)) {
                case PathKind::none:
                    throw CStageError("The install location does not exist: " + location);
                case PathKind::directory:
                case PathKind::link:
                    throw;
                default:
                    throw CStageError("The install location is not a folder: " + location);
            }
        }
        m_bLockRefused = true;
        throw CStageError("Another update is running in " + m_strWorkDir + " (" + lockPath +
                          " is held). This one has changed nothing.");
    }
}

bool CUpdateApp::InitInstance() {
    m_start = std::chrono::system_clock::now();
    m_startClock = std::chrono::steady_clock::now();
    ResolveDirectories();

    CUpdateDlg dlg;
    try {
        RunInWindow(dlg);
    } catch (const CExitRequest& request) {
        // The run ends here, skipping shut-down: its record is written now.
        KeepForRecord(dlg);
        RecordRun(request.m_nExitCode);
        throw;
    }
    KeepForRecord(dlg);
    return false;
}

void CUpdateApp::RunInWindow(CUpdateDlg& dlg) {
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
}

void CUpdateApp::KeepForRecord(const CUpdateDlg& dlg) {
    m_pMainWnd = nullptr;
    m_strPackage = dlg.m_strPackage;
    m_strChassis = dlg.m_strChassis;
    m_rowCounts = dlg.m_rowCounts;
}

RunRecord CUpdateApp::MakeRecord(int exitCode) const {
    RunRecord record;
    record.start = m_start;
    record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_startClock);
    record.medium = m_strExeDir;
    record.chassis = m_strChassis;
    record.exitCode = exitCode;
    record.message = m_strShownMessages;
    if (!m_strPackage.IsEmpty()) {
        record.package = m_strPackage.Mid(m_strPackage.ReverseFind(PathSeparator()[0]) + 1);
        try {
            record.sha256 = Sha256OfFile(m_strPackage);
        } catch (...) {  // NOLINT(bugprone-empty-catch): the record says it has none
        }
    }
    if (m_bLockRefused) {
        record.result = RunResult::refused;
    } else if (exitCode == 0) {
        record.result = m_rowCounts.importBegun ? RunResult::committed : RunResult::nothingToDo;
    } else {
        record.result = m_rowCounts.importBegun ? RunResult::rolledBack : RunResult::stopped;
    }
    if (record.result == RunResult::committed) {
        record.rows = m_rowCounts;
    }
    return record;
}

void CUpdateApp::RecordRun(int exitCode) noexcept {
    const CString path = RunHistoryPath(m_strWorkDir);
    try {
        AddToHistory(path, FormatRunRecord(MakeRecord(exitCode)), m_runLock.has_value());
    } catch (const CFileException& error) {
        std::fprintf(stderr, "%s history: no record of this run was written: %s\n",
                     AfxGetAppName().GetString(), error.GetErrorMessage().GetString());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s history: no record of this run was written (%s): %s\n",
                     AfxGetAppName().GetString(), error.what(), path.GetString());
    } catch (...) {
        std::fprintf(stderr, "%s history: no record of this run was written: %s\n",
                     AfxGetAppName().GetString(), path.GetString());
    }
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
    const int exitCode = m_nExitCode != 0 ? m_nExitCode : CWinApp::ExitInstance();
    // Last, still under the lock: the record says how the run ended.
    RecordRun(exitCode);
    if (m_runLock) {
        RemoveEmptyDirectory(m_strWorkDir);
        m_runLock.reset();
    }
    return exitCode;
}
