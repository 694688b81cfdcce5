// Files and folders the medium's unpacker creates: always new (never one that
// is already there, never through a link) and the running user's alone where
// the platform has permission bits (files 0600, folders 0700 whatever the
// umask); on Windows they keep the access their folder passes on.
// Self-contained: the unpacker is built from these sources without the rest of
// the framework.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

class OwnerOnlyFile {
  public:
    OwnerOnlyFile() = default;
    ~OwnerOnlyFile();
    OwnerOnlyFile(const OwnerOnlyFile&) = delete;
    OwnerOnlyFile& operator=(const OwnerOnlyFile&) = delete;

    // Creates path for writing; fails when anything of that name exists. Each
    // call returns an empty string on success, else the system's reason.
    std::string Create(const std::filesystem::path& path);
    std::string Write(const char* bytes, std::size_t count);
    // A full disk may show only here.
    std::string Close();

  private:
    std::intptr_t m_handle = -1;  // a descriptor or a HANDLE; -1 when none
};

// One folder level, new; empty on success, else the system's reason.
std::string MakeOwnerOnlyFolder(const std::filesystem::path& path);
