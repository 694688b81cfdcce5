// A file held without sharing for as long as the object lives: while one process
// holds it, every other attempt to take it fails at once instead of waiting.
// The file itself stays on disk; only the hold ends.
#pragma once

#include <cstdint>

#include "framework/CString.h"

class CLockFile {
  public:
    // Creates the file when missing (never through a link) and takes it. Raises
    // CFileException: a sharing violation when someone else holds it.
    explicit CLockFile(const CString& path);
    ~CLockFile();
    CLockFile(const CLockFile&) = delete;
    CLockFile& operator=(const CLockFile&) = delete;

  private:
    // Started programs hold it too (see CProcess::StartOptions).
    friend class CProcess;
    std::intptr_t m_handle = -1;
};
