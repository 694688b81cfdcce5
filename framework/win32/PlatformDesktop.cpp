#include "framework/CDesktop.h"
#include "framework/ConsoleDesktop.h"
#include "framework/win32/Win32Desktop.h"
#include "framework/win32/WinApi.h"

namespace {
// Whether someone can see and answer a window: a service and a task run without
// a desktop sit on a window station that nobody sees, where a box would wait forever.
bool CanAnswerBoxes() {
    const HWINSTA station = ::GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    if (station == nullptr ||
        ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) == FALSE) {
        return true;  // cannot tell: as on every ordinary desktop
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}
}  // namespace

std::unique_ptr<CDesktop> CreatePlatformDesktop() {
    if (!CanAnswerBoxes()) {
        // As where no display is reachable: messages on standard error, nothing waits.
        return std::make_unique<CConsoleDesktop>();
    }
    return std::make_unique<CWin32Desktop>();
}
