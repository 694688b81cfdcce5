// A desktop for in-process tests: message boxes are recorded, nothing waits.
#pragma once

#include <string>
#include <vector>

#include "framework/CDesktop.h"

// Keeps the texts of the message boxes (what the in-process tests look at); the
// window itself is drawn nowhere.
class RecordingDesktop : public CDesktop {
  public:
    void ShowMessageBox(const CString& /*caption*/, const CString& text) override {
        messages.push_back(text.str());
    }
    void CreateProgressWindow(const CString& /*caption*/,
                              const CWindowResources& /*resources*/) override {}
    void SetProgressRange(int /*lower*/, int /*upper*/) override {}
    void SetProgressPos(int /*position*/) override {}
    void ShowProgressWindow() override {}
    void MinimizeProgressWindow() override {}
    void DestroyProgressWindow() override {}
    void Pause(unsigned /*milliseconds*/) override {}

    std::vector<std::string> messages;
};

// Installs a fresh recording desktop for the length of a test and gives it back.
RecordingDesktop& InstallRecordingDesktop();
