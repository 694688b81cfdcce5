// The finder's walk over a listing; the listing itself is the platform's.
#include "framework/CFileFind.h"

#include <algorithm>

#include "framework/Kernel.h"

bool CFileFind::FinishListing() {
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
