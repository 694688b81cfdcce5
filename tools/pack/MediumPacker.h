// Builds an update medium: a folder with the update tool, the unpacker (as
// RarEradaz.dat) and the scrambled package made from a folder of spool files.
#pragma once

#include <string>

struct MediumPlan {
    std::string sourceDir;  // spool files and data files, zipped recursively
    std::string mediumDir;  // created when missing
    std::string packageName = "update";
    std::string toolPath;      // copied beside the package; none when empty
    std::string unpackerPath;  // copied as RarEradaz.dat; none when empty
    bool strip = true;         // the copies lose their symbol tables
};

// Zips sourceDir into the scrambled package <mediumDir>/<packageName>.prs.
// Returns an empty string on success, else what went wrong.
std::string PackMedium(const MediumPlan& plan);
// Zips sourceDir into the plain archive zipPath (entries in name order).
std::string ZipFolder(const std::string& sourceDir, const std::string& zipPath);
