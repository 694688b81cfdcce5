#include "framework/CWinApp.h"

#include "framework/CDesktop.h"
#include "framework/Kernel.h"

namespace {
CWinApp* g_app = nullptr;
}

void AfxExit(int exitCode) {
    throw CExitRequest(exitCode);
}

CWinApp::CWinApp() {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

int CWinApp::Run() {
    try {
        InitInstance();
    } catch (const CExitRequest& request) {
        return request.m_nExitCode;
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() {
    return g_app;
}

CString AfxGetAppName() {
    CString name = ModuleFilePath();
    name = name.Mid(name.ReverseFind(PathSeparator()[0]) + 1);
    const int dot = name.ReverseFind('.');
    return dot > 0 ? name.Left(dot) : name;
}

void AfxMessageBox(const CString& text) {
    if (g_app != nullptr) {
        g_app->m_strShownMessages +=
            g_app->m_strShownMessages.IsEmpty() ? text : CString("\n") + text;
    }
    Desktop().ShowMessageBox(AfxGetAppName(), text);
}

int AfxWinMain() {
    EndRunOnCrash();
    IgnoreCloseRequests();
    SetDesktop(CreatePlatformDesktop());
    CWinApp* app = AfxGetApp();
    return app != nullptr ? app->Run() : 1;
}
