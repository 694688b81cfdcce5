#include "tools/pkunzip/ZipExtractor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/ZipSamples.h"
#include "tools/pkunzip/ZipReader.h"

namespace fs = std::filesystem;

namespace {
struct Entry {
    std::string name;
    std::string bytes;
    bool symlink = false;
    bool stored = false;
};

void MakeZip(const fs::path& path, const std::vector<Entry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const Entry& entry : entries) {
        if (entry.name.back() == '/') {
            ASSERT_GE(zip_dir_add(archive, entry.name.c_str(), 0), 0);
            continue;
        }
        // libzip copies the buffer only at close: keep the bytes alive until then.
        zip_source_t* source =
            zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, 0);
        ASSERT_GE(index, 0) << zip_strerror(archive);
        if (entry.stored) {
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
        if (entry.symlink) {
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
        }
    }
    ASSERT_EQ(zip_close(archive), 0);
}
}  // namespace

namespace {
std::uint32_t Crc(const std::string& bytes) {
    return static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                            reinterpret_cast<const Bytef*>(bytes.data()),
                                            static_cast<uInt>(bytes.size())));
}

// Every file the directory lists landed in out with its size and CRC-32, and
// nothing else did.
void ExpectExtractedAsListed(const fs::path& zip, const fs::path& out, std::size_t entries) {
    ZipReader reader;
    ASSERT_EQ(reader.Open(zip.string()), "");
    EXPECT_EQ(reader.Entries().size(), entries);
    std::size_t files = 0;
    for (const ZipEntry& entry : reader.Entries()) {
        if (entry.isDirectory) {
            EXPECT_TRUE(fs::is_directory(out / entry.name)) << entry.name;
            continue;
        }
        ++files;
        const std::string bytes = ReadFile(out / entry.name);
        ASSERT_EQ(bytes.size(), entry.size) << entry.name;
        EXPECT_EQ(Crc(bytes), entry.crc) << entry.name;
    }
    std::size_t found = 0;
    for (const auto& item : fs::recursive_directory_iterator(out)) {
        found += item.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(found, files);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
}  // namespace

// Inflated data that runs just past a multiple of 64 KiB once the compressed
// input is used up, and an entry count that wrapped at 65,536 (read, not
// extracted: 100,000 files take long to write).
TEST(ZipExtractorTest, GoodArchivesExtractWhole) {
    for (const ZipSample& sample : GoodZipSamples(true)) {
        TempDir dir;
        WriteFile(dir / sample.name, sample.bytes);
        if (sample.entries > 1000) {
            ZipReader reader;
            ASSERT_EQ(reader.Open((dir / sample.name).string()), "") << sample.name;
            EXPECT_EQ(reader.Entries().size(), sample.entries) << sample.name;
            for (const ZipEntry& entry : reader.Entries()) {
                ASSERT_EQ(reader.Read(entry, [](const char*, std::size_t) { return ""; }), "");
            }
            continue;
        }
        fs::create_directory(dir / "out");
        EXPECT_EQ(ExtractArchive((dir / sample.name).string(), (dir / "out").string()), "")
            << sample.name;
        ExpectExtractedAsListed(dir / sample.name, dir / "out", sample.entries);
    }
}

// The packer's own zip library makes the same streams: text, folders, an empty
// file and data whose inflated size runs just past a multiple of 64 KiB.
TEST(ZipExtractorTest, ArchivesOfThePackersLibraryExtractWholeByteExact) {
    TempDir dir;
    const std::string image = PaddedImage();
    MakeZip(dir / "spool.zip", {{"idcard.spl", "A\tB\tC\tD\t42\r\n"},
                                {"data/", ""},
                                {"data/tun/fw.bin", image},
                                {"empty.spl", ""},
                                {"zeros", std::string(131073, '\0')},
                                {"line.spl", TenMegabyteLine()}});
    fs::create_directory(dir / "out");
    EXPECT_EQ(ExtractArchive((dir / "spool.zip").string(), (dir / "out").string()), "");
    EXPECT_EQ(ReadFile(dir / "out" / "idcard.spl"), "A\tB\tC\tD\t42\r\n");
    EXPECT_TRUE(ReadFile(dir / "out" / "data" / "tun" / "fw.bin") == image);
    EXPECT_TRUE(ReadFile(dir / "out" / "zeros") == std::string(131073, '\0'));
    ExpectExtractedAsListed(dir / "spool.zip", dir / "out", 6);
}

// An archive that is damaged, missing or no regular file (a named pipe without
// a writer is never waited on), that lies in its records, or whose names would
// leave the folder or open another file than they say, is refused as a whole:
// nothing of it is written, and the reason names the fault.
TEST(ZipExtractorTest, DamagedMissingLyingOrUnsafeArchivesAreRefusedWhole) {
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> refused;  // archive, part of the reason
    const std::vector<std::pair<std::string, Entry>> unsafe = {
        {"'..'", {"../escaped.txt", "x"}},       {"'..'", {"data/../../escaped.txt", "x"}},
        {"absolute", {"/tmp/escaped.txt", "x"}}, {"symbolic link", {"link", "/etc/passwd", true}},
        {"absolute", {"C:evil.spl", "x"}},       {"':'", {"idcard.spl:stream", "x"}},
        {"duplicate", {"GOOD.spl", "x"}},        {"duplicate", {"./good.spl", "x"}},
    };
    for (const auto& [reason, bad] : unsafe) {
        const std::string name = "unsafe-" + std::to_string(refused.size()) + ".zip";
        MakeZip(dir / name, {{"good.spl", "ok"}, bad});
        refused.emplace_back(name, reason);
    }
    MakeZip(dir / "good.zip", {{"a.spl", std::string(5000, 'a')}});
    const std::string bytes = ReadFile(dir / "good.zip");
    WriteFile(dir / "cut.zip", bytes.substr(0, bytes.size() / 2));
    WriteFile(dir / "noise.zip", "this is no archive at all");
    std::string flipped = bytes;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside the compressed data
    WriteFile(dir / "flipped.zip", flipped);
    // A garbled component name of the same length: only its CRC-32 tells.
    const std::string plain = "C1\t1\tdata/vs1.bin\n";
    MakeZip(dir / "garbled.zip", {{"vs.spl", plain, false, true}});
    std::string garbled = ReadFile(dir / "garbled.zip");
    const std::size_t at = garbled.find(plain);
    ASSERT_NE(at, std::string::npos);
    garbled[at] = 'X';
    WriteFile(dir / "garbled.zip", garbled);
    fs::create_directory(dir / "folder.zip");
    ASSERT_EQ(::mkfifo((dir / "pipe.zip").c_str(), 0600), 0);
    refused.insert(refused.end(), {{"cut.zip", "not a zip archive"},
                                   {"noise.zip", "not a zip archive"},
                                   {"missing.zip", "cannot open the archive"},
                                   {"flipped.zip", "a.spl: damaged"},
                                   {"garbled.zip", "vs.spl: CRC error"},
                                   {"folder.zip", "cannot open the archive (not a regular file)"},
                                   {"pipe.zip", "cannot open the archive (not a regular file)"}});
    for (const ZipSample& sample : LyingZipSamples(true)) {
        WriteFile(dir / sample.name, sample.bytes);
        refused.emplace_back(sample.name, sample.refusal);
    }
    for (const auto& [name, reason] : refused) {
        SCOPED_TRACE(name);
        fs::remove_all(dir / "out");
        fs::create_directory(dir / "out");
        const std::string failure = ExtractArchive((dir / name).string(), (dir / "out").string());
        EXPECT_TRUE(Contains(failure, reason)) << failure;
        EXPECT_TRUE(fs::is_empty(dir / "out"));
        EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
        fs::remove(dir / "escaped.txt");  // so that the next case is judged alone
    }
}

// Data found damaged only while it is extracted: what this extraction made
// goes again, what was there before stays.
TEST(ZipExtractorTest, AFailureWhileExtractingRemovesWhatItWrote) {
    TempDir dir;
    MakeZip(dir / "good.zip", {{"idcard.spl", "CH1\tT\tE\tM\t7\n"},
                               {"data/", ""},
                               {"data/tun/x.bin", std::string(200000, 'x')},
                               {"keep/new.spl", "n"},
                               {"zz.spl", std::string(70000, 'z'), false, true}});
    std::string bytes = ReadFile(dir / "good.zip");
    const std::size_t at = bytes.find(std::string(70000, 'z'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 69999] = 'y';  // the last entry's last byte
    WriteFile(dir / "late.zip", bytes);
    WriteFile(dir / "out" / "keep" / "old.spl", "o");
    const std::string failure = ExtractArchive((dir / "late.zip").string(), (dir / "out").string());
    EXPECT_TRUE(Contains(failure, "zz.spl")) << failure;
    std::vector<fs::path> left;
    for (const auto& item : fs::recursive_directory_iterator(dir / "out")) {
        left.push_back(item.path().lexically_relative(dir / "out"));
    }
    EXPECT_EQ(left, (std::vector<fs::path>{"keep", "keep/old.spl"}));
}

TEST(ZipExtractorTest, ExtractedFilesAndFoldersAreTheOwnersAloneWhateverTheUmask) {
    for (const mode_t mask : {mode_t{0}, mode_t{0022}, mode_t{0277}}) {
        TempDir dir;
        MakeZip(dir / "spool.zip",
                {{"idcard.spl", "CH1\tT\tE\tM\t7\n"}, {"data/", ""}, {"data/tun/x.bin", "x"}});
        fs::create_directory(dir / "out");
        const mode_t before = ::umask(mask);
        const std::string failure =
            ExtractArchive((dir / "spool.zip").string(), (dir / "out").string());
        ::umask(before);
        EXPECT_EQ(failure, "") << mask;
        for (const char* name : {"idcard.spl", "data/tun/x.bin", "data", "data/tun"}) {
            struct stat info {};
            ASSERT_EQ(::stat((dir / "out" / name).c_str(), &info), 0) << name;
            EXPECT_EQ(info.st_mode & 07777, S_ISDIR(info.st_mode) ? 0700U : 0600U)
                << name << " under umask " << mask;
        }
    }
}
