#include "framework/CFileFind.h"

#include <algorithm>

#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"

namespace {
// Owns the system's search handle.
class SearchHandle {
  public:
    explicit SearchHandle(HANDLE handle) : m_handle(handle) {}
    ~SearchHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            ::FindClose(m_handle);
        }
    }
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;
    [[nodiscard]] HANDLE get() const { return m_handle; }

  private:
    HANDLE m_handle;
};
}  // namespace

bool CFileFind::FindFile(const CString& pattern) {
    Close();
    const int cut = std::max(pattern.ReverseFind('\\'), pattern.ReverseFind('/'));
    m_strRoot = cut < 0 ? CString(".") : pattern.Left(cut);
    WIN32_FIND_DATAA data{};
    const SearchHandle search(::FindFirstFileA(pattern.GetString(), &data));
    if (search.get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        // A junction or link to a directory is never walked into.
        const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                               (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        m_entries.push_back({CString(data.cFileName), directory});
    } while (::FindNextFileA(search.get(), &data) != FALSE);
    return FinishListing();
}
