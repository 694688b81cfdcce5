// Runs a command line and waits for it to end.
#pragma once

#include "framework/CString.h"

// 1 when the program was started and has ended (whatever its exit code), 0 when
// it could not be started. Shows nothing.
int RunAndWait(const CString& commandLine, const CString& currentDir);
