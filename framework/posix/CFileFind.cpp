#include "framework/CFileFind.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "framework/Kernel.h"

namespace {
struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
}  // namespace

void CFileFind::ListRoot() {
    const std::unique_ptr<DIR, DirCloser> dir(
        ::opendir(m_strRoot.IsEmpty() ? PathSeparator() : m_strRoot.GetString()));
    if (!dir) {
        return;
    }
    while (const dirent* item = ::readdir(dir.get())) {
        struct stat info {};
        const CString path = PathJoin(m_strRoot, item->d_name);
        const bool directory = ::lstat(path.GetString(), &info) == 0 && S_ISDIR(info.st_mode);
        m_entries.push_back({CString(item->d_name), directory});
    }
}
