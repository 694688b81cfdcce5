// How a run ends, as the process exit code.
#pragma once

enum ExitCode : int {
    kExitCommitted = 0,      // committed, or nothing to do (no package on the medium)
    kExitDatabaseError = 1,  // connection refused, or a database error: rolled back
    kExitNoChassis = 2,      // the ID card names no chassis number
    kExitAborted = 3,        // stopped for any other reason: nothing committed
};
