// The desktop where no display exists: messages and progress go to standard
// error and nothing waits for the user.
#pragma once

#include <cstdio>

#include "framework/CDesktop.h"

// The line a message box leaves on a log: "<caption>: <text>".
void WriteMessageLine(std::FILE* out, const CString& caption, const CString& text);
// The line a progress position leaves on a log: "<caption>: <position>/<upper>".
void WriteProgressLine(std::FILE* out, const CString& caption, int position, int upper);

class CConsoleDesktop : public CDesktop {
  public:
    explicit CConsoleDesktop(std::FILE* out = stderr);

    void ShowMessageBox(const CString& caption, const CString& text) override;
    void CreateProgressWindow(const CString& caption, const CWindowResources& resources) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void ShowProgressWindow() override {}
    void MinimizeProgressWindow() override {}
    void DestroyProgressWindow() override;
    void Pause(unsigned milliseconds) override;

  private:
    void DrawBar();

    std::FILE* m_out;
    bool m_terminal;
    bool m_barDrawn = false;
    CString m_caption;
    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
};
