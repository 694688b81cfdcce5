// The Windows desktop: the modeless dialog of template 102 with its progress
// bar, and message boxes with an OK button, all on the run's one thread. The
// window takes no input: it can be neither moved nor sized, and no press on it
// starts a loop of the system's own in which the run would stand still.
#pragma once

#include <memory>

#include "framework/CDesktop.h"
#include "framework/win32/WinApi.h"

class CWin32Desktop : public CDesktop {
  public:
    CWin32Desktop();
    ~CWin32Desktop() override;
    CWin32Desktop(const CWin32Desktop&) = delete;
    CWin32Desktop& operator=(const CWin32Desktop&) = delete;

    void ShowMessageBox(const CString& caption, const CString& text) override;
    void CreateProgressWindow(const CString& caption, const CWindowResources& resources) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void ShowProgressWindow() override;
    void MinimizeProgressWindow() override;
    void DestroyProgressWindow() override;
    void Pause(unsigned milliseconds) override;
    void ServeWindow() override { PumpMessages(); }

  private:
    // Lets the window draw what changed and answer the system; input to it
    // goes nowhere.
    static void PumpMessages();
    void LoadIcons(int resource);
    void FreeIcons();

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    CString m_caption;
    int m_upper = 100;
    int m_progressControl = 0;
};
