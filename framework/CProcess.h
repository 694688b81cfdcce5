// A started program, owned until it has ended. The command line is cut into the
// program and its arguments by the stand-in for the command interpreter
// (framework/CommandInterpreter.h) and the program is started itself, on every
// platform: no interpreter reads the line. The program and everything it starts
// are one group that never outlives its owner: it is ended when the owner lets
// go of it before it has ended, and it dies with the owner's process.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "framework/CString.h"

class CLockFile;

// How a program is started.
struct ProcessStartOptions {
    // What the program writes to its error output is kept for Wait.
    bool captureErrorOutput = false;
    // A lock the program holds too, and everything it starts, for as long as
    // any of them lives; nullptr for none. No other open file of this process
    // reaches the program.
    const CLockFile* sharedLock = nullptr;
};

class CProcess {
  public:
    using StartOptions = ProcessStartOptions;

    // Starts the command line in currentDir with no window of its own; nothing
    // when the program cannot be started, and then *osError (when given) holds
    // the system's error number.
    static std::optional<CProcess> Start(const CString& commandLine, const CString& currentDir,
                                         const StartOptions& options = {}, long* osError = nullptr);

    CProcess(CProcess&& other) noexcept;
    CProcess& operator=(CProcess&& other) noexcept;
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    // A process still running is ended with everything it started: none is ever
    // left behind.
    ~CProcess();

    // What Wait gives for a process that did not end within its time limit.
    static constexpr int kTimedOut = -2;
    static constexpr std::chrono::milliseconds kNoTimeLimit = std::chrono::milliseconds::max();

    // Blocks until the process has ended; returns its exit status (-1 when killed).
    int Wait();
    // As Wait, and gives the first limit bytes of what the process wrote to its
    // error output while it ran (nothing unless captured). The rest is read and
    // dropped, so the process never stalls on a full pipe. Once the process has
    // ended, whatever it started and left running is ended too. A process still
    // running after timeLimit is ended with everything it started, and Wait
    // gives kTimedOut.
    int Wait(CString& errorOutput, std::size_t limit,
             std::chrono::milliseconds timeLimit = kNoTimeLimit);

  private:
    // How long one wait of Wait lasts at most: the error output is read and
    // the window served between two.
    static constexpr std::chrono::milliseconds kWaitSlice{50};
    // The next wait of a Wait begun at start: at most kWaitSlice, never past
    // timeLimit; nothing once timeLimit has passed.
    static std::optional<std::chrono::milliseconds> NextWait(
        std::chrono::steady_clock::time_point start, std::chrono::milliseconds timeLimit);

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
    CProcess(std::intptr_t handle, std::intptr_t group, ErrorPipe errorPipe)
        : m_hProcess(handle), m_hGroup(group), m_errorPipe(std::move(errorPipe)) {}
    // Ends the process and everything it started, and lets go of both (nothing
    // once waited for).
    void End() noexcept;
    // The platform's own handle of the running process, kNoHandle once waited for.
    std::intptr_t m_hProcess = kNoHandle;
    // The platform's handle of the group of the process and what it starts (a
    // process group, a job), kNoHandle once waited for.
    std::intptr_t m_hGroup = kNoHandle;
    ErrorPipe m_errorPipe;
};
