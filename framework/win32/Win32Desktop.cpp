#include "framework/win32/Win32Desktop.h"

#include <commctrl.h>

#include <cstdio>

#include "framework/ConsoleDesktop.h"

namespace {
HINSTANCE Instance() {
    return ::GetModuleHandleA(nullptr);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CLOSE:  // the window stays; the update goes on
            return TRUE;
        case WM_SYSCOMMAND:
            // Close from the system menu or Alt+F4 is dropped like WM_CLOSE.
            return (wParam & 0xFFF0) == SC_CLOSE ? TRUE : FALSE;
        case WM_PAINT:
            if (::IsIconic(window) != FALSE) {
                // Minimised: the icon stands for the window.
                PAINTSTRUCT paint{};
                const HDC dc = ::BeginPaint(window, &paint);
                RECT area{};
                ::GetClientRect(window, &area);
                const auto icon = reinterpret_cast<HICON>(  // NOLINT(performance-no-int-to-ptr)
                    ::SendMessageA(window, WM_GETICON, ICON_BIG, 0));
                const int x = (area.right - area.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
                const int y = (area.bottom - area.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
                if (icon != nullptr) {
                    ::DrawIcon(dc, x, y, icon);
                }
                ::EndPaint(window, &paint);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}
}  // namespace

CWin32Desktop::CWin32Desktop() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

CWin32Desktop::~CWin32Desktop() {
    DestroyProgressWindow();
    FreeIcons();
}

void CWin32Desktop::FreeIcons() {
    for (HICON* icon : {&m_hIcon, &m_hSmallIcon}) {
        if (*icon != nullptr) {
            ::DestroyIcon(*icon);
            *icon = nullptr;
        }
    }
}

void CWin32Desktop::LoadIcons(int resource) {
    FreeIcons();
    if (resource == 0) {
        return;
    }
    m_hIcon = static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(resource), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON),
                                              ::GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(resource),
                                                   IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
}

void CWin32Desktop::PumpMessages() {
    MSG message{};
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (IsInput(message.message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void CWin32Desktop::ShowMessageBox(const CString& caption, const CString& text) {
    // The text also goes to the log a caller may keep of standard error.
    WriteMessageLine(stderr, caption, text);
    ::MessageBoxA(m_hWnd, text.GetString(), caption.GetString(), MB_OK);
    PumpMessages();
}

void CWin32Desktop::CreateProgressWindow(const CString& caption,
                                         const CWindowResources& resources) {
    DestroyProgressWindow();
    m_caption = caption;
    m_progressControl = resources.progressControl;
    LoadIcons(resources.iconResource);
    m_hWnd = ::CreateDialogParamA(Instance(), MAKEINTRESOURCEA(resources.dialogTemplate), nullptr,
                                  DialogProc, 0);
    if (m_hWnd == nullptr) {
        return;
    }
    ::SetWindowTextA(m_hWnd, caption.GetString());
    if (m_hIcon != nullptr) {
        ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    }
    if (m_hSmallIcon != nullptr) {
        ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    }
    PumpMessages();
}

void CWin32Desktop::SetProgressRange(int lower, int upper) {
    m_upper = upper;
    if (m_hWnd != nullptr) {
        ::SendDlgItemMessageA(m_hWnd, m_progressControl, PBM_SETRANGE, 0,
                              MAKELPARAM(static_cast<WORD>(lower), static_cast<WORD>(upper)));
    }
    PumpMessages();
}

void CWin32Desktop::SetProgressPos(int position) {
    if (m_hWnd != nullptr) {
        ::SendDlgItemMessageA(m_hWnd, m_progressControl, PBM_SETPOS, static_cast<WPARAM>(position),
                              0);
    }
    // The position also goes to the log a caller may keep of standard error.
    WriteProgressLine(stderr, m_caption, position, m_upper);
    PumpMessages();
}

void CWin32Desktop::ShowProgressWindow() {
    if (m_hWnd != nullptr) {
        ::ShowWindow(m_hWnd, SW_SHOW);
        ::UpdateWindow(m_hWnd);
    }
    PumpMessages();
}

void CWin32Desktop::MinimizeProgressWindow() {
    if (m_hWnd != nullptr) {
        ::ShowWindow(m_hWnd, SW_MINIMIZE);
    }
    PumpMessages();
}

void CWin32Desktop::DestroyProgressWindow() {
    if (m_hWnd != nullptr) {
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        PumpMessages();
    }
}

void CWin32Desktop::Pause(unsigned milliseconds) {
    // The window keeps drawing while the run waits.
    const ULONGLONG until = ::GetTickCount64() + milliseconds;
    for (;;) {
        PumpMessages();
        const ULONGLONG now = ::GetTickCount64();
        if (now >= until) {
            return;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now),
                                    QS_ALLINPUT);
    }
}
