// The application object: resolves the medium and the work directory, runs the
// update in the progress window, and clears the work directory at shut-down.
#pragma once

#include "framework/CString.h"
#include "framework/CWinApp.h"

class CUpdateApp : public CWinApp {
  public:
    bool InitInstance() override;
    int ExitInstance() override;

    CString m_strExeDir;
    CString m_strWorkDir;

  private:
    void ResolveDirectories();
    int m_nExitCode = 0;
};
