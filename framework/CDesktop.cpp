#include "framework/CDesktop.h"

#include <chrono>

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

void KeepWindowServed() {
    using Clock = std::chrono::steady_clock;
    static Clock::time_point lastServed;
    const Clock::time_point now = Clock::now();
    if (now - lastServed >= std::chrono::milliseconds(kServeIntervalMs)) {
        lastServed = now;
        Desktop().ServeWindow();
    }
}
