// The application object: resolves the medium and the work directory, runs the
// update in the progress window, and clears the work directory at shut-down.
#pragma once

#include <optional>

#include "framework/CLockFile.h"
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
    // Takes the install location's run lock; raises when another run holds it.
    void LockWorkDirectory();
    int m_nExitCode = 0;
    // Held from before the work directory is touched until shut-down has
    // cleared it: one run at a time per install location.
    std::optional<CLockFile> m_runLock;
};
