#include "framework/CFileFind.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

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
    return FinishListing();
}
