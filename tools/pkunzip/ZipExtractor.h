// Extracts a zip archive into a folder, refusing any entry that could land
// outside it (absolute paths, ".." components, symbolic links).
#pragma once

#include <string>

// Returns an empty string on success, else the reason the archive was refused
// or could not be extracted. Nothing is written when an entry is refused.
std::string ExtractArchive(const std::string& archivePath, const std::string& targetDir);
