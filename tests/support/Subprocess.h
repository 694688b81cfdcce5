// Runs a program to its end with its output captured: how the tests drive the
// real binaries.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct SubprocessResult {
    int exitCode = -1;      // -1 when ended by a signal
    int endSignal = 0;      // the signal that ended it, or 0
    bool timedOut = false;  // killed because it outlived the time allowed
    double seconds = 0;     // from start to end
    // The most memory the program held at once (resident), in KiB; at least what
    // the test process held when it started the program, which shares it until exec.
    long peakKiB = 0;
    std::string output;  // standard output and standard error, interleaved
};

struct SubprocessOptions {
    std::map<std::string, std::string> env;  // set on top of the test's environment
    std::string workingDir;                  // empty: the test's
    std::string signalOnOutput;              // send signal once the output holds this
    double signalAfterSeconds = 0;           // ... and this long after
    int signal = SIGINT;
    // Called with the whole output so far, each time more arrives.
    std::function<void(const std::string& output)> onOutput;
    double secondsAllowed = 600;  // then killed (SIGKILL) and reported as timed out
};

SubprocessResult RunSubprocess(const std::vector<std::string>& argv,
                               const SubprocessOptions& options = {});

// Whether the process still runs (an ended one waiting to be reaped does not).
bool IsAlive(pid_t pid);
