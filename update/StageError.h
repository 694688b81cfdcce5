// A stage of the update that did not do its work (the unpacker could not be
// copied or run, the package could not be unscrambled, an import stopped).
#pragma once

#include <exception>

#include "framework/CString.h"

class CStageError : public std::exception {
  public:
    // An empty text: the stage has already shown why it stopped.
    explicit CStageError(CString text = CString()) : m_strText(std::move(text)) {}
    [[nodiscard]] const char* what() const noexcept override { return m_strText.GetString(); }

  private:
    CString m_strText;
};
