#include "tools/pkunzip/ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>

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

std::uint16_t U16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
std::uint32_t U32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
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
    m_file.clear();
    m_file.seekg(static_cast<std::streamoff>(offset));
    m_file.read(bytes, static_cast<std::streamsize>(count));
    if (!m_file || static_cast<std::size_t>(m_file.gcount()) != count) {
        return m_path + ": cannot read the archive";
    }
    return {};
}

std::string ZipReader::Open(const std::string& path) {
    m_path = path;
    m_entries.clear();
    m_file.open(path, std::ios::binary);
    if (!m_file) {
        return path + ": cannot open the archive";
    }
    m_file.seekg(0, std::ios::end);
    m_fileSize = static_cast<std::uint64_t>(m_file.tellg());
    if (m_fileSize < kEndSize) {
        return path + ": not a zip archive";
    }
    // The end record is the last thing in the file, before a comment of at most 64 KiB.
    const std::size_t tail =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_fileSize, kEndSize + kMaxComment));
    std::vector<char> buffer(tail);
    if (std::string error = ReadAt(m_fileSize - tail, buffer.data(), tail); !error.empty()) {
        return error;
    }
    std::size_t end = tail - kEndSize + 1;
    do {
        --end;
        if (U32(&buffer[end]) == kEndSignature && end + kEndSize + U16(&buffer[end + 20]) == tail) {
            break;
        }
    } while (end > 0);
    if (U32(&buffer[end]) != kEndSignature) {
        return path + ": not a zip archive";
    }
    const char* record = &buffer[end];
    const std::uint64_t endOffset = m_fileSize - tail + end;
    const std::uint16_t count = U16(record + 10);
    const std::uint32_t directorySize = U32(record + 12);
    m_directoryOffset = U32(record + 16);
    if (U16(record + 4) != 0 || U16(record + 6) != 0 || U16(record + 8) != count) {
        return path + ": archives spread over several disks are not supported";
    }
    if (count == 0xFFFF || m_directoryOffset == 0xFFFFFFFF || directorySize == 0xFFFFFFFF) {
        return path + ": zip64 archives are not supported";
    }
    if (m_directoryOffset + directorySize > endOffset) {
        return path + ": damaged archive (central directory)";
    }
    std::vector<char> directory(directorySize);
    if (std::string error = ReadAt(m_directoryOffset, directory.data(), directory.size());
        !error.empty()) {
        return error;
    }
    std::size_t at = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (at + kCentralSize > directory.size() || U32(&directory[at]) != kCentralSignature) {
            return path + ": damaged archive (central directory)";
        }
        const char* header = &directory[at];
        const std::size_t nameLength = U16(header + 28);
        const std::size_t variable = nameLength + U16(header + 30) + U16(header + 32);
        if (at + kCentralSize + variable > directory.size()) {
            return path + ": damaged archive (central directory)";
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
            return path + ": zip64 archives are not supported";
        }
        entry.isDirectory =
            !entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\');
        const auto host = static_cast<std::uint8_t>(U16(header + 4) >> 8);
        const std::uint32_t mode = U32(header + 38) >> 16;
        entry.isSymlink = host == kUnixHost && (mode & kFileTypeMask) == kLinkType;
        m_entries.push_back(std::move(entry));
        at += kCentralSize + variable;
    }
    return {};
}

std::string ZipReader::Locate(const ZipEntry& entry, std::uint64_t& dataOffset) {
    std::array<char, kLocalSize> header{};
    if (std::string error = ReadAt(entry.localHeaderOffset, header.data(), header.size());
        !error.empty()) {
        return error;
    }
    if (U32(header.data()) != kLocalSignature) {
        return entry.name + ": damaged archive (local header)";
    }
    dataOffset = entry.localHeaderOffset + kLocalSize + U16(&header[26]) + U16(&header[28]);
    if (dataOffset > m_directoryOffset || entry.compressedSize > m_directoryOffset - dataOffset) {
        return entry.name + ": damaged archive (data overlaps the directory)";
    }
    return {};
}

std::string ZipReader::Read(const ZipEntry& entry, const Sink& sink) {
    if ((entry.flags & 1U) != 0) {
        return entry.name + ": encrypted entries are not supported";
    }
    if (entry.method != kStored && entry.method != kDeflated) {
        return entry.name + ": compression method " + std::to_string(entry.method) +
               " is not supported";
    }
    std::uint64_t offset = 0;
    if (std::string error = Locate(entry, offset); !error.empty()) {
        return error;
    }
    std::vector<char> in(kChunk);
    std::vector<char> out(kChunk);
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
    Inflater inflater;
    if (entry.method == kDeflated && !inflater.ok()) {
        return entry.name + ": cannot start decompressing";
    }
    bool finished = entry.method == kStored;
    while (left > 0) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(left, in.size()));
        if (std::string error = ReadAt(offset, in.data(), take); !error.empty()) {
            return error;
        }
        offset += take;
        left -= take;
        if (entry.method == kStored) {
            if (std::string error = deliver(in.data(), take); !error.empty()) {
                return error;
            }
            continue;
        }
        z_stream& stream = inflater.stream();
        stream.next_in = reinterpret_cast<Bytef*>(in.data());
        stream.avail_in = static_cast<uInt>(take);
        while (stream.avail_in > 0 && !finished) {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = static_cast<uInt>(out.size());
            const int rc = inflate(&stream, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END) {
                return entry.name + ": damaged data (" +
                       (stream.msg != nullptr ? stream.msg : "inflate failed") + ")";
            }
            const std::size_t produced = out.size() - stream.avail_out;
            if (std::string error = deliver(out.data(), produced); !error.empty()) {
                return error;
            }
            finished = rc == Z_STREAM_END;
        }
    }
    if (!finished) {
        return entry.name + ": damaged data (cut short)";
    }
    if (written != entry.size || crc != entry.crc) {
        return entry.name + ": CRC error (the archive is damaged)";
    }
    return {};
}
