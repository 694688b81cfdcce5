// What a started program's handle does the same on every platform: it moves,
// and it is waited for before it goes.
#include "framework/CProcess.h"

#include <utility>

CProcess::ErrorPipe::ErrorPipe(ErrorPipe&& other) noexcept : m_handle(other.m_handle) {
    other.m_handle = -1;
}

CProcess::ErrorPipe& CProcess::ErrorPipe::operator=(ErrorPipe&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = other.m_handle;
        other.m_handle = -1;
    }
    return *this;
}

CProcess::ErrorPipe::~ErrorPipe() {
    Close();
}

CProcess::CProcess(CProcess&& other) noexcept
    : m_hProcess(other.m_hProcess), m_errorPipe(std::move(other.m_errorPipe)) {
    other.m_hProcess = kNoHandle;
}

CProcess& CProcess::operator=(CProcess&& other) noexcept {
    if (this != &other) {
        Wait();
        m_hProcess = other.m_hProcess;
        m_errorPipe = std::move(other.m_errorPipe);
        other.m_hProcess = kNoHandle;
    }
    return *this;
}

CProcess::~CProcess() {
    Wait();
}

int CProcess::Wait() {
    CString dropped;
    return Wait(dropped, 0);
}
