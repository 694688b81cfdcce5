// Builds an update medium: a folder with the update tool, the unpacker (as
// RarEradaz.dat) and the scrambled package made from a folder of spool files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct MediumPlan {
    std::string sourceDir;  // spool files and data files, zipped recursively
    std::string mediumDir;  // created when missing
    std::string packageName = "update";
    std::string toolPath;      // copied beside the package; none when empty
    std::string unpackerPath;  // copied as RarEradaz.dat; none when empty
    bool strip = true;         // the copies lose their symbol tables
};

// What of a source folder goes onto a medium: regular files and folders, found
// without following any link and without opening anything.
struct SourceEntry {
    std::string name;  // relative to the folder, with '/' between components
    std::filesystem::path path;
    bool directory = false;
};
struct SourceNote {
    std::string name;  // relative to the folder
    std::string what;  // what it is
};
struct SourceListing {
    std::vector<SourceEntry> packed;  // in name order
    // Links (wherever they point), named pipes, devices, sockets: a medium made
    // of this folder would lack them or carry what lies outside it.
    std::vector<SourceNote> refused;
    // Medium folders and packages found inside: never packed into the next package.
    std::vector<SourceNote> leftOut;
};
// What a file that is no regular file is ("a named pipe", "a device", ...), for
// the findings of the packer and the check.
std::string KindOf(const std::filesystem::file_status& status);
// leaveOut: a folder not to pack whatever it holds (the medium being made).
SourceListing ListSource(const std::string& sourceDir, const std::string& leaveOut = {});

// Zips sourceDir into the scrambled package <mediumDir>/<packageName>.prs.
// Returns an empty string on success, else what went wrong.
std::string PackMedium(const MediumPlan& plan);
// Zips what ListSource packs of sourceDir into the plain archive zipPath
// (entries in name order); refuses the whole folder when it holds anything
// ListSource refuses.
std::string ZipFolder(const std::string& sourceDir, const std::string& zipPath,
                      const std::string& leaveOut = {});
