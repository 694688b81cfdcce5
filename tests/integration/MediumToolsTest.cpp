// The medium packer and the unpacker, as the update medium uses them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/RecordingDesktop.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"
#include "util/PackageCodec.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kPack = LORBANIX_BINARY_DIR "/lorbanix-pack";
constexpr const char* kUnzip = LORBANIX_BINARY_DIR "/pkunzip";
}  // namespace

TEST(MediumToolsTest, APackedMediumUnpacksToTheSourceFiles) {
    InstallRecordingDesktop();
    TempDir dir;
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 13) % 256);
    }
    WriteFile(dir / "source" / "idcard.spl", "CH1\tT\tE\tM\t7\n");
    WriteFile(dir / "source" / "tun" / "file.bin", data);

    const SubprocessResult packed =
        RunSubprocess({kPack, (dir / "source").string(), (dir / "medium").string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
    EXPECT_TRUE(fs::exists(dir / "medium" / "lorbanix-update"));
    EXPECT_TRUE(fs::exists(dir / "medium" / "update.prs"));
    struct stat info {};
    ASSERT_EQ(::stat((dir / "medium" / "RarEradaz.dat").c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0U);

    fs::create_directory(dir / "work");
    ASSERT_EQ(UnscrambleFile((dir / "medium" / "update.prs").c_str(),
                             (dir / "work" / "spool.zip").c_str()),
              1);
    SubprocessOptions inWork;
    inWork.workingDir = (dir / "work").string();
    const SubprocessResult unpacked = RunSubprocess(
        {(dir / "medium" / "RarEradaz.dat").string(), (dir / "work" / "spool.zip").string()},
        inWork);
    ASSERT_EQ(unpacked.exitCode, 0) << unpacked.output;
    EXPECT_EQ(ReadFile(dir / "work" / "idcard.spl"), "CH1\tT\tE\tM\t7\n");
    EXPECT_EQ(ReadFile(dir / "work" / "tun" / "file.bin"), data);
}

TEST(MediumToolsTest, TheUnpackerReportsADamagedArchiveWithAFailureCode) {
    TempDir dir;
    WriteFile(dir / "spool.zip", "PK\x03\x04 broken");
    SubprocessOptions inDir;
    inDir.workingDir = dir.str();
    const SubprocessResult result = RunSubprocess({kUnzip, (dir / "spool.zip").string()}, inDir);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("pkunzip: "), std::string::npos) << result.output;
    EXPECT_EQ(RunSubprocess({kUnzip}).exitCode, 2);
}

TEST(MediumToolsTest, ThePackerReportsAMissingSourceFolder) {
    TempDir dir;
    const SubprocessResult result =
        RunSubprocess({kPack, (dir / "absent").string(), (dir / "medium").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("lorbanix-pack: "), std::string::npos) << result.output;
}
