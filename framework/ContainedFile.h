// Looking up a file by a name that must keep inside one directory.
#pragma once

#include "framework/CString.h"

struct ContainedFile {
    enum Verdict {
        regularFile,  // a regular file inside the directory
        missing,      // no entry of that name
        refused,      // anything else; m_strReason says why
    };
    Verdict m_verdict = missing;
    CString m_strReason;  // e.g. "leaves the directory", "is a named pipe"
    CString m_strPath;    // a regular file's path, as the name resolves; for a missing
                          // one the path the name means, in the platform's own separators
};

// Looks name up below dir one component at a time, without following any link
// and without opening anything: empty and "." components are skipped and ".."
// goes back one folder, so the name resolves to the path it means. An absolute
// name, a drive, a ".." that leaves dir, a link on the way, a path longer than
// the platform takes (never cut short) and anything but a regular file at the
// end are refused.
[[nodiscard]] ContainedFile FindContainedFile(const CString& dir, const CString& name);
