// Extracts a zip archive into a folder, refusing any entry that could land
// outside it or on another entry (absolute paths, drive letters, ".."
// components, ':' in a name, symbolic links, duplicate names) and any data
// whose CRC-32 or size is wrong.
#pragma once

#include <string>

// Returns an empty string on success, else the reason the archive was refused
// or could not be extracted. Nothing is written when an entry is refused.
std::string ExtractArchive(const std::string& archivePath, const std::string& targetDir);
