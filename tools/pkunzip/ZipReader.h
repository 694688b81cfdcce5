// Reads a zip archive as the medium's unpacker needs it: the central directory,
// and each entry's bytes streamed through zlib with its CRC-32 and size checked.
// Stored and deflated entries only; no zip64, no encryption, no multi-disk sets.
// Nothing an archive says is believed unchecked: the end record must end the
// file, the directory must fill exactly the room the end record gives it and
// hold as many entries as it counts (modulo 65,536: the count has 16 bits),
// every local header must agree with its directory record, entries' data may
// not overlap, and an entry's data must end exactly where its stated
// compressed size says, with its stated size and CRC-32.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/OwnerOnlyFile.h"

struct ZipEntry {
    std::string name;  // as stored, separators untouched
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localHeaderOffset = 0;
    std::uint64_t dataOffset = 0;  // where its compressed data starts
    bool isDirectory = false;      // the name ends in a separator
    bool isSymlink = false;        // made on a Unix host with a link's file type
};

class ZipReader {
  public:
    // Takes a piece of an entry's bytes; returns an empty string to go on, or
    // the reason to stop.
    using Sink = std::function<std::string(const char* bytes, std::size_t count)>;

    // Reads and checks the central directory and the local headers. Empty on
    // success, else why the archive is unusable.
    std::string Open(const std::string& path);
    [[nodiscard]] const std::vector<ZipEntry>& Entries() const { return m_entries; }

    // Streams the entry's bytes to sink. Fails on damaged data, a wrong CRC-32 or
    // a size that differs from the directory's; the sink may have been given
    // part of the bytes by then.
    std::string Read(const ZipEntry& entry, const Sink& sink);

  private:
    std::string ReadAt(std::uint64_t offset, char* bytes, std::size_t count);
    std::string ReadDirectory(std::uint64_t offset, std::uint64_t size, std::uint64_t count);
    std::string CheckLocalHeaders(std::uint64_t directoryOffset);
    std::uint32_t U32At(std::uint64_t offset);

    std::string m_path;
    ArchiveFile m_file;
    std::uint64_t m_fileSize = 0;
    std::vector<ZipEntry> m_entries;
};
