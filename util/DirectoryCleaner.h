// Empties a directory: files, hidden and read-only ones, and subdirectories alike.
#pragma once

#include "framework/CString.h"

// Removes every entry of dir except "." and ".."; subdirectories are emptied and
// removed too, links are removed, never followed. Read-only marks (and on
// POSIX a folder closed to its owner) are taken off dir and its entries first:
// the work directory is the tool's own. Goes on past an entry that
// cannot be removed and then raises CFileException for the first such entry.
// A dir that is itself a link (or no directory at all) is left alone and raises
// CFileException (bad path); a missing dir has nothing to remove.
void DeleteDirectoryEntries(const CString& dir);
