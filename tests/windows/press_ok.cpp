// Acknowledges a message box for the end-to-end tests: waits for a box with the
// given caption, writes its text to standard output and presses OK.
//   lorbanix-tests-press-ok CAPTION [SECONDS]
// Exit code 0 once pressed, 1 when no box appeared in time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/win32/WinApi.h"

namespace {
// The text control of a standard message box.
constexpr int kMessageText = 0xFFFF;
// The window class of dialog boxes.
constexpr const char* kDialogClass = "#32770";
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lorbanix-tests-press-ok CAPTION [SECONDS]\n");
        return 2;
    }
    const int seconds = argc >= 3 ? std::atoi(argv[2]) : 60;
    const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000U;
    while (::GetTickCount64() < until) {
        const HWND box = ::FindWindowA(kDialogClass, argv[1]);
        const HWND text = box != nullptr ? ::GetDlgItem(box, kMessageText) : nullptr;
        // A box still being built has no text yet: it is pressed once it is shown whole.
        std::string buffer(4096, '\0');
        const int length =
            text != nullptr && ::IsWindowVisible(box) != FALSE
                ? ::GetWindowTextA(text, buffer.data(), static_cast<int>(buffer.size()))
                : 0;
        if (length > 0) {
            std::fwrite(buffer.data(), 1, static_cast<std::size_t>(length), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            ::SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
            return 0;
        }
        ::Sleep(100);
    }
    return 1;
}
