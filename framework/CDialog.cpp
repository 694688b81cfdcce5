#include "framework/CDialog.h"

#include "framework/CDesktop.h"

CDialog::~CDialog() {
    DestroyWindow();
}

bool CDialog::Create() {
    Desktop().CreateProgressWindow(m_strCaption, m_resources);
    m_bCreated = true;
    const bool initialised = OnInitDialog();
    ShowWindow();
    return initialised;
}

void CDialog::ShowWindow() {
    if (m_bCreated) {
        Desktop().ShowProgressWindow();
    }
}

void CDialog::CloseWindow() {
    if (m_bCreated) {
        Desktop().MinimizeProgressWindow();
    }
}

void CDialog::DestroyWindow() {
    if (m_bCreated) {
        m_bCreated = false;
        Desktop().DestroyProgressWindow();
    }
}

void CProgressCtrl::SetRange(int lower, int upper) {
    Desktop().SetProgressRange(lower, upper);
}

void CProgressCtrl::SetPos(int position) {
    Desktop().SetProgressPos(position);
}
