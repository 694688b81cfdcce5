// A started program, owned until it has ended. The command line is handed to the
// platform's command interpreter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "framework/CString.h"

class CProcess {
  public:
    // Starts the command line in currentDir with no window of its own; nothing
    // when the program cannot be started, and then *osError (when given) holds
    // the system's error number. With captureErrorOutput, what the program
    // writes to its error output is kept for Wait.
    static std::optional<CProcess> Start(const CString& commandLine, const CString& currentDir,
                                         bool captureErrorOutput = false, long* osError = nullptr);

    CProcess(CProcess&& other) noexcept;
    CProcess& operator=(CProcess&& other) noexcept;
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    // A process still running is waited for: none is ever left behind.
    ~CProcess();

    // Blocks until the process has ended; returns its exit status (-1 when killed).
    int Wait();
    // As Wait, and gives the first limit bytes of what the process wrote to its
    // error output while it ran (nothing unless captured). The rest is read and
    // dropped, so the process never stalls on a full pipe.
    int Wait(CString& errorOutput, std::size_t limit);

  private:
    // The reading end of the pipe (the platform's handle, -1 when closed) that takes the process's
    // error output.
    class ErrorPipe {
      public:
        explicit ErrorPipe(std::intptr_t handle = -1) : m_handle(handle) {}
        ErrorPipe(ErrorPipe&& other) noexcept;
        ErrorPipe& operator=(ErrorPipe&& other) noexcept;
        ErrorPipe(const ErrorPipe&) = delete;
        ErrorPipe& operator=(const ErrorPipe&) = delete;
        ~ErrorPipe();
        [[nodiscard]] std::intptr_t get() const { return m_handle; }
        [[nodiscard]] bool IsOpen() const { return m_handle != -1; }
        void Close();

      private:
        std::intptr_t m_handle;
    };

    static constexpr std::intptr_t kNoHandle = -1;
    CProcess(std::intptr_t handle, ErrorPipe errorPipe)
        : m_hProcess(handle), m_errorPipe(std::move(errorPipe)) {}
    // The platform's own handle of the running process, kNoHandle once waited for.
    std::intptr_t m_hProcess = kNoHandle;
    ErrorPipe m_errorPipe;
};
