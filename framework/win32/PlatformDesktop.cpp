#include "framework/CDesktop.h"
#include "framework/win32/Win32Desktop.h"

std::unique_ptr<CDesktop> CreatePlatformDesktop() {
    return std::make_unique<CWin32Desktop>();
}
