// The operating-system calls the tool makes directly: module path, directories,
// sleeping, close requests, and the mapping of system errors to file-error causes.
#pragma once

#include "framework/CString.h"

// Separator between a directory and a name in a path.
[[nodiscard]] const char* PathSeparator();
// dir + separator + name, by plain concatenation.
[[nodiscard]] CString PathJoin(const CString& dir, const char* name);

// Full path of the running executable.
[[nodiscard]] CString ModuleFilePath();

// What a name is, looked at by itself: a link is never followed.
enum class PathKind {
    none,       // nothing of that name (or it cannot be looked up)
    directory,  // a real directory
    file,       // a regular file
    link,       // a symbolic link (or another redirection), whatever it points to
    other,      // a named pipe, a device, a socket
};
[[nodiscard]] PathKind GetPathKind(const CString& path);

// One level, the owner's alone where the platform has owners; false when it
// could not be created.
bool MakeDirectory(const CString& path);
// Takes every access of other users away from a directory or file the tool made
// (the owner keeps its own, a program its right to run); false (LastOsError
// says why) for a link, or what belongs to another user. Windows keeps the
// access inherited from the folder above.
bool KeepToOwner(const CString& path);
// Takes out of the way what would keep the tool from removing an entry of its
// own work directory: a read-only mark (Windows), a folder its owner may not
// write or search (POSIX). Never through a link; false (LastOsError says why)
// when the change was refused. A missing entry needs nothing.
bool AllowRemoval(const CString& path);
// Only an empty directory; false when it could not be removed.
bool RemoveEmptyDirectory(const CString& path);
bool ChangeDirectory(const CString& path);
// The error number of the last failed call above.
[[nodiscard]] long LastOsError();
// Gives target the permission bits of source (so a copied program can run).
void CopyPermissionBits(const CString& source, const CString& target);

void SleepMilliseconds(unsigned milliseconds);

// Keyboard and hang-up signals that would end the run are ignored from here on.
void IgnoreCloseRequests();
// A crash ends the process at once with exit code 3 and a line on standard error:
// never a wait in a debugger or a dialog, never a code that reads as success.
void EndRunOnCrash();

[[nodiscard]] int FileCauseFromOsError(long osError);
// The system's own error number for a cause found by looking rather than by a
// failed call (a name that is missing, a path that is not a directory), so the
// message carries the system's text for it; 0 when it has none.
[[nodiscard]] long OsErrorForCause(int cause);
[[nodiscard]] CString SystemErrorText(long osError);
