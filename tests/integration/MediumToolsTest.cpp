// The medium packer and the unpacker, as the update medium uses them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"
#include "tests/support/ZipSamples.h"
#include "util/PackageCodec.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kPack = LORBANIX_BINARY_DIR "/lorbanix-pack";
constexpr const char* kUnzip = LORBANIX_BINARY_DIR "/pkunzip";
}  // namespace

// The unpacker as the tool runs it: an archive it refuses, whenever it finds
// the fault, leaves nothing but itself in the folder.
TEST(MediumToolsTest, TheUnpackerLeavesNothingOfARefusedArchive) {
    std::vector<ZipSample> refused = LyingZipSamples(false);
    std::vector<ZipMember> spool = {{"idcard.spl", "CH1\tT\tE\tM\t7\n"},
                                    {"data/tun.bin", std::string(70000, 't')},
                                    {"vs.spl", "C1\t2\tdata/vs.bin\n"}};
    spool[1].statedSizeDelta = 1;  // found only once its data is read
    refused.push_back({"late.zip", BuildZip(spool), "size says 70001", spool.size()});
    for (const ZipSample& sample : refused) {
        TempDir dir;
        WriteFile(dir / "spool.zip", sample.bytes);
        SubprocessOptions inDir;
        inDir.workingDir = dir.str();
        const SubprocessResult result =
            RunSubprocess({kUnzip, (dir / "spool.zip").string()}, inDir);
        EXPECT_EQ(result.exitCode, 1) << sample.name;
        EXPECT_NE(result.output.find("pkunzip: "), std::string::npos) << result.output;
        EXPECT_NE(result.output.find(sample.refusal), std::string::npos)
            << sample.name << ": " << result.output;
        std::vector<std::string> left;
        for (const auto& item : fs::recursive_directory_iterator(dir.path())) {
            left.push_back(item.path().filename().string());
        }
        EXPECT_EQ(left, std::vector<std::string>{"spool.zip"}) << sample.name;
    }
    EXPECT_EQ(RunSubprocess({kUnzip}).exitCode, 2);  // no archive named
}

namespace {
// A source folder the tool imports exactly as meant.
void WriteCleanSource(const fs::path& source) {
    WriteFile(source / "idcard.spl", "CH1\tTP\tENG\tMDES\t7\n");
    WriteFile(source / "idcomp.spl", "CH1\t1\tC1\n");
    WriteFile(source / "serial.spl", "CH1\tS1\tN1\n");
    WriteFile(source / "tun.spl", "CH1\tdata/tun.bin\n");
    WriteFile(source / "data" / "tun.bin", std::string(3000, 't'));
    WriteFile(source / "vs.spl", "C1\t2\tdata/vs.bin\n");
    WriteFile(source / "data" / "vs.bin", std::string(500, 'v'));
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Scrambles a zip archive with the given entries into package.
void WritePackage(const fs::path& package,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
    const fs::path plain = package.string() + ".zip";
    int code = 0;
    zip_t* archive = zip_open(plain.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(archive, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
    }
    ASSERT_EQ(zip_close(archive), 0);
    const std::string data = ReadFile(plain);
    fs::remove(plain);
    std::string scrambled(data.size() + 1, '\0');
    ScrambleBuffer(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                   reinterpret_cast<std::uint8_t*>(scrambled.data()));
    WriteFile(package, scrambled);
}

// Long enough for any run under the sanitizers; a packer that takes longer hangs.
constexpr double kPackSecondsAllowed = 60;

SubprocessResult RunPacker(const std::vector<std::string>& args) {
    SubprocessOptions options;
    options.secondsAllowed = kPackSecondsAllowed;
    std::vector<std::string> argv = {kPack};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunSubprocess(argv, options);
}

// The names in the archive of the package at path.
std::vector<std::string> PackedNames(const fs::path& package) {
    const TempDir scratch;
    const fs::path plain = scratch / "plain.zip";
    EXPECT_EQ(UnscrambleFile(package.c_str(), plain.c_str()), 1);
    int code = 0;
    zip_t* archive = zip_open(plain.c_str(), ZIP_RDONLY, &code);
    EXPECT_NE(archive, nullptr) << code;
    std::vector<std::string> names;
    for (zip_int64_t i = 0; archive != nullptr && i < zip_get_num_entries(archive, 0); ++i) {
        names.emplace_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
    }
    if (archive != nullptr) {
        zip_discard(archive);
    }
    return names;
}

bool HasSymbolTable(const fs::path& program) {
    const SubprocessResult sections = RunSubprocess({"/usr/bin/readelf", "-S", program.string()});
    EXPECT_EQ(sections.exitCode, 0) << sections.output;
    return Contains(sections.output, ".symtab");
}

class PackCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteCleanSource(dir / "source");
        const SubprocessResult packed =
            RunSubprocess({kPack, (dir / "source").string(), (dir / "medium").string()});
        ASSERT_EQ(packed.exitCode, 0) << packed.output;
        packOutput = packed.output;
    }

    TempDir dir;
    std::string packOutput;
};
}  // namespace

TEST_F(PackCheckTest, ACleanFolderPacksWithNoFindingAndItsMediumChecksClean) {
    EXPECT_TRUE(Contains(packOutput, "0 error(s), 0 warning(s)")) << packOutput;
    EXPECT_TRUE(Contains(packOutput,
                         "tb_idcard 1, tb_idcomp 1, tb_serialnumber 1, tb_tun 1, "
                         "tb_vs 1"))
        << packOutput;
    EXPECT_TRUE(Contains(packOutput, "data files: 3500 bytes")) << packOutput;
    // Each file takes whole 512-byte clusters of the floppy's 2847.
    std::uintmax_t onFloppy = 0;
    for (const auto& entry : fs::directory_iterator(dir / "medium")) {
        onFloppy += (entry.file_size() + 511) / 512 * 512;
    }
    EXPECT_TRUE(Contains(packOutput,
                         "medium: " + std::to_string(onFloppy) + " bytes (" +
                             (onFloppy <= std::uintmax_t{2847} * 512 ? "fits" : "does not fit") +
                             " a 1.44 MB floppy"))
        << packOutput;

    const SubprocessResult checked = RunPacker({"--check", (dir / "medium").string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.output;
    EXPECT_TRUE(Contains(checked.output, "package: update.prs (8 entries)")) << checked.output;
    EXPECT_TRUE(Contains(checked.output, "data/tun.bin")) << checked.output;
    EXPECT_TRUE(Contains(checked.output, "0 error(s), 0 warning(s)")) << checked.output;
}

TEST_F(PackCheckTest, AFolderWithErrorsMakesNoMediumUnlessForced) {
    fs::remove(dir / "source" / "idcard.spl");
    WriteFile(dir / "source" / "vs.spl", "C1\t2\tdata/vs.bin\nC2\tx\tdata/vs.bin\n");
    const std::vector<std::string> pack = {kPack, (dir / "source").string(),
                                           (dir / "refused").string()};
    const SubprocessResult refused = RunSubprocess(pack);
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_TRUE(Contains(refused.output, "idcard.spl: error: no idcard.spl")) << refused.output;
    EXPECT_TRUE(Contains(refused.output, "vs.spl:2: error: vs type 'x'")) << refused.output;
    EXPECT_TRUE(Contains(refused.output, "no medium made")) << refused.output;
    EXPECT_FALSE(fs::exists(dir / "refused"));

    std::vector<std::string> forced = pack;
    forced.emplace_back("--force");
    const SubprocessResult packed = RunSubprocess(forced);
    EXPECT_EQ(packed.exitCode, 0) << packed.output;
    EXPECT_TRUE(fs::exists(dir / "refused" / "update.prs"));
    // The medium says the same about itself.
    const SubprocessResult checked = RunSubprocess({kPack, "--check", (dir / "refused").string()});
    EXPECT_EQ(checked.exitCode, 1) << checked.output;
    EXPECT_TRUE(Contains(checked.output, "vs.spl:2: error: vs type 'x'")) << checked.output;
}

// A fault of a medium fails its check, in time, naming the file and the fault;
// the rest of the medium is still checked.
TEST_F(PackCheckTest, EachFaultOfAMediumIsNamedAndFailsItsCheckWithoutWaiting) {
    const std::string whole = ReadFile(dir / "medium" / "update.prs");
    std::string changed = whole;
    changed[80] = static_cast<char>(changed[80] ^ 0x55);
    struct Case {
        const char* name;
        std::function<void(const fs::path& medium)> damage;
        std::vector<std::string> said;
    };
    const std::vector<Case> cases = {
        {"programs missing or unusable",
         [](const fs::path& medium) {
             fs::remove(medium / "lorbanix-update");
             fs::permissions(medium / "RarEradaz.dat",
                             fs::perms::owner_read | fs::perms::owner_write);
         },
         {"lorbanix-update: error: the update tool is missing",
          "RarEradaz.dat: error: the unpacker is not an executable", "package: update.prs",
          "2 error(s), 0 warning(s)"}},
        // Of several packages the first by name is checked.
        {"two packages",
         [](const fs::path& medium) {
             WritePackage(medium / "a.prs", {{"idcard.spl", "\tno chassis\n"}});
         },
         {"a.prs: warning: one of 2 packages",
          "idcard.spl:1: error: the ID card gives no chassis"}},
        {"no package",
         [](const fs::path& medium) { fs::remove(medium / "update.prs"); },
         {"*.prs: error: no package"}},
        // Cut short: no central directory.
        {"cut short",
         [&whole](const fs::path& medium) {
             WriteFile(medium / "update.prs", whole.substr(0, whole.size() / 2) + whole.back());
         },
         {"update.prs: error: damaged archive"}},
        // One byte of the first entry's data changed: its CRC no longer matches.
        {"a byte changed",
         [&changed](const fs::path& medium) { WriteFile(medium / "update.prs", changed); },
         {"update.prs: error: archive refused"}},
        {"an unsafe entry",
         [](const fs::path& medium) {
             WritePackage(medium / "update.prs",
                          {{"idcard.spl", "CH1\tTP\tENG\tMDES\t7\n"}, {"../escaped.spl", "x"}});
         },
         {"update.prs: error: archive refused", "../escaped.spl"}},
        {"a named pipe",
         [](const fs::path& medium) {
             fs::remove(medium / "update.prs");
             ASSERT_EQ(::mkfifo((medium / "update.prs").c_str(), 0600), 0);
         },
         {"update.prs: error: the package is a named pipe"}},
        {"a device",
         [](const fs::path& medium) {
             fs::remove(medium / "update.prs");
             fs::create_symlink("/dev/zero", medium / "update.prs");
         },
         {"update.prs: error: the package is a device"}},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.name);
        const fs::path medium = dir / "damaged";
        fs::remove_all(medium);
        fs::copy(dir / "medium", medium);
        fault.damage(medium);
        const SubprocessResult checked = RunPacker({"--check", medium.string()});
        EXPECT_FALSE(checked.timedOut) << checked.output;
        EXPECT_EQ(checked.exitCode, 1) << checked.output;
        for (const std::string& text : fault.said) {
            EXPECT_TRUE(Contains(checked.output, text)) << text << " in\n" << checked.output;
        }
    }
}

TEST_F(PackCheckTest, TheMediumCarriesStrippedPrograms) {
    ASSERT_TRUE(HasSymbolTable(LORBANIX_BINARY_DIR "/lorbanix-update"));
    ASSERT_TRUE(HasSymbolTable(kUnzip));
    EXPECT_FALSE(HasSymbolTable(dir / "medium" / "lorbanix-update"));
    EXPECT_FALSE(HasSymbolTable(dir / "medium" / "RarEradaz.dat"));
    EXPECT_LT(fs::file_size(dir / "medium" / "lorbanix-update"),
              fs::file_size(LORBANIX_BINARY_DIR "/lorbanix-update"));
}

namespace {
// A source folder with something in it that must never reach a medium.
class PackSourceTest : public ::testing::Test {
  protected:
    void SetUp() override { WriteCleanSource(source); }

    // Packing is refused, with or without --force, in time, naming each of said;
    // no package is made.
    void ExpectRefused(const std::vector<std::string>& said) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(force ? "--force" : "unforced");
            std::vector<std::string> args = {source.string(), medium.string()};
            if (force) {
                args.emplace_back("--force");
            }
            const SubprocessResult packed = RunPacker(args);
            EXPECT_FALSE(packed.timedOut) << packed.output;
            EXPECT_EQ(packed.exitCode, 1) << packed.output;
            for (const std::string& text : said) {
                EXPECT_TRUE(Contains(packed.output, text)) << text << " in\n" << packed.output;
            }
            EXPECT_FALSE(fs::exists(medium / "update.prs"));
        }
    }

    TempDir dir;
    fs::path source = dir / "source";
    fs::path medium = dir / "medium";
};
}  // namespace

// Links, wherever they point, and named pipes never reach a medium, not even
// forced; each is named for what it is.
TEST_F(PackSourceTest, LinksAndNamedPipesInTheSourceFolderAreRefusedWithoutWaiting) {
    WriteFile(dir / "outside.txt", "not for the medium");
    fs::create_symlink(dir / "outside.txt", source / "data" / "outside-link");
    fs::create_symlink("tun.bin", source / "data" / "tun-link.bin");
    ASSERT_EQ(::mkfifo((source / "data" / "pipe.bin").c_str(), 0600), 0);
    ExpectRefused({"data/outside-link: error: a symbolic link to " + (dir / "outside.txt").string(),
                   "data/tun-link.bin: error: a symbolic link to tun.bin",
                   "data/pipe.bin: error: a named pipe"});
}

TEST_F(PackSourceTest, AMediumFolderOrAPackageInsideTheSourceIsNeverPacked) {
    // A medium made inside the source folder, then the source packed again.
    const fs::path inner = source / "medium";
    const SubprocessResult first = RunPacker({source.string(), inner.string()});
    ASSERT_EQ(first.exitCode, 0) << first.output;
    WriteFile(source / "old" / "earlier.PRS", "a package of before");
    for (const fs::path& target : {medium, inner}) {
        SCOPED_TRACE(target);
        const SubprocessResult packed = RunPacker({source.string(), target.string()});
        ASSERT_EQ(packed.exitCode, 0) << packed.output;
        EXPECT_TRUE(Contains(packed.output, "medium: warning: a medium folder")) << packed.output;
        EXPECT_TRUE(Contains(packed.output, "old/earlier.PRS: warning: a package"))
            << packed.output;
        const std::vector<std::string> names = PackedNames(target / "update.prs");
        EXPECT_EQ(names, (std::vector<std::string>{"data/", "data/tun.bin", "data/vs.bin",
                                                   "idcard.spl", "idcomp.spl", "old/", "serial.spl",
                                                   "tun.spl", "vs.spl"}));
    }
}

TEST_F(PackCheckTest, CheckingALargePackageTakesNoMoreMemoryThanASmallOne) {
    const SubprocessResult small = RunPacker({"--check", (dir / "medium").string()});
    ASSERT_EQ(small.exitCode, 0) << small.output;
    // 64 MiB that do not compress: the package is as large.
    constexpr std::size_t kLarge = std::size_t{64} << 20;
    {
        // One piece written again and again: the test itself never holds the
        // whole (see peakKiB); deflate's window is far shorter than the piece.
        const std::string piece = Pattern(std::size_t{1} << 20, 5);
        std::ofstream out(dir / "source" / "data" / "tun.bin", std::ios::binary);
        for (std::size_t written = 0; written < kLarge; written += piece.size()) {
            out << piece;
        }
    }
    const SubprocessResult packed =
        RunPacker({(dir / "source").string(), (dir / "large").string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
    ASSERT_GT(fs::file_size(dir / "large" / "update.prs"), kLarge);
    const SubprocessResult large = RunPacker({"--check", (dir / "large").string()});
    ASSERT_EQ(large.exitCode, 0) << large.output;
    // Streamed: the same few buffers whatever the package's size; read whole,
    // the package alone would add 64 MiB.
    EXPECT_LT(large.peakKiB, small.peakKiB + 16L * 1024)
        << "small " << small.peakKiB << " KiB, large " << large.peakKiB << " KiB";
}

TEST(PackUsageTest, HelpUsageAndExitCodes) {
    const SubprocessResult help = RunSubprocess({kPack, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Contains(help.output, "--check")) << help.output;
    EXPECT_TRUE(Contains(help.output, "Exit codes")) << help.output;
    EXPECT_EQ(RunSubprocess({kPack, "--bogus", "a", "b"}).exitCode, 2);
    EXPECT_EQ(RunSubprocess({kPack, "only-one"}).exitCode, 2);
    EXPECT_EQ(RunSubprocess({kPack, "--check"}).exitCode, 2);
    TempDir dir;
    EXPECT_EQ(RunSubprocess({kPack, "--check", (dir / "absent").string()}).exitCode, 1);
    const SubprocessResult noSource =
        RunSubprocess({kPack, (dir / "absent").string(), (dir / "medium").string()});
    EXPECT_EQ(noSource.exitCode, 1);
    EXPECT_TRUE(Contains(noSource.output, "lorbanix-pack: ")) << noSource.output;
    // Options and the folder in any order: each is a check of the absent medium.
    const std::string absent = (dir / "absent").string();
    for (const std::vector<std::string>& order :
         {std::vector<std::string>{kPack, "--check", "--dry-run", absent},
          std::vector<std::string>{kPack, absent, "--dry-run", "--check"},
          std::vector<std::string>{kPack, "--dry-run", absent, "--check"}}) {
        const SubprocessResult checked = RunSubprocess(order);
        EXPECT_EQ(checked.exitCode, 1) << order[1] << " " << order[2] << " " << order[3];
        EXPECT_TRUE(Contains(checked.output, "absent: no such folder")) << checked.output;
    }
    EXPECT_EQ(RunSubprocess({kPack, "--check", absent, absent}).exitCode, 2);
}
