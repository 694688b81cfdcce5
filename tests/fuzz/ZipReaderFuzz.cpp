// The medium's unpacker under libFuzzer: any bytes as spool.zip. Besides
// staying free of crashes, leaks and undefined behaviour, whatever the reader
// accepts must read back with the sizes and CRC-32s of its directory, an
// extraction must write exactly those files, and a failed one nothing.
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/pkunzip/ZipExtractor.h"
#include "tools/pkunzip/ZipReader.h"

namespace fs = std::filesystem;

namespace {
// Extraction is tried where it stays quick; larger archives are read only.
constexpr std::size_t kMaxExtractedEntries = 64;
constexpr std::uint64_t kMaxExtractedBytes = 4 << 20;

void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz_zip_reader: %s\n", what);
        std::abort();
    }
}

const fs::path& Scratch() {
    static const fs::path dir = [] {
        fs::path made = fs::temp_directory_path() / ("fuzz-zip." + std::to_string(::getpid()));
        fs::create_directories(made);
        std::atexit([] {
            std::error_code error;
            fs::remove_all(Scratch(), error);
        });
        return made;
    }();
    return dir;
}

using SizeAndCrc = std::pair<std::uint64_t, std::uint32_t>;

SizeAndCrc FileSizeAndCrc(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t size = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        const auto count = static_cast<std::size_t>(in.gcount());
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(count));
        size += count;
    }
    return {size, static_cast<std::uint32_t>(crc)};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path archive = Scratch() / "spool.zip";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ZipReader reader;
    if (!reader.Open(archive.string()).empty()) {
        return 0;
    }
    // Each entry read alone: when the reader finds no fault, what it handed on
    // has the directory's size and CRC-32.
    bool everyEntryRead = true;
    std::uint64_t statedBytes = 0;
    std::vector<SizeAndCrc> listed;
    for (const ZipEntry& entry : reader.Entries()) {
        std::uint64_t got = 0;
        uLong crc = crc32(0L, Z_NULL, 0);
        const std::string failure =
            reader.Read(entry, [&](const char* bytes, std::size_t count) -> std::string {
                crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count));
                got += count;
                return {};
            });
        if (failure.empty()) {
            Require(got == entry.size && crc == entry.crc, "an entry read without fault is wrong");
        } else {
            everyEntryRead = false;
        }
        statedBytes += entry.size;
        if (!entry.isDirectory) {
            listed.emplace_back(entry.size, entry.crc);
        }
    }
    if (reader.Entries().size() > kMaxExtractedEntries || statedBytes > kMaxExtractedBytes) {
        return 0;
    }
    const fs::path target = Scratch() / "out";
    fs::remove_all(target);
    fs::create_directories(target);
    const bool extracted = ExtractArchive(archive.string(), target.string()).empty();
    std::vector<SizeAndCrc> written;
    for (const auto& item : fs::recursive_directory_iterator(target)) {
        if (!item.is_directory()) {
            written.push_back(FileSizeAndCrc(item.path()));
        }
    }
    if (extracted) {
        Require(everyEntryRead, "an archive with an unreadable entry was extracted");
        std::sort(listed.begin(), listed.end());
        std::sort(written.begin(), written.end());
        Require(written == listed, "the extracted files differ from the directory");
    } else {
        Require(fs::is_empty(target), "a failed extraction left something behind");
    }
    return 0;
}
