#include "framework/CFileException.h"

#include <array>

#include "framework/Kernel.h"

namespace {
bool SameWords(CString a, CString b) {
    return a.MakeLower() == b.MakeLower();
}
}  // namespace

CFileException::CFileException(int cause, long osError, CString fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {
    m_message = CString(CauseText(m_cause));
    // The system's own words only where they say more than the cause: each cause once.
    if (const CString said = m_lOsError != 0 ? SystemErrorText(m_lOsError) : CString();
        !said.IsEmpty() && !SameWords(said, m_message)) {
        m_message += " (" + said + ")";
    }
    m_message += ": " + m_strFileName;
}

void CFileException::ThrowOsError(long osError, const CString& fileName) {
    throw CFileException(FileCauseFromOsError(osError), osError, fileName);
}

const char* CFileException::CauseText(int cause) {
    static constexpr std::array<const char*, 15> kTexts = {
        "No error",
        "File error",
        "File not found",
        "Bad path",
        "Too many open files",
        "Access denied",
        "Invalid file",
        "Cannot remove the current directory",
        "Directory full",
        "Bad seek",
        "Hardware I/O error",
        "Sharing violation",
        "Lock violation",
        "Disk full",
        "Unexpected end of file",
    };
    return cause >= 0 && cause < static_cast<int>(kTexts.size())
               ? kTexts.at(static_cast<std::size_t>(cause))
               : kTexts[1];
}

CString CFileException::GetErrorMessage() const {
    return m_message;
}
