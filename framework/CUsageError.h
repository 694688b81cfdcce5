// A framework class used against its rules (an operation in the wrong state):
// a fault of the calling code, never of the data or the data source.
#pragma once

#include <exception>

#include "framework/CString.h"

class CUsageError : public std::exception {
  public:
    explicit CUsageError(CString text) : m_strText(std::move(text)) {}
    [[nodiscard]] const char* what() const noexcept override { return m_strText.GetString(); }

  private:
    CString m_strText;
};
