// Directory listing with a wildcard pattern ("<dir>/*.*", "<dir>/*.prs").
// The pattern is matched against each entry's own name only (never a short
// alias the system keeps beside it), '*' and '?' as wildcards, ASCII letters in
// any case, "*.*" for every name. Entries come in byte-wise name order, "."
// and ".." included, so "the first match" is the same on every run. Usage:
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
    // The platform's part: every entry of m_strRoot, as the system names it
    // (its long name), into m_entries; nothing when the folder cannot be read.
    void ListRoot();

    struct Entry {
        CString name;
        bool directory;
    };
    CString m_strRoot;
    std::vector<Entry> m_entries;
    std::size_t m_next = 0;
};
