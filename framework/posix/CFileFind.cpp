#include "framework/CFileFind.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "framework/Kernel.h"

namespace {
struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

bool Matches(const CString& mask, const char* name) {
    // "*.*" stands for every name, with or without a dot.
    if (mask == "*.*" || mask == "*") {
        return true;
    }
    return ::fnmatch(mask.GetString(), name, FNM_CASEFOLD) == 0;
}
}  // namespace

bool CFileFind::FindFile(const CString& pattern) {
    Close();
    const int cut = pattern.ReverseFind(PathSeparator()[0]);
    m_strRoot = cut < 0 ? CString(".") : pattern.Left(cut);
    const CString mask = pattern.Mid(cut + 1);
    const std::unique_ptr<DIR, DirCloser> dir(
        ::opendir(m_strRoot.IsEmpty() ? PathSeparator() : m_strRoot.GetString()));
    if (!dir) {
        return false;
    }
    while (const dirent* item = ::readdir(dir.get())) {
        if (!Matches(mask, item->d_name)) {
            continue;
        }
        struct stat info {};
        const CString path = PathJoin(m_strRoot, item->d_name);
        const bool directory = ::lstat(path.GetString(), &info) == 0 && S_ISDIR(info.st_mode);
        m_entries.push_back({CString(item->d_name), directory});
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
