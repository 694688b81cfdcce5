// A started program, owned until it has ended. The command line is handed to the
// platform's command interpreter.
#pragma once

#include <optional>

#include "framework/CString.h"

class CProcess {
  public:
    // Starts the command line in currentDir with no window of its own; nothing
    // when the program cannot be started.
    static std::optional<CProcess> Start(const CString& commandLine, const CString& currentDir);

    CProcess(CProcess&& other) noexcept;
    CProcess& operator=(CProcess&& other) noexcept;
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    // A process still running is waited for: none is ever left behind.
    ~CProcess();

    // Blocks until the process has ended; returns its exit status (-1 when killed).
    int Wait();

  private:
    explicit CProcess(long id) : m_id(id) {}
    long m_id = -1;
};
