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
};

// Looks name up below dir one component at a time, without following any link
// and without opening anything: an absolute name, a drive, a ".." that leaves
// dir, a link on the way, and anything but a regular file at the end are refused.
[[nodiscard]] ContainedFile FindContainedFile(const CString& dir, const CString& name);
