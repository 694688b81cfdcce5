// Watches the tool's progress window for the end-to-end tests, as a user and
// the system would meet it:
//   lorbanix-tests-watch-window hold CAPTION SECONDS
//       presses the window's caption, as a user who holds the mouse button
//       there, and lets go after SECONDS;
//   lorbanix-tests-watch-window hung CAPTION
//       asks the system every 100 ms whether the window looks hung, until the
//       window is gone, and writes "polls=N hung=M";
//   lorbanix-tests-watch-window shown CAPTION
//       writes "shown" once the window is seen on the screen, "unseen" when the
//       run ends (a box of the run appears, or the window goes) before that.
// Each first writes "watching", then waits up to 60 s for the window to exist. Exit code 0 when it
// could watch, 1 when no window came, 2 on wrong arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/win32/WinApi.h"

namespace {
constexpr DWORD kPollMs = 100;
constexpr ULONGLONG kWaitForWindowMs = 60000;
// The caption of the tool's message boxes.
constexpr const wchar_t* kBoxCaption = L"lorbanix-update";
constexpr const wchar_t* kDialogClass = L"#32770";

std::wstring Wide(const char* text) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

HWND AwaitWindow(const std::wstring& caption, bool visible) {
    const ULONGLONG until = ::GetTickCount64() + kWaitForWindowMs;
    while (::GetTickCount64() < until) {
        const HWND window = ::FindWindowW(kDialogClass, caption.c_str());
        if (window != nullptr && (!visible || ::IsWindowVisible(window) != FALSE)) {
            return window;
        }
        ::Sleep(10);
    }
    return nullptr;
}

int Hold(const std::wstring& caption, int seconds) {
    const HWND window = AwaitWindow(caption, true);
    if (window == nullptr) {
        return 1;
    }
    RECT frame{};
    ::GetWindowRect(window, &frame);
    // The middle of the caption, in screen co-ordinates.
    const int x = (frame.left + frame.right) / 2;
    const int y = frame.top + ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION) / 2;
    ::PostMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(x, y));
    ::Sleep(static_cast<DWORD>(seconds) * 1000U);
    ::PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
    std::printf("held\n");
    return 0;
}

int Hung(const std::wstring& caption) {
    const HWND window = AwaitWindow(caption, false);
    if (window == nullptr) {
        return 1;
    }
    int polls = 0;
    int hung = 0;
    while (::IsWindow(window) != FALSE) {
        ++polls;
        if (::IsHungAppWindow(window) != FALSE) {
            ++hung;
        }
        ::Sleep(kPollMs);
    }
    std::printf("polls=%d hung=%d\n", polls, hung);
    return 0;
}

int Shown(const std::wstring& caption) {
    const HWND window = AwaitWindow(caption, false);
    if (window == nullptr) {
        return 1;
    }
    for (;;) {
        if (::IsWindowVisible(window) != FALSE) {
            std::printf("shown\n");
            return 0;
        }
        if (::IsWindow(window) == FALSE || ::FindWindowW(kDialogClass, kBoxCaption) != nullptr) {
            std::printf("unseen\n");
            return 0;
        }
        ::Sleep(1);
    }
}
}  // namespace

int main(int argc, char** argv) {
    // Whoever starts the run waits for this line: the watcher sees all of it.
    std::printf("watching\n");
    std::fflush(stdout);
    if (argc >= 4 && std::strcmp(argv[1], "hold") == 0) {
        return Hold(Wide(argv[2]), std::atoi(argv[3]));
    }
    if (argc >= 3 && std::strcmp(argv[1], "hung") == 0) {
        return Hung(Wide(argv[2]));
    }
    if (argc >= 3 && std::strcmp(argv[1], "shown") == 0) {
        return Shown(Wide(argv[2]));
    }
    std::fprintf(stderr, "usage: lorbanix-tests-watch-window hold|hung|shown CAPTION [SECONDS]\n");
    return 2;
}
