#include "tools/pkunzip/ZipExtractor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"

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

TEST(ZipExtractorTest, ExtractsEveryEntryWithItsFoldersByteExact) {
    TempDir dir;
    std::string binary(300000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 31) % 256);
    }
    const std::vector<Entry> entries = {{"idcard.spl", "A\tB\tC\tD\t42\r\n"},
                                        {"data/", ""},
                                        {"data/tun/x.bin", binary},
                                        {"empty.spl", ""}};
    MakeZip(dir / "spool.zip", entries);
    fs::create_directory(dir / "out");
    EXPECT_EQ(ExtractArchive((dir / "spool.zip").string(), (dir / "out").string()), "");
    EXPECT_EQ(ReadFile(dir / "out" / "idcard.spl"), "A\tB\tC\tD\t42\r\n");
    EXPECT_EQ(ReadFile(dir / "out" / "data" / "tun" / "x.bin"), binary);
    EXPECT_EQ(ReadFile(dir / "out" / "empty.spl"), "");
}

TEST(ZipExtractorTest, RefusesEntriesThatWouldLeaveTheFolderAndWritesNothing) {
    const std::vector<std::pair<std::string, Entry>> unsafe = {
        {"..", {"../escaped.txt", "x"}},         {"..", {"data/../../escaped.txt", "x"}},
        {"absolute", {"/tmp/escaped.txt", "x"}}, {"symbolic link", {"link", "/etc/passwd", true}},
        {"absolute", {"C:evil.spl", "x"}},       {"':'", {"idcard.spl:stream", "x"}},
        {"duplicate", {"GOOD.spl", "x"}},        {"duplicate", {"./good.spl", "x"}},
    };
    for (const auto& [reason, bad] : unsafe) {
        TempDir dir;
        MakeZip(dir / "spool.zip", {{"good.spl", "ok"}, bad});
        fs::create_directory(dir / "out");
        const std::string failure =
            ExtractArchive((dir / "spool.zip").string(), (dir / "out").string());
        EXPECT_NE(failure.find(reason), std::string::npos) << bad.name << ": " << failure;
        EXPECT_TRUE(fs::is_empty(dir / "out")) << bad.name;
        EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
    }
}

TEST(ZipExtractorTest, DamagedOrMissingArchivesAreReported) {
    TempDir dir;
    MakeZip(dir / "good.zip", {{"a.spl", std::string(5000, 'a')}});
    const std::string bytes = ReadFile(dir / "good.zip");
    WriteFile(dir / "cut.zip", bytes.substr(0, bytes.size() / 2));
    WriteFile(dir / "noise.zip", "this is no archive at all");
    std::string flipped = bytes;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside the compressed data
    WriteFile(dir / "flipped.zip", flipped);
    for (const char* name : {"cut.zip", "noise.zip", "missing.zip", "flipped.zip"}) {
        fs::create_directories(dir / "out");
        EXPECT_NE(ExtractArchive((dir / name).string(), (dir / "out").string()), "") << name;
    }
}

TEST(ZipExtractorTest, DataThatDoesNotMatchItsChecksumIsAnError) {
    TempDir dir;
    const std::string plain = "C1\t1\tdata/vs1.bin\n";
    MakeZip(dir / "good.zip", {{"vs.spl", plain, false, true}});
    std::string bytes = ReadFile(dir / "good.zip");
    const std::size_t at = bytes.find(plain);
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'X';  // a garbled component name, same length
    WriteFile(dir / "garbled.zip", bytes);
    fs::create_directory(dir / "out");
    const std::string failure =
        ExtractArchive((dir / "garbled.zip").string(), (dir / "out").string());
    EXPECT_NE(failure.find("CRC error"), std::string::npos) << failure;
    EXPECT_NE(failure.find("vs.spl"), std::string::npos) << failure;
}
