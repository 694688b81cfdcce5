#include "util/DirectoryCleaner.h"

#include <optional>

#include "framework/CDesktop.h"
#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/CFileFind.h"
#include "framework/Kernel.h"

namespace {
void DeleteEntries(const CString& dir, std::optional<CFileException>& firstError) {
    CFileFind finder;
    bool more = finder.FindFile(PathJoin(dir, "*.*"));
    while (more) {
        KeepWindowServed();
        more = finder.FindNext();
        CString name = finder.GetFileName();
        name.MakeLower();
        if (name == "." || name == "..") {
            continue;
        }
        const CString path = finder.GetFilePath();
        try {
            // The work directory is the tool's own: a read-only mark does not keep anything.
            if (!AllowRemoval(path)) {
                CFileException::ThrowOsError(LastOsError(), path);
            }
            if (finder.IsDirectory()) {
                DeleteEntries(path, firstError);
                if (!RemoveEmptyDirectory(path)) {
                    CFileException::ThrowOsError(LastOsError(), path);
                }
            } else {
                CFile::Remove(path);
            }
        } catch (const CFileException& error) {
            if (!firstError) {
                firstError = error;
            }
        }
    }
    finder.Close();
}
}  // namespace

void DeleteDirectoryEntries(const CString& dir) {
    switch (GetPathKind(dir)) {
        case PathKind::none:
            return;
        case PathKind::directory:
            break;
        default:
            // A link would lead the deletions into whatever it points to.
            throw CFileException(CFileException::badPath, OsErrorForCause(CFileException::badPath),
                                 dir);
    }
    if (!AllowRemoval(dir)) {
        CFileException::ThrowOsError(LastOsError(), dir);
    }
    std::optional<CFileException> firstError;
    DeleteEntries(dir, firstError);
    if (firstError) {
        throw *firstError;
    }
}
