#include "util/PackageCodec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/CFile.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"
#include "util/FileHelpers.h"

namespace {
std::string Scramble(const std::string& plain) {
    std::vector<std::uint8_t> out(plain.size() + 1);
    ScrambleBuffer(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), out.data());
    return {out.begin(), out.end()};
}

class PackageCodecTest : public ::testing::Test {
  protected:
    RecordingDesktop& desktop = InstallRecordingDesktop();
    TempDir dir;
};
}  // namespace

TEST_F(PackageCodecTest, ScrambleThenUnscrambleGivesTheDataBackWithAKeyOf1To254) {
    for (const std::size_t size : {0U, 1U, 2U, 255U, 65536U + 3U}) {
        std::string plain(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            plain[i] = static_cast<char>((i * 7 + 3) & 0xFF);
        }
        const std::string scrambled = Scramble(plain);
        ASSERT_EQ(scrambled.size(), size + 1);
        const auto key = static_cast<std::uint8_t>(scrambled.back());
        EXPECT_GE(key, 1);
        EXPECT_LE(key, 254);
        if (size > 0) {
            EXPECT_EQ(static_cast<std::uint8_t>(scrambled[0]),
                      static_cast<std::uint8_t>(plain[0]) ^ key);
        }
        std::vector<std::uint8_t> back(size);
        UnscrambleBuffer(reinterpret_cast<const std::uint8_t*>(scrambled.data()), size,
                         back.data());
        EXPECT_EQ(std::string(back.begin(), back.end()), plain);
    }
}

// What a package holds comes back whole in place of an old, longer target:
// pieces of the stream must meet exactly (odd sizes around the piece size), a
// key alone gives an empty archive and key 0 passes the payload unchanged.
TEST_F(PackageCodecTest, UnscrambleFileWritesThePlainArchiveWholeInPlaceOfAnOldTarget) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Scramble("PK\x03\x04 some zip bytes"), "PK\x03\x04 some zip bytes"},
        {Scramble(Pattern(kStreamChunk - 1, 1)), Pattern(kStreamChunk - 1, 1)},
        {Scramble(Pattern(kStreamChunk, 2)), Pattern(kStreamChunk, 2)},
        {Scramble(Pattern(2 * kStreamChunk + 7, 3)), Pattern(2 * kStreamChunk + 7, 3)},
        {std::string(1, '\x5A'), ""},
        {std::string("plain\0", 6), "plain"},
    };
    for (const auto& [package, plain] : cases) {
        SCOPED_TRACE(plain.size());
        WriteFile(dir / "update.prs", package);
        WriteFile(dir / "spool.zip", std::string(1000, 'x'));
        EXPECT_EQ(UnscrambleFile((dir / "update.prs").c_str(), (dir / "spool.zip").c_str()), 1);
        EXPECT_TRUE(ReadFile(dir / "spool.zip") == plain);
    }
    EXPECT_TRUE(desktop.m_messages.empty());
}

TEST_F(PackageCodecTest, SourcesThatAreNoPackageGiveZero) {
    // Missing: nothing shown.
    EXPECT_EQ(UnscrambleFile((dir / "missing.prs").c_str(), (dir / "a.zip").c_str()), 0);
    EXPECT_TRUE(desktop.m_messages.empty());
    // A plain directory.
    std::filesystem::create_directory(dir / "folder.prs");
    EXPECT_EQ(UnscrambleFile((dir / "folder.prs").c_str(), (dir / "b.zip").c_str()), 0);
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_EQ(desktop.m_messages[0], "No File!");
    // Empty: not even a key byte; named in the message, no target written.
    WriteFile(dir / "empty.prs", "");
    EXPECT_EQ(UnscrambleFile((dir / "empty.prs").c_str(), (dir / "c.zip").c_str()), 0);
    ASSERT_EQ(desktop.m_messages.size(), 2U);
    EXPECT_NE(desktop.m_messages[1].find("empty.prs"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "c.zip"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.zip"));
}

TEST_F(PackageCodecTest, FileErrorsAreShownWithCauseAndFile) {
    WriteFile(dir / "update.prs", Scramble("data"));
    {
        // Held by someone else: the open fails with a sharing violation.
        CFile holder((dir / "update.prs").c_str(), CFile::modeRead | CFile::shareExclusive);
        EXPECT_EQ(UnscrambleFile((dir / "update.prs").c_str(), (dir / "a.zip").c_str()), 0);
    }
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_NE(desktop.m_messages[0].find("Sharing violation"), std::string::npos);
    EXPECT_NE(desktop.m_messages[0].find("update.prs"), std::string::npos);

    // The target's folder does not exist.
    EXPECT_EQ(UnscrambleFile((dir / "update.prs").c_str(), (dir / "no/such/dir/a.zip").c_str()), 0);
    ASSERT_EQ(desktop.m_messages.size(), 2U);
    EXPECT_NE(desktop.m_messages[1].find("File not found"), std::string::npos);
    EXPECT_NE(desktop.m_messages[1].find("no/such/dir/a.zip"), std::string::npos);
}
