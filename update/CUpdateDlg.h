// The progress window: one bar from 0 to 16, the run's one database connection,
// and the update sequence that steps the bar.
#pragma once

#include "framework/CDatabase.h"
#include "framework/CDialog.h"
#include "framework/CString.h"

class CUpdateDlg : public CDialog {
  public:
    static constexpr int kStepCount = 16;
    static constexpr unsigned kStepPauseMs = 200;

    CUpdateDlg();
    ~CUpdateDlg() override = default;

    // Raises the position by one, shows it, and pauses.
    void StepProgress();
    // Carries out the update on the open connection.
    void RunUpdate();

    CString m_strExeDir;
    CString m_strWorkDir;
    CProgressCtrl m_progress;
    int m_nStep = 0;
    unsigned m_nStepPauseMs = kStepPauseMs;
    CDatabase m_database;  // last: closed first, before the window goes

  protected:
    bool OnInitDialog() override;

  private:
    void ConnectDatabase();
};
