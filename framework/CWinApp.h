// The application object's base: start-up and shut-down hooks, run once each.
// The tool never runs a message loop.
#pragma once

#include "framework/CString.h"

class CDialog;

// Ends the run with a fixed exit code. Raised instead of calling exit(), so that
// every object on the way out is destroyed (an open transaction is rolled back
// when its connection closes); shut-down is skipped, as with exit().
class CExitRequest {
  public:
    explicit CExitRequest(int exitCode) : m_nExitCode(exitCode) {}
    int m_nExitCode;
};

[[noreturn]] void AfxExit(int exitCode);

class CWinApp {
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() { return false; }
    virtual int ExitInstance() { return 0; }

    // Start-up, then shut-down unless start-up ended the run; returns the exit code.
    int Run();

    CDialog* m_pMainWnd = nullptr;
    // Every text AfxMessageBox has shown, one per line: what the run said.
    CString m_strShownMessages;
};

CWinApp* AfxGetApp();
// The executable's file name without extension: the caption of every message box.
CString AfxGetAppName();
// Shows text in a message box with an OK button and waits for it.
void AfxMessageBox(const CString& text);
// The platform's entry: sets up the desktop, ignores close requests, runs the application.
int AfxWinMain();
