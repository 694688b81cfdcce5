// Writes the fuzz target's seed corpus into a folder: the archives the
// unpacker's tests make, good and lying, large ones included (made here rather
// than kept in the repository), and a few made by the packer's zip library.
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ZipSamples.h"

namespace fs = std::filesystem;

namespace {
bool Write(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// As the packer writes them: names, then bytes; a name ending in '/' is a folder.
bool WriteWithLibzip(const fs::path& path,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        return false;
    }
    for (const auto& [name, bytes] : entries) {
        const zip_int64_t added =
            name.back() == '/'
                ? zip_dir_add(archive, name.c_str(), 0)
                : zip_file_add(archive, name.c_str(),
                               zip_source_buffer(archive, bytes.data(), bytes.size(), 0), 0);
        if (added < 0) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_zip_seeds FOLDER\n");
        return 2;
    }
    const fs::path dir = argv[1];
    fs::create_directories(dir);
    std::vector<ZipSample> samples = GoodZipSamples(true);
    for (ZipSample& sample : LyingZipSamples(true)) {
        samples.push_back(std::move(sample));
    }
    bool ok = true;
    for (const ZipSample& sample : samples) {
        ok = Write(dir / sample.name, sample.bytes) && ok;
    }
    std::string binary(3000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 31) % 256);
    }
    ok = WriteWithLibzip(dir / "libzip-spool.zip", {{"idcard.spl", "A\tB\tC\tD\t42\r\n"},
                                                    {"data/", ""},
                                                    {"data/tun/x.bin", binary},
                                                    {"empty.spl", ""}}) &&
         ok;
    ok = WriteWithLibzip(dir / "libzip-unsafe.zip",
                         {{"good.spl", "ok"}, {"../escaped.txt", "x"}, {"GOOD.spl", "x"}}) &&
         ok;
    ok = WriteWithLibzip(dir / "libzip-zeros-131073.zip", {{"zeros", std::string(131073, '\0')}}) &&
         ok;
    if (!ok) {
        std::fprintf(stderr, "make_zip_seeds: cannot write the seeds into %s\n", argv[1]);
        return 1;
    }
    std::printf("make_zip_seeds: %zu seeds in %s\n", samples.size() + 3, argv[1]);
    return 0;
}
