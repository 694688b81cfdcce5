#include "framework/win32/Win32Desktop.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/ConsoleDesktop.h"
#include "framework/win32/WideText.h"

namespace {
HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

// Commands of the system menu that would start a loop of the system's own
// (moving, sizing, the menu itself) in which the run stands still, or close or
// enlarge a window that takes no input.
bool IsRefusedCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case SC_CLOSE:  // from the system menu or Alt+F4, dropped like WM_CLOSE
        case SC_MOVE:
        case SC_SIZE:
        case SC_KEYMENU:
        case SC_MOUSEMENU:
        case SC_MAXIMIZE:
            return true;
        default:
            return false;
    }
}

// Presses on the caption, the frame and their buttons: each would start one
// of those loops.
bool IsNonClientPress(UINT message) {
    return message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK;
}

void PaintIcon(HWND window) {
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(window, &paint);
    RECT area{};
    ::GetClientRect(window, &area);
    const auto icon = reinterpret_cast<HICON>(  // NOLINT(performance-no-int-to-ptr)
        ::SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    const int x = (area.right - area.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (area.bottom - area.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (icon != nullptr) {
        ::DrawIcon(dc, x, y, icon);
    }
    ::EndPaint(window, &paint);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CLOSE:  // the window stays; the update goes on
            return TRUE;
        case WM_SYSCOMMAND:
            return IsRefusedCommand(wParam) ? TRUE : FALSE;
        case WM_NCHITTEST: {
            // The caption and the frame answer as the client area: a press
            // there is input to a window that takes none.
            const LRESULT hit = ::DefWindowProcW(window, message, wParam, lParam);
            const bool inside = hit != HTNOWHERE && hit != HTERROR && hit != HTTRANSPARENT;
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, inside ? HTCLIENT : hit);
            return TRUE;
        }
        case WM_PAINT:
            if (::IsIconic(window) != FALSE) {
                // Minimised: the icon stands for the window.
                PaintIcon(window);
                return TRUE;
            }
            return FALSE;
        default:
            return IsNonClientPress(message) ? TRUE : FALSE;
    }
}

bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || IsNonClientPress(message);
}

// A copy of the dialog template without the visible style, so that the window
// stays unseen until it is shown; empty when the template is missing.
std::vector<char> HiddenTemplate(int resource) {
    const HRSRC found = ::FindResourceW(Instance(), MAKEINTRESOURCEW(resource),
                                        MAKEINTRESOURCEW(5));  // RT_DIALOG
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(Instance(), found) : nullptr;
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    const auto* start = static_cast<const char*>(bytes);
    std::vector<char> copy(start, start + ::SizeofResource(Instance(), found));
    // An extended template starts with version 1 and signature 0xFFFF, and has
    // its style at byte 12; the plain one starts with its style.
    WORD head[2]{};
    std::memcpy(head, copy.data(), std::min(copy.size(), sizeof(head)));
    const std::size_t styleAt = head[0] == 1 && head[1] == 0xFFFF ? 12 : 0;
    DWORD style = 0;
    if (copy.size() < styleAt + sizeof(style)) {
        return {};
    }
    std::memcpy(&style, copy.data() + styleAt, sizeof(style));
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(copy.data() + styleAt, &style, sizeof(style));
    return copy;
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
    m_hIcon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON),
                                              ::GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(resource),
                                                   IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
}

void CWin32Desktop::PumpMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (IsInput(message.message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void CWin32Desktop::ShowMessageBox(const CString& caption, const CString& text) {
    // The text also goes to the log a caller may keep of standard error.
    WriteMessageLine(stderr, caption, text);
    ::MessageBoxW(m_hWnd, Widened(text.str()).c_str(), Widened(caption.str()).c_str(), MB_OK);
    PumpMessages();
}

void CWin32Desktop::CreateProgressWindow(const CString& caption,
                                         const CWindowResources& resources) {
    DestroyProgressWindow();
    m_caption = caption;
    m_progressControl = resources.progressControl;
    LoadIcons(resources.iconResource);
    const std::vector<char> dialog = HiddenTemplate(resources.dialogTemplate);
    if (dialog.empty()) {
        return;
    }
    m_hWnd = ::CreateDialogIndirectParamW(
        Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), nullptr, DialogProc, 0);
    if (m_hWnd == nullptr) {
        return;
    }
    ::SetWindowTextW(m_hWnd, Widened(caption.str()).c_str());
    if (m_hIcon != nullptr) {
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    }
    if (m_hSmallIcon != nullptr) {
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    }
    PumpMessages();
}

void CWin32Desktop::SetProgressRange(int lower, int upper) {
    m_upper = upper;
    if (m_hWnd != nullptr) {
        ::SendDlgItemMessageW(m_hWnd, m_progressControl, PBM_SETRANGE, 0,
                              MAKELPARAM(static_cast<WORD>(lower), static_cast<WORD>(upper)));
    }
    PumpMessages();
}

void CWin32Desktop::SetProgressPos(int position) {
    if (m_hWnd != nullptr) {
        ::SendDlgItemMessageW(m_hWnd, m_progressControl, PBM_SETPOS, static_cast<WPARAM>(position),
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
