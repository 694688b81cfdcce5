// The one place that turns an error into the text a user is shown and the exit
// code: every failure of a run is an exception of one kind per cause.
#pragma once

#include <exception>

#include "framework/CString.h"

enum class FailureCause {
    database,    // the data source refused, failed or lost the connection
    file,        // a file could not be opened, read, written or removed
    spoolInput,  // a spool file holds something the update refuses
    spoolKey,    // a spool key the data source's look-up refuses: as a database error
    noChassis,   // the ID card names no chassis number
    stage,       // a stage of the update did not do its work
    misuse,      // a framework class used against its rules
    memory,      // not enough memory
    unknown,
};

struct RunFailure {
    FailureCause m_cause;
    CString m_strMessage;  // empty: nothing (more) to show
    int m_nExitCode;
    // The run ends at once, skipping shut-down, so that the work directory stays
    // for inspection; otherwise it shuts down normally.
    bool m_bEndsRunAtOnce;
};

// Classifies the error. A request to end the run (CExitRequest) is not a
// failure: it is raised again, so that no handler can swallow it.
[[nodiscard]] RunFailure DescribeFailure(const std::exception_ptr& error);
// Describes the error and shows its text in a message box (when it has one).
RunFailure ReportFailure(const std::exception_ptr& error);
