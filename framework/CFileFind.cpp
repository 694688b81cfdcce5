// The finder's walk over a listing; the listing itself is the platform's.
#include "framework/CFileFind.h"

#include <algorithm>
#include <string_view>

#include "framework/Kernel.h"
#include "framework/PathLookup.h"

namespace {
char Folded(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// '*' stands for any run of bytes, '?' for one; a '*' that failed to match
// takes one byte more and the rest is tried again.
bool Matches(std::string_view mask, std::string_view name) {
    std::size_t m = 0;
    std::size_t n = 0;
    std::size_t star = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            star = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || Folded(mask[m]) == Folded(name[n]))) {
            ++m;
            ++n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}
}  // namespace

bool CFileFind::FindFile(const CString& pattern) {
    Close();
    int cut = -1;
    for (int i = 0; i < pattern.GetLength(); ++i) {
        cut = IsNameSeparator(pattern.GetAt(i)) ? i : cut;
    }
    m_strRoot = cut < 0 ? CString(".") : pattern.Left(cut);
    const CString mask = pattern.Mid(cut + 1);
    ListRoot();
    if (mask != "*.*") {  // every name, with or without a dot
        std::erase_if(m_entries, [&mask](const Entry& entry) {
            return !Matches(mask.str(), entry.name.str());
        });
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.name.str() < b.name.str(); });
    return !m_entries.empty();
}

bool CFileFind::FindNext() {
    if (m_next < m_entries.size()) {
        ++m_next;
    }
    return m_next < m_entries.size();
}

void CFileFind::Close() {
    m_entries.clear();
    m_next = 0;
}

CString CFileFind::GetFileName() const {
    return m_next == 0 ? CString() : m_entries[m_next - 1].name;
}

CString CFileFind::GetFilePath() const {
    return m_next == 0 ? CString() : PathJoin(m_strRoot, GetFileName().GetString());
}

bool CFileFind::IsDirectory() const {
    return m_next != 0 && m_entries[m_next - 1].directory;
}

bool CFileFind::IsDots() const {
    const CString name = GetFileName();
    return name == "." || name == "..";
}
