// File error raised by every open, read, write, close and remove that fails.
#pragma once

#include <exception>

#include "framework/CString.h"

class CFileException : public std::exception {
  public:
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    CFileException(int cause, long osError, CString fileName);

    // Raises the error for the operating system's error number on the named file.
    [[noreturn]] static void ThrowOsError(long osError, const CString& fileName);

    // The cause in words, e.g. "Access denied".
    [[nodiscard]] static const char* CauseText(int cause);
    // "<cause> (<system text>): <file>", the text a user is shown; the system's
    // text only where it is not the cause's own words again.
    [[nodiscard]] CString GetErrorMessage() const;
    [[nodiscard]] const char* what() const noexcept override { return m_message.GetString(); }

    int m_cause;
    long m_lOsError;
    CString m_strFileName;

  private:
    CString m_message;
};
