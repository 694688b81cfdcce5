// Where the tool works: the medium it was started from, and the work directory
// under the product's install location.
#pragma once

#include "framework/CString.h"

// The directory part of the executable's path, without a trailing separator
// (empty when the path has none).
[[nodiscard]] CString ExeDirectoryOf(const CString& modulePath);
// The install location registered with the product's ODBC driver (or the
// default one) followed by the work folder "Velko".
[[nodiscard]] CString ResolveWorkDirectory();
// The install location a work directory lies in, as it was registered.
[[nodiscard]] CString InstallLocationOf(const CString& workDir);
// The file that one run at a time holds: beside the work directory, so that
// clearing the directory never touches it.
[[nodiscard]] CString RunLockPath(const CString& workDir);
// The file each run adds its record to: beside the run lock, under a name that
// sorts next to it.
[[nodiscard]] CString RunHistoryPath(const CString& workDir);
