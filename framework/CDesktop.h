// What the user sees: the one progress window and the message boxes. Chosen
// once at start-up; nothing else in the tool knows which one runs.
#pragma once

#include <memory>

#include "framework/CString.h"

// What the application's resources give its progress window: the dialog
// template and its progress control, and the icon both as a resource number
// (where windows come from templates) and as 32 x 32 and 16 x 16 XPM pictures
// (where the window is drawn from code).
struct CWindowResources {
    int dialogTemplate = 0;
    int progressControl = 0;
    int iconResource = 0;
    const char* const* icon32 = nullptr;
    const char* const* icon16 = nullptr;
};

class CDesktop {
  public:
    virtual ~CDesktop() = default;

    // A box with one OK button; returns once it has been acknowledged.
    virtual void ShowMessageBox(const CString& caption, const CString& text) = 0;

    // Creates the window unseen: it first appears with ShowProgressWindow.
    virtual void CreateProgressWindow(const CString& caption,
                                      const CWindowResources& resources) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int position) = 0;
    virtual void ShowProgressWindow() = 0;
    virtual void MinimizeProgressWindow() = 0;
    virtual void DestroyProgressWindow() = 0;

    // Blocks the run for the given time; a window may redraw meanwhile.
    virtual void Pause(unsigned milliseconds) = 0;

    // Answers at once what waits for the window (drawing, the system asking
    // whether the program still responds) and drops the user's input to it.
    // Nothing where no window needs answering.
    virtual void ServeWindow() {}
};

// Called between small pieces of long work (lines imported, chunks copied): the
// desktop's window is served at most every kServeIntervalMs, so that it never
// looks hung and the work is not slowed by it.
inline constexpr unsigned kServeIntervalMs = 50;
void KeepWindowServed();

// The desktop of this run (the platform's unless one was set).
CDesktop& Desktop();
void SetDesktop(std::unique_ptr<CDesktop> desktop);
// The platform's choice for this process: a window where a display is reachable,
// else the terminal.
std::unique_ptr<CDesktop> CreatePlatformDesktop();
