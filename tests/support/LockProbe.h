// Whether a run lock can be taken at a path, as another run would try it.
#pragma once

#include "framework/CFileException.h"
#include "framework/CLockFile.h"
#include "framework/CString.h"

// CFileException::none when the lock could be taken (and is let go at once),
// else the cause of the refusal.
inline int CauseOfTaking(const CString& path) {
    try {
        const CLockFile lock(path);
    } catch (const CFileException& error) {
        return error.m_cause;
    }
    return CFileException::none;
}
