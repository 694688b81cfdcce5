#include "tests/support/RecordingDesktop.h"

#include <memory>

RecordingDesktop& InstallRecordingDesktop() {
    auto desktop = std::make_unique<RecordingDesktop>();
    RecordingDesktop& ref = *desktop;
    SetDesktop(std::move(desktop));
    return ref;
}
