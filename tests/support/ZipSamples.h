// Zip archives written byte by byte, so a test can make one that tells the truth
// or one that lies in a chosen record, and the archives the unpacker's tests and
// its fuzz corpus share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ZipMember {
    ZipMember(std::string memberName, std::string memberBytes, bool deflated = true)
        : name(std::move(memberName)), bytes(std::move(memberBytes)), deflate(deflated) {}

    std::string name;
    std::string bytes;
    bool deflate = true;
    std::optional<std::string> localName;  // the local header's name, when it differs
    std::string trailing;  // bytes after the compressed data, counted in its stated size
    std::int64_t statedSizeDelta = 0;           // added to the true size in both headers
    std::optional<std::uint16_t> statedMethod;  // in both headers, instead of the true one
};

struct ZipRecords {
    std::optional<std::uint16_t>
        count;  // the end record's entry count; true modulo 65536 when unset
    std::string comment;
    std::optional<std::uint16_t> commentLength;  // the comment's stated length, when it lies
};

// The whole archive: local headers with their data, central directory, end record.
[[nodiscard]] std::string BuildZip(const std::vector<ZipMember>& members,
                                   const ZipRecords& records = {});

struct ZipSample {
    std::string name;         // a file name for it, e.g. "zeros-65537.zip"
    std::string bytes;        // the archive
    std::string refusal;      // empty for a good archive; else a part of the reader's reason
    std::size_t entries = 0;  // how many the archive truly holds
};

// Good archives the unpacker has refused before: data whose inflated size runs
// just past a multiple of 64 KiB, and an entry count that wrapped. Large ones
// only when withLarge is set (a 10 MB line, 100,000 entries).
[[nodiscard]] std::vector<ZipSample> GoodZipSamples(bool withLarge);
// Archives that lie in one record and must be refused as a whole.
[[nodiscard]] std::vector<ZipSample> LyingZipSamples(bool withLarge);

// An idcomp.spl line of 10 MB that ends just past a multiple of 64 KiB.
[[nodiscard]] std::string TenMegabyteLine();
// A 228,693-byte image padded with 0xFF to 1 MiB, as firmware is shipped.
[[nodiscard]] std::string PaddedImage();
