#include "framework/CDesktop.h"

namespace {
std::unique_ptr<CDesktop>& Current() {
    static std::unique_ptr<CDesktop> desktop;
    return desktop;
}
}  // namespace

CDesktop& Desktop() {
    if (!Current()) {
        Current() = CreatePlatformDesktop();
    }
    return *Current();
}

void SetDesktop(std::unique_ptr<CDesktop> desktop) {
    Current() = std::move(desktop);
}
