// What the platform tells FindContainedFile's walk: how names are written and
// what one path is. The walk itself (framework/ContainedFile.cpp) is shared.
#pragma once

#include <string>

#include "framework/CString.h"

struct PathLookup {
    enum Kind {
        none,       // nothing of that name
        directory,  // a real directory
        file,       // a regular file
        link,       // a symbolic link or another redirection, never followed
        other,      // a named pipe, a device, a socket; m_strReason says which
        failed,     // the look-up itself failed; m_strReason says why
    };
    Kind m_kind = none;
    CString m_strReason;
};

// Whether ch separates the components of a name.
[[nodiscard]] bool IsNameSeparator(char ch);
// Why the name as a whole is refused (absolute, a drive, a stream); empty when it is not.
[[nodiscard]] CString RefusedName(const std::string& name);
// Why one component is refused wherever it stands (a device name); empty when it is not.
[[nodiscard]] CString RefusedComponent(const std::string& part);
// Why the platform's file calls cannot take a path this long; empty when they can.
[[nodiscard]] CString TooLongReason(const std::string& path);
// What path is, looked at by itself: a link is never followed. The one look-up
// of the platform: the walk and GetPathKind (framework/Kernel.h) are made of it.
[[nodiscard]] PathLookup LookUpPath(const std::string& path);
