// Runs a command line and waits for it to end.
#pragma once

#include <cstddef>

#include "framework/CString.h"

// How a program that was run ended.
struct ProcessOutcome {
    long startError = 0;  // the system's error number when it could not be started
    int exitCode = -1;    // its exit code; -1 when it did not end by itself
    CString errorOutput;  // the first kErrorOutputLimit bytes it wrote to its error output
};
inline constexpr std::size_t kErrorOutputLimit = 4096;

// 1 when the program was started and has ended (whatever its exit code), 0 when
// it could not be started. Shows nothing.
int RunAndWait(const CString& commandLine, const CString& currentDir);
// The same, and tells how the program ended.
int RunAndWait(const CString& commandLine, const CString& currentDir, ProcessOutcome& outcome);
