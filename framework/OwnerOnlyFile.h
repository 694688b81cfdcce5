// What the medium's unpacker asks of the file system: it reads its archive,
// looks at names without following links, and creates files and folders that
// are always new (never one that is already there, never through a link) and
// the running user's alone where the platform has permission bits (files 0600,
// folders 0700 whatever the umask); on Windows they keep the access their
// folder passes on. Names are UTF-8 text; Windows is handed them as UTF-16.
// Self-contained and small: the unpacker is built from these sources without
// the rest of the framework, and without the standard library's file system
// and streams, so that it fits on the medium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The program's command-line arguments, argv[0] included, as UTF-8 text
// (Windows hands a program its line in the code page unless it asks for it
// whole).
[[nodiscard]] std::vector<std::string> UnpackerArguments(int argc, char** argv);

// The separator the platform writes between a folder and a name.
[[nodiscard]] char FolderSeparator();

enum class NameKind {
    none,    // nothing of that name (or it cannot be looked at)
    folder,  // a real folder
    other,   // a file, a link or anything else: in the way of a new folder or file
};
// What path is, looked at by itself: a link is never followed.
[[nodiscard]] NameKind LookUpName(const std::string& path);

// Removes a file or an empty folder; false when it could not.
bool RemoveName(const std::string& path);

// The archive: a regular file opened for reading only.
class ArchiveFile {
  public:
    ArchiveFile() = default;
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    // Empty on success, else the system's reason.
    std::string Open(const std::string& path);
    [[nodiscard]] std::uint64_t Size() const { return m_size; }
    // Reads exactly count bytes from offset; empty on success, else the reason.
    std::string ReadAt(std::uint64_t offset, char* bytes, std::size_t count);

  private:
    std::intptr_t m_handle = -1;  // a descriptor or a HANDLE; -1 when none
    std::uint64_t m_size = 0;
};

class OwnerOnlyFile {
  public:
    OwnerOnlyFile() = default;
    ~OwnerOnlyFile();
    OwnerOnlyFile(const OwnerOnlyFile&) = delete;
    OwnerOnlyFile& operator=(const OwnerOnlyFile&) = delete;

    // Creates path for writing; fails when anything of that name exists. Each
    // call returns an empty string on success, else the system's reason.
    std::string Create(const std::string& path);
    std::string Write(const char* bytes, std::size_t count);
    // A full disk may show only here.
    std::string Close();

  private:
    std::intptr_t m_handle = -1;  // a descriptor or a HANDLE; -1 when none
};

// One folder level, new; empty on success, else the system's reason.
std::string MakeOwnerOnlyFolder(const std::string& path);
