#include "framework/CDesktop.h"
#include "framework/posix/ConsoleDesktop.h"

std::unique_ptr<CDesktop> CreatePlatformDesktop() {
    return std::make_unique<CConsoleDesktop>();
}
