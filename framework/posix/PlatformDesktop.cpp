#include "framework/CDesktop.h"
#include "framework/ConsoleDesktop.h"
#include "framework/posix/GtkDesktop.h"

std::unique_ptr<CDesktop> CreatePlatformDesktop() {
    if (std::unique_ptr<CGtkDesktop> window = CGtkDesktop::Open()) {
        return window;
    }
    return std::make_unique<CConsoleDesktop>();
}
