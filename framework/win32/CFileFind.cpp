#include "framework/CFileFind.h"

#include "framework/Kernel.h"
#include "framework/win32/ScopedHandle.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

void CFileFind::ListRoot() {
    // Everything, filtered by its long name afterwards: the system would match a
    // pattern against the short aliases too ("update.prsx" is "UPDATE~1.PRS").
    WIN32_FIND_DATAW data{};
    const SearchHandle search = OwnValid<SearchHandle>(
        ::FindFirstFileExW(Widened(PathJoin(m_strRoot, "*").str()).c_str(), FindExInfoBasic, &data,
                           FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        return;
    }
    do {
        // A junction or link to a directory is never walked into.
        const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                               (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        m_entries.push_back({CString(Narrowed(data.cFileName)), directory});
    } while (::FindNextFileW(search.get(), &data) != FALSE);
}
