#include "util/ProcessRunner.h"

int RunAndWait(const CString& commandLine, const CString& currentDir) {
    std::optional<CProcess> process = CProcess::Start(commandLine, currentDir);
    if (!process) {
        return 0;
    }
    process->Wait();
    return 1;
}

int RunAndWait(const CString& commandLine, const CString& currentDir, ProcessOutcome& outcome,
               const RunLimits& limits) {
    outcome = ProcessOutcome();
    CProcess::StartOptions options;
    options.captureErrorOutput = true;
    options.sharedLock = limits.sharedLock;
    std::optional<CProcess> process =
        CProcess::Start(commandLine, currentDir, options, &outcome.startError);
    if (!process) {
        return 0;
    }
    const int status = process->Wait(outcome.errorOutput, kErrorOutputLimit, limits.timeLimit);
    outcome.timedOut = status == CProcess::kTimedOut;
    outcome.exitCode = outcome.timedOut ? -1 : status;
    return 1;
}
