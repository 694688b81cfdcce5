// A modeless dialog window with one progress bar: created, shown, minimised and
// destroyed through the desktop. Close requests never reach it.
#pragma once

#include "framework/CDesktop.h"
#include "framework/CString.h"

class CDialog {
  public:
    CDialog(CString caption, const CWindowResources& resources)
        : m_strCaption(std::move(caption)), m_resources(resources) {}
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the window, runs OnInitDialog and then shows the window: what
    // OnInitDialog does (connecting, a failure that ends the run) happens
    // before the window is first seen.
    bool Create();
    void ShowWindow();
    // Minimises the window without destroying it.
    void CloseWindow();
    void DestroyWindow();

  protected:
    virtual bool OnInitDialog() { return true; }

  private:
    CString m_strCaption;
    CWindowResources m_resources;
    bool m_bCreated = false;
};

class CProgressCtrl {
  public:
    void SetRange(int lower, int upper);
    void SetPos(int position);
};
