// Whole-file helpers. Each returns 1 or 0 and shows the failures it handles
// itself; the failures it passes on arrive as CFileException.
#pragma once

#include <cstddef>

#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/CLongBinary.h"
#include "framework/CString.h"
#include "framework/CWinApp.h"

inline constexpr const char* kNoFileMessage = "No File!";
inline constexpr const char* kNoFileCopyMessage = "Keine Datei!";
// Files that are passed through, not kept, go in pieces of this size.
inline constexpr std::size_t kStreamChunk = std::size_t{1} << 20;

// A plain directory or a volume label: a name that holds no file.
[[nodiscard]] bool IsNoFile(const CFileStatus& status);
// The message box for a caught file error: names the cause and the file.
void ShowFileError(const CFileException& error);

// Looks the file up and opens it for reading: false (showing why, but nothing
// for a missing file) when there is no file to read.
bool OpenFileToRead(const CString& path, CFile& file, CFileStatus& status);

// Sets text to the file's bytes up to the first NUL; a missing file leaves it empty.
int ReadTextFile(const CString& path, CString& text);
// Fills value with a new block holding the file's bytes; a missing file changes nothing.
int ReadFileToGlobal(const CString& path, CLongBinary& value);
// The same for a file that must be there: one that cannot be opened, a missing
// one included, is shown (the file and the cause) and gives 0, never an empty value.
int ReadExistingFileToGlobal(const CString& path, CLongBinary& value);
// Copies source's bytes (and permission bits) to target; a missing source copies nothing.
int CopyFileContents(const CString& source, const CString& target);
