// Runs a command line and waits for it to end.
#pragma once

#include <chrono>
#include <cstddef>

#include "framework/CProcess.h"
#include "framework/CString.h"

class CLockFile;

// How a program that was run ended.
struct ProcessOutcome {
    long startError = 0;    // the system's error number when it could not be started
    int exitCode = -1;      // its exit code; -1 when it did not end by itself
    bool timedOut = false;  // it was still running at the time limit and was ended
    CString errorOutput;    // the first kErrorOutputLimit bytes it wrote to its error output
};
inline constexpr std::size_t kErrorOutputLimit = 4096;

// What the run of a program is bound to.
struct RunLimits {
    // The program and what it starts are ended when it has not ended by then.
    std::chrono::milliseconds timeLimit = CProcess::kNoTimeLimit;
    // Held by the program and what it starts as long as any of them lives.
    const CLockFile* sharedLock = nullptr;
};

// 1 when the program was started and has ended (whatever its exit code), 0 when
// it could not be started. Shows nothing. Whatever the program leaves running
// is ended with it.
int RunAndWait(const CString& commandLine, const CString& currentDir);
// The same, and tells how the program ended.
int RunAndWait(const CString& commandLine, const CString& currentDir, ProcessOutcome& outcome,
               const RunLimits& limits = {});
