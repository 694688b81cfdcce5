// Directory listing with a wildcard pattern ("<dir>/*.*", "<dir>/*.prs").
// Entries come in byte-wise name order, "." and ".." included, so "the first
// match" is the same on every run. Usage:
//   bool more = finder.FindFile(pattern);
//   while (more) { more = finder.FindNext(); ...current entry... }
#pragma once

#include <cstddef>
#include <vector>

#include "framework/CString.h"

class CFileFind {
  public:
    bool FindFile(const CString& pattern);
    // Steps to the next entry; false when that entry is the last one.
    bool FindNext();
    void Close();

    [[nodiscard]] CString GetFileName() const;
    [[nodiscard]] CString GetFilePath() const;
    // A real directory, never a link to one.
    [[nodiscard]] bool IsDirectory() const;
    [[nodiscard]] bool IsDots() const;

  private:
    // Puts the listing in byte-wise name order; true when it holds an entry.
    bool FinishListing();

    struct Entry {
        CString name;
        bool directory;
    };
    CString m_strRoot;
    std::vector<Entry> m_entries;
    std::size_t m_next = 0;
};
