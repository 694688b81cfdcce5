#include "tools/pkunzip/ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace {
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint8_t kUnixHost = 3;
constexpr std::uint32_t kFileTypeMask = 0170000;
constexpr std::uint32_t kLinkType = 0120000;
constexpr std::size_t kChunk = 1 << 16;
constexpr std::uint32_t kLocatorSignature = 0x07064b50;  // zip64 end locator
constexpr std::size_t kLocatorSize = 20;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint16_t kEncryptedFlag = 1U << 0;
constexpr std::uint16_t kDescriptorFlag = 1U << 3;

std::uint16_t U16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
std::uint32_t U32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// A name as a message can show it: control characters as \xNN.
std::string Printable(const std::string& name) {
    static const char* const kHex = "0123456789abcdef";
    std::string shown;
    for (const char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        } else {
            shown += ch;
        }
    }
    return shown;
}

// A raw-deflate stream, ended once.
class Inflater {
  public:
    Inflater() { m_ok = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (m_ok) {
            inflateEnd(&m_stream);
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    [[nodiscard]] bool ok() const { return m_ok; }
    z_stream& stream() { return m_stream; }

  private:
    z_stream m_stream{};
    bool m_ok = false;
};
}  // namespace

std::string ZipReader::ReadAt(std::uint64_t offset, char* bytes, std::size_t count) {
    if (offset > m_fileSize || count > m_fileSize - offset) {
        return m_path + ": damaged archive (data past its end)";
    }
    if (std::string error = m_file.ReadAt(offset, bytes, count); !error.empty()) {
        return m_path + ": cannot read the archive (" + error + ")";
    }
    return {};
}

std::string ZipReader::Open(const std::string& path) {
    m_path = path;
    m_entries.clear();
    if (std::string error = m_file.Open(path); !error.empty()) {
        return path + ": cannot open the archive (" + error + ")";
    }
    m_fileSize = m_file.Size();
    if (m_fileSize < kEndSize) {
        return path + ": not a zip archive";
    }
    // The end record is the last thing in the file, before a comment of at most
    // 64 KiB that must end exactly at the end of the file.
    const std::size_t tail =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_fileSize, kEndSize + kMaxComment));
    std::vector<char> buffer(tail);
    if (std::string error = ReadAt(m_fileSize - tail, buffer.data(), tail); !error.empty()) {
        return error;
    }
    const char* record = nullptr;
    for (std::size_t at = tail - kEndSize + 1; at-- > 0;) {
        if (U32(&buffer[at]) == kEndSignature && at + kEndSize + U16(&buffer[at + 20]) == tail) {
            record = &buffer[at];
            break;
        }
    }
    if (record == nullptr) {
        return path + ": not a zip archive (no end record where its comment length says)";
    }
    const std::uint64_t endOffset =
        m_fileSize - tail + static_cast<std::size_t>(record - buffer.data());
    const std::uint16_t count = U16(record + 10);
    const std::uint32_t directorySize = U32(record + 12);
    const std::uint32_t directoryOffset = U32(record + 16);
    if (U16(record + 4) != 0 || U16(record + 6) != 0 || U16(record + 8) != count) {
        return path + ": archives spread over several disks are not supported";
    }
    if (directoryOffset == 0xFFFFFFFF || directorySize == 0xFFFFFFFF ||
        (endOffset >= kLocatorSize && U32At(endOffset - kLocatorSize) == kLocatorSignature)) {
        return path + ": zip64 archives are not supported";
    }
    // The directory fills exactly the room between its start and the end record.
    if (static_cast<std::uint64_t>(directoryOffset) + directorySize != endOffset) {
        return path + ": damaged archive (the central directory is not where the end record says)";
    }
    if (std::string error = ReadDirectory(directoryOffset, directorySize, count); !error.empty()) {
        return error;
    }
    return CheckLocalHeaders(directoryOffset);
}

std::uint32_t ZipReader::U32At(std::uint64_t offset) {
    std::array<char, 4> bytes{};
    return ReadAt(offset, bytes.data(), bytes.size()).empty() ? U32(bytes.data()) : 0;
}

std::string ZipReader::ReadDirectory(std::uint64_t offset, std::uint64_t size,
                                     std::uint64_t count) {
    std::vector<char> directory(size);
    if (std::string error = ReadAt(offset, directory.data(), directory.size()); !error.empty()) {
        return error;
    }
    std::size_t at = 0;
    while (at < directory.size()) {
        if (directory.size() - at < kCentralSize || U32(&directory[at]) != kCentralSignature) {
            return m_path + ": damaged archive (central directory)";
        }
        const char* header = &directory[at];
        const std::size_t nameLength = U16(header + 28);
        const std::size_t variable = nameLength + U16(header + 30) + U16(header + 32);
        if (directory.size() - at - kCentralSize < variable) {
            return m_path + ": damaged archive (central directory)";
        }
        ZipEntry entry;
        entry.name.assign(header + kCentralSize, nameLength);
        entry.flags = U16(header + 8);
        entry.method = U16(header + 10);
        entry.crc = U32(header + 16);
        entry.compressedSize = U32(header + 20);
        entry.size = U32(header + 24);
        entry.localHeaderOffset = U32(header + 42);
        if (entry.compressedSize == 0xFFFFFFFF || entry.size == 0xFFFFFFFF ||
            entry.localHeaderOffset == 0xFFFFFFFF) {
            return m_path + ": zip64 archives are not supported";
        }
        // A name is used as a file name: a NUL would cut it short, and no
        // control character belongs in one.
        for (const char ch : entry.name) {
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) {
                return m_path + ": refused: control character in entry name " +
                       Printable(entry.name);
            }
        }
        if (entry.method == kStored && entry.compressedSize != entry.size) {
            return m_path + ": damaged archive (stored entry " + entry.name +
                   " has two different sizes)";
        }
        entry.isDirectory =
            !entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\');
        const auto host = static_cast<std::uint8_t>(U16(header + 4) >> 8);
        const std::uint32_t mode = U32(header + 38) >> 16;
        entry.isSymlink = host == kUnixHost && (mode & kFileTypeMask) == kLinkType;
        m_entries.push_back(std::move(entry));
        at += kCentralSize + variable;
    }
    if (m_entries.size() % 0x10000 != count) {
        return m_path + ": damaged archive (the end record's entry count says " +
               std::to_string(count) + ", the central directory holds " +
               std::to_string(m_entries.size()) + ")";
    }
    return {};
}

std::string ZipReader::CheckLocalHeaders(std::uint64_t directoryOffset) {
    // Each entry's local header, data and data descriptor, to find overlaps.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    spans.reserve(m_entries.size());
    for (ZipEntry& entry : m_entries) {
        const std::string damaged = m_path + ": damaged archive (local header of " + entry.name;
        // The header with the name the directory expects, in one read.
        std::vector<char> header(kLocalSize + entry.name.size());
        if (entry.localHeaderOffset + header.size() > directoryOffset ||
            !ReadAt(entry.localHeaderOffset, header.data(), header.size()).empty() ||
            U32(header.data()) != kLocalSignature) {
            return damaged + " missing)";
        }
        entry.dataOffset =
            entry.localHeaderOffset + kLocalSize + U16(&header[26]) + U16(&header[28]);
        const std::string name(&header[kLocalSize], entry.name.size());
        if (entry.dataOffset > directoryOffset) {
            return damaged + " runs into the directory)";
        }
        const std::uint16_t flags = U16(&header[6]);
        const std::uint32_t crc = U32(&header[14]);
        const std::uint32_t compressedSize = U32(&header[18]);
        const std::uint32_t size = U32(&header[22]);
        // With a data descriptor the sizes follow the data; the header may hold zeros.
        const bool described = (flags & kDescriptorFlag) != 0;
        const bool sameSizes =
            crc == entry.crc && compressedSize == entry.compressedSize && size == entry.size;
        const bool zeroSizes = crc == 0 && compressedSize == 0 && size == 0;
        if (U16(&header[26]) != entry.name.size() || name != entry.name ||
            U16(&header[8]) != entry.method ||
            (flags & kEncryptedFlag) != (entry.flags & kEncryptedFlag) ||
            described != ((entry.flags & kDescriptorFlag) != 0) ||
            !(sameSizes || (described && zeroSizes))) {
            return damaged + " disagrees with the directory)";
        }
        std::uint64_t end = entry.dataOffset + entry.compressedSize;
        if (described) {
            // crc, compressed size and size, after an optional signature.
            std::array<char, 16> descriptor{};
            if (end + 12 > directoryOffset || !ReadAt(end, descriptor.data(), 12).empty()) {
                return damaged + ": its data descriptor is missing)";
            }
            std::size_t fields = 0;
            if (U32(descriptor.data()) == kDescriptorSignature && end + 16 <= directoryOffset &&
                ReadAt(end, descriptor.data(), 16).empty()) {
                fields = 4;
            }
            if (U32(&descriptor[fields]) != entry.crc ||
                U32(&descriptor[fields + 4]) != entry.compressedSize ||
                U32(&descriptor[fields + 8]) != entry.size) {
                return damaged + ": its data descriptor disagrees with the directory)";
            }
            end += fields + 12;
        }
        if (end > directoryOffset) {
            return m_path + ": damaged archive (the data of " + entry.name +
                   " overlaps the directory)";
        }
        spans.emplace_back(entry.localHeaderOffset, end);
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].first < spans[i - 1].second) {
            return m_path + ": damaged archive (entries overlap)";
        }
    }
    return {};
}

std::string ZipReader::Read(const ZipEntry& entry, const Sink& sink) {
    if ((entry.flags & kEncryptedFlag) != 0) {
        return entry.name + ": encrypted entries are not supported";
    }
    if (entry.method != kStored && entry.method != kDeflated) {
        return entry.name + ": compression method " + std::to_string(entry.method) +
               " is not supported";
    }
    // Small entries take small buffers; one byte more than the size shows excess data.
    std::vector<char> in(
        std::min<std::uint64_t>(kChunk, std::max<std::uint64_t>(entry.compressedSize, 1)));
    std::vector<char> out(std::min<std::uint64_t>(kChunk, entry.size + 1));
    std::uint64_t offset = entry.dataOffset;
    std::uint64_t left = entry.compressedSize;
    std::uint64_t written = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    // Hands decoded bytes on, never more than the directory promised.
    auto deliver = [&](const char* bytes, std::size_t count) -> std::string {
        if (count > entry.size - written) {
            return entry.name + ": damaged archive (more data than its size)";
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count));
        written += count;
        return sink(bytes, count);
    };
    // The next piece of the stated compressed data; empty when it is used up.
    auto next = [&](std::size_t& taken) -> std::string {
        taken = static_cast<std::size_t>(std::min<std::uint64_t>(left, in.size()));
        if (std::string error = ReadAt(offset, in.data(), taken); !error.empty()) {
            return error;
        }
        offset += taken;
        left -= taken;
        return {};
    };
    if (entry.method == kStored) {
        while (left > 0) {
            std::size_t taken = 0;
            if (std::string error = next(taken); !error.empty()) {
                return error;
            }
            if (std::string error = deliver(in.data(), taken); !error.empty()) {
                return error;
            }
        }
    } else {
        Inflater inflater;
        if (!inflater.ok()) {
            return entry.name + ": cannot start decompressing";
        }
        z_stream& stream = inflater.stream();
        // Until the stream ends: inflate may hold output after the input is used up.
        for (;;) {
            if (stream.avail_in == 0 && left > 0) {
                std::size_t taken = 0;
                if (std::string error = next(taken); !error.empty()) {
                    return error;
                }
                stream.next_in = reinterpret_cast<Bytef*>(in.data());
                stream.avail_in = static_cast<uInt>(taken);
            }
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = static_cast<uInt>(out.size());
            const int rc = inflate(&stream, Z_NO_FLUSH);
            if (rc == Z_BUF_ERROR && stream.avail_in == 0 && left == 0) {
                return entry.name + ": damaged data (cut short)";
            }
            if (rc != Z_OK && rc != Z_STREAM_END) {
                return entry.name + ": damaged data (" +
                       (stream.msg != nullptr ? stream.msg : "inflate failed") + ")";
            }
            if (std::string error = deliver(out.data(), out.size() - stream.avail_out);
                !error.empty()) {
                return error;
            }
            if (rc == Z_STREAM_END) {
                break;
            }
        }
        if (stream.avail_in != 0 || left != 0) {
            return entry.name + ": damaged archive (bytes after the end of its compressed data)";
        }
    }
    if (written != entry.size) {
        return entry.name + ": damaged archive (" + std::to_string(written) +
               " bytes where its size says " + std::to_string(entry.size) + ")";
    }
    if (crc != entry.crc) {
        return entry.name + ": CRC error (the archive is damaged)";
    }
    return {};
}
