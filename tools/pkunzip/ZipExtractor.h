// Extracts a zip archive into a folder, refusing any entry that could land
// outside it or on another entry (absolute paths, drive letters, ".."
// components, ':' in a name, symbolic links, duplicate names) and any data
// whose CRC-32 or size is wrong. Files are created new and owner-only.
#pragma once

#include <string>

// Returns an empty string on success, else the reason the archive was refused
// or could not be extracted. Nothing is written when the archive or an entry is
// refused; what a failed extraction made is removed again.
std::string ExtractArchive(const std::string& archivePath, const std::string& targetDir);
