// What a started program's handle does the same on every platform: it moves,
// and what is still running when it goes is ended.
#include "framework/CProcess.h"

#include <algorithm>
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
    : m_hProcess(std::exchange(other.m_hProcess, kNoHandle)),
      m_hGroup(std::exchange(other.m_hGroup, kNoHandle)),
      m_errorPipe(std::move(other.m_errorPipe)) {}

CProcess& CProcess::operator=(CProcess&& other) noexcept {
    if (this != &other) {
        End();
        m_hProcess = std::exchange(other.m_hProcess, kNoHandle);
        m_hGroup = std::exchange(other.m_hGroup, kNoHandle);
        m_errorPipe = std::move(other.m_errorPipe);
    }
    return *this;
}

CProcess::~CProcess() {
    End();
}

int CProcess::Wait() {
    CString dropped;
    return Wait(dropped, 0);
}

std::optional<std::chrono::milliseconds> CProcess::NextWait(
    std::chrono::steady_clock::time_point start, std::chrono::milliseconds timeLimit) {
    if (timeLimit == kNoTimeLimit) {
        return kWaitSlice;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        start + timeLimit - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return std::nullopt;
    }
    return std::min(kWaitSlice, left);
}
