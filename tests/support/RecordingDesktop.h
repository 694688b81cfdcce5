// A desktop that records what the user would see, for in-process tests.
#pragma once

#include <string>
#include <vector>

#include "framework/CDesktop.h"

class RecordingDesktop : public CDesktop {
  public:
    void ShowMessageBox(const CString& caption, const CString& text) override {
        captions.push_back(caption.str());
        messages.push_back(text.str());
    }
    void CreateProgressWindow(const CString& caption) override { windowCaption = caption.str(); }
    void SetProgressRange(int lower, int upper) override {
        rangeLower = lower;
        rangeUpper = upper;
    }
    void SetProgressPos(int position) override { positions.push_back(position); }
    void ShowProgressWindow() override { shown = true; }
    void MinimizeProgressWindow() override { minimized = true; }
    void DestroyProgressWindow() override { destroyed = true; }
    void Pause(unsigned milliseconds) override { pausedMs += milliseconds; }

    std::vector<std::string> captions;
    std::vector<std::string> messages;
    std::vector<int> positions;
    std::string windowCaption;
    int rangeLower = 0;
    int rangeUpper = 0;
    bool shown = false;
    bool minimized = false;
    bool destroyed = false;
    unsigned pausedMs = 0;
};

// Installs a fresh recording desktop for the length of a test and gives it back.
RecordingDesktop& InstallRecordingDesktop();
