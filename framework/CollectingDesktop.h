// A desktop that draws nothing and waits for nothing: the texts of its message
// boxes are kept for whoever runs the update without a user (a dry run, a test).
#pragma once

#include <string>
#include <vector>

#include "framework/CDesktop.h"

class CCollectingDesktop : public CDesktop {
  public:
    void ShowMessageBox(const CString& /*caption*/, const CString& text) override {
        m_messages.push_back(text.str());
    }
    void CreateProgressWindow(const CString& /*caption*/,
                              const CWindowResources& /*resources*/) override {}
    void SetProgressRange(int /*lower*/, int /*upper*/) override {}
    void SetProgressPos(int /*position*/) override {}
    void ShowProgressWindow() override {}
    void MinimizeProgressWindow() override {}
    void DestroyProgressWindow() override {}
    void Pause(unsigned /*milliseconds*/) override {}

    std::vector<std::string> m_messages;
};
