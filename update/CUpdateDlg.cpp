#include "update/CUpdateDlg.h"

#include <exception>

#include "framework/CDesktop.h"
#include "framework/CWinApp.h"
#include "res/AppIcon.h"
#include "res/Resource.h"
#include "update/RunFailure.h"

namespace {
constexpr const char* kConnectFormat = "DSN=%s;UID=%s;PWD=%s";
constexpr const char* kDataSource = "Lorbanix";
constexpr const char* kUserId = "velko";
constexpr const char* kPassword = "tesko";
}  // namespace

CUpdateDlg::CUpdateDlg()
    : CDialog(kUpdateDialogCaption,
              {IDD_UPDATE_DIALOG, IDC_PROGRESS, IDR_MAINFRAME, kAppIcon32, kAppIcon16}) {}

bool CUpdateDlg::OnInitDialog() {
    m_progress.SetRange(0, kStepCount);
    m_progress.SetPos(0);
    ConnectDatabase();
    return true;
}

CString CUpdateDlg::ConnectString() {
    CString connect;
    connect.Format(kConnectFormat, kDataSource, kUserId, kPassword);
    return connect;
}

void CUpdateDlg::ConnectDatabase() {
    try {
        m_database.OpenEx(ConnectString(), kConnectOptions);
    } catch (...) {
        // A refused connection is a failed run, never a success.
        AfxExit(ReportFailure(std::current_exception()).m_nExitCode);
    }
    StepProgress();
}

void CUpdateDlg::StepProgress() {
    ++m_nStep;
    m_progress.SetPos(m_nStep);
    Desktop().Pause(m_nStepPauseMs);
}

CSpoolImporter CUpdateDlg::Imports() {
    return {m_database, m_strWorkDir, [this] { StepProgress(); }};
}
