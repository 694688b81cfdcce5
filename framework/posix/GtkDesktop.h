// The desktop where a display is reachable: one small window with a progress
// bar, and modal message boxes with an OK button, all on the run's one thread.
#pragma once

#include <memory>

#include "framework/CDesktop.h"

class CGtkDesktop : public CDesktop {
  public:
    // Nothing when no display can be opened.
    static std::unique_ptr<CGtkDesktop> Open();
    ~CGtkDesktop() override;
    CGtkDesktop(const CGtkDesktop&) = delete;
    CGtkDesktop& operator=(const CGtkDesktop&) = delete;

    void ShowMessageBox(const CString& caption, const CString& text) override;
    void CreateProgressWindow(const CString& caption, const CWindowResources& resources) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void ShowProgressWindow() override;
    void MinimizeProgressWindow() override;
    void DestroyProgressWindow() override;
    void Pause(unsigned milliseconds) override;
    void ServeWindow() override { Redraw(); }

  private:
    struct Widgets;
    CGtkDesktop();
    // Lets the window draw what changed; input has nowhere to go.
    static void Redraw();
    void FreeIcons();

    std::unique_ptr<Widgets> m_widgets;
    int m_lower = 0;
    int m_upper = 100;
};
