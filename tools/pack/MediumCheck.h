// Checks an update medium the way the update tool will see it: the tool and
// the unpacker beside the package, the package it picks, the archive inside,
// and the spool files in that archive.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/pack/SpoolCheck.h"
#include "tools/pkunzip/ZipReader.h"

inline constexpr const char* kMediumTool = "lorbanix-update";
inline constexpr const char* kMediumUnpacker = "RarEradaz.dat";

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

struct MediumReport {
    std::vector<Finding> findings;  // the medium's, then the spool files'
    std::string package;            // the file name the tool picks; empty when none
    std::vector<ZipEntry> entries;  // of the package's archive
    bool spoolChecked = false;      // the archive was unpacked and its spool files checked
    SpoolReport spool;

    [[nodiscard]] int Count(Finding::Severity severity) const;
};

// unpackedDir receives the archive's files (it must exist and be empty), the
// unscrambled archive goes beside it as spool.zip.
MediumReport CheckMedium(const std::string& mediumDir, const std::filesystem::path& unpackedDir);

// The bytes the medium's files take on a 1.44 MB floppy (each file rounded up
// to whole 512-byte clusters), and that floppy's room for files.
[[nodiscard]] std::uintmax_t FloppyBytes(const std::filesystem::path& mediumDir);
inline constexpr std::uintmax_t kFloppyRoom = 2847ULL * 512ULL;
