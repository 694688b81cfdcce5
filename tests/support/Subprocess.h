// Runs a program to its end with its output captured: how the tests drive the
// real binaries.
#pragma once

#include <map>
#include <string>
#include <vector>

struct SubprocessResult {
    int exitCode = -1;      // -1 when killed by a signal
    std::string output;     // standard output and standard error, interleaved
    bool timedOut = false;  // killed because it ran past timeoutSeconds
};

struct SubprocessOptions {
    std::map<std::string, std::string> env;  // set on top of the test's environment
    std::string workingDir;                  // empty: the test's
    std::string interruptOnOutput;           // send SIGINT once the output holds this
    int timeoutSeconds = 0;                  // killed when still running after this; 0: never
};

SubprocessResult RunSubprocess(const std::vector<std::string>& argv,
                               const SubprocessOptions& options = {});
