// Empties a directory: files, hidden files and subdirectories alike.
#pragma once

#include "framework/CString.h"

// Removes every entry of dir except "." and ".."; subdirectories are emptied and
// removed too, links are removed, never followed. Goes on past an entry that
// cannot be removed and then raises CFileException for the first such entry.
// A dir that is itself a link (or no directory at all) is left alone and raises
// CFileException (bad path); a missing dir has nothing to remove.
void DeleteDirectoryEntries(const CString& dir);
