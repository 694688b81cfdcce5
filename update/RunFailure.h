// The one place that turns an error into the text a user is shown and the exit code.
#pragma once

#include <exception>

#include "framework/CString.h"

struct RunFailure {
    CString m_strMessage;
    int m_nExitCode;
    // A database error ends the process at once (rolled back); any other error
    // lets the run shut down normally.
    bool m_bEndsRunAtOnce;
};

[[nodiscard]] RunFailure DescribeFailure(const std::exception_ptr& error);
// Shows the error's text in a message box and returns its exit code.
int ReportFailure(const std::exception_ptr& error);
