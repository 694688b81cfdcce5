#include "util/ProcessRunner.h"

#include "framework/CProcess.h"

int RunAndWait(const CString& commandLine, const CString& currentDir) {
    std::optional<CProcess> process = CProcess::Start(commandLine, currentDir);
    if (!process) {
        return 0;
    }
    process->Wait();
    return 1;
}

int RunAndWait(const CString& commandLine, const CString& currentDir, ProcessOutcome& outcome) {
    outcome = ProcessOutcome();
    std::optional<CProcess> process =
        CProcess::Start(commandLine, currentDir, true, &outcome.startError);
    if (!process) {
        return 0;
    }
    outcome.exitCode = process->Wait(outcome.errorOutput, kErrorOutputLimit);
    return 1;
}
