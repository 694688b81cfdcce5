// A spool file whose content the update cannot import as it stands.
#pragma once

#include <exception>

#include "framework/CString.h"

class CSpoolError : public std::exception {
  public:
    enum Reason {
        badInput,   // a line or a name the tool refuses
        noChassis,  // the ID card names no chassis number
        // A key the look-up of its rows cannot hold (a vs type that is no
        // 32-bit number): the data source refuses such a look-up, so the run
        // ends as it does on a database error.
        badKey,
    };

    CSpoolError(Reason reason, CString text) : m_reason(reason), m_strText(std::move(text)) {}
    [[nodiscard]] const char* what() const noexcept override { return m_strText.GetString(); }

    Reason m_reason;

  private:
    CString m_strText;
};
