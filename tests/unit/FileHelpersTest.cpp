#include "util/FileHelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/RecordingDesktop.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace {
class FileHelpersTest : public ::testing::Test {
  protected:
    CString Path(const std::string& name) const { return (dir / name).c_str(); }

    RecordingDesktop& desktop = InstallRecordingDesktop();
    TempDir dir;
};

std::string BlockBytes(const CLongBinary& value) {
    const CGlobalLock lock(value.m_hData);
    return {static_cast<const char*>(lock.data()), value.m_dwDataLength};
}
}  // namespace

TEST_F(FileHelpersTest, ReadTextFileKeepsBytesAndLineEndsAndStopsAtNul) {
    CString text("old");
    WriteFile(dir / "empty.spl", "");
    EXPECT_EQ(ReadTextFile(Path("empty.spl"), text), 1);
    EXPECT_EQ(text, "");

    WriteFile(dir / "crlf.spl", "a\tb\r\nc\td\r\n\xE4\xF6");
    EXPECT_EQ(ReadTextFile(Path("crlf.spl"), text), 1);
    EXPECT_EQ(text, "a\tb\r\nc\td\r\n\xE4\xF6");

    WriteFile(dir / "nul.spl", std::string("before\0after", 12));
    EXPECT_EQ(ReadTextFile(Path("nul.spl"), text), 1);
    EXPECT_EQ(text, "before");
    EXPECT_TRUE(desktop.m_messages.empty());
}

TEST_F(FileHelpersTest, ReadTextFileFailuresLeaveTheTextEmpty) {
    CString text("old");
    EXPECT_EQ(ReadTextFile(Path("missing.spl"), text), 0);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(desktop.m_messages.empty());
    // (A folder in its place is said to be no file: RunSafetyTest, the package.)

    WriteFile(dir / "held.spl", "x");
    CFile holder(Path("held.spl"), CFile::modeRead | CFile::shareExclusive);
    text = "old";
    EXPECT_EQ(ReadTextFile(Path("held.spl"), text), 0);
    EXPECT_EQ(text, "");
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_NE(desktop.m_messages[0].find("Sharing violation"), std::string::npos);
    EXPECT_NE(desktop.m_messages[0].find("held.spl"), std::string::npos);
}

TEST_F(FileHelpersTest, ReadFileToGlobalFillsAMovableBlockOfTheFilesSize) {
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    WriteFile(dir / "tun.dat", bytes);
    CLongBinary value;
    EXPECT_EQ(ReadFileToGlobal(Path("tun.dat"), value), 1);
    ASSERT_NE(value.m_hData, nullptr);
    EXPECT_EQ(value.m_dwDataLength, bytes.size());
    EXPECT_EQ(GlobalSize(value.m_hData), bytes.size());
    EXPECT_EQ(BlockBytes(value), bytes);

    // A value that is filled again gives up its earlier block (no leak under ASan).
    WriteFile(dir / "empty.dat", "");
    EXPECT_EQ(ReadFileToGlobal(Path("empty.dat"), value), 1);
    EXPECT_EQ(value.m_dwDataLength, 0U);
    EXPECT_TRUE(desktop.m_messages.empty());
}

TEST_F(FileHelpersTest, ReadFileToGlobalLeavesTheValueAloneWhenThereIsNothingToRead) {
    CLongBinary value;
    EXPECT_EQ(ReadFileToGlobal(Path("missing.dat"), value), 1);
    EXPECT_EQ(value.m_hData, nullptr);
    EXPECT_EQ(value.m_dwDataLength, 0U);
    EXPECT_TRUE(desktop.m_messages.empty());

    WriteFile(dir / "held.dat", "abc");
    CFile holder(Path("held.dat"), CFile::modeRead | CFile::shareExclusive);
    EXPECT_EQ(ReadFileToGlobal(Path("held.dat"), value), 0);
    EXPECT_EQ(value.m_hData, nullptr);
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_NE(desktop.m_messages[0].find("held.dat"), std::string::npos);
}

// A data file the package named and the check found: whatever keeps it from
// being read is a failure shown with the file and the cause, never an empty value.
// (A file read whole: ImportTest, the tun file.)
TEST_F(FileHelpersTest, ReadExistingFileToGlobalTakesNoFailureForAnEmptyFile) {
    WriteFile(dir / "vs1.bin", Pattern(4096, 3));
    const std::string tooLong = (dir / (std::string(5000, '/') + "vs1.bin")).string();
    ::mkfifo((dir / "pipe").c_str(), 0600);
    WriteFile(dir / "held.dat", "abc");
    CFile holder(Path("held.dat"), CFile::modeRead | CFile::shareExclusive);
    struct Case {
        std::string path;
        const char* cause;
    };
    for (const Case& failing :
         {Case{(dir / "vanished.bin").string(), "File not found"},
          Case{tooLong, "File name too long"}, Case{(dir / "pipe").string(), "Invalid file"},
          Case{(dir / "held.dat").string(), "Sharing violation"}}) {
        desktop.m_messages.clear();
        CLongBinary untouched;
        EXPECT_EQ(ReadExistingFileToGlobal(failing.path.c_str(), untouched), 0) << failing.cause;
        EXPECT_EQ(untouched.m_hData, nullptr) << failing.cause;
        ASSERT_EQ(desktop.m_messages.size(), 1U) << failing.cause;
        EXPECT_NE(desktop.m_messages[0].find(failing.cause), std::string::npos)
            << desktop.m_messages[0];
        EXPECT_NE(desktop.m_messages[0].find(failing.path), std::string::npos)
            << desktop.m_messages[0].substr(0, 200);
    }
}

TEST_F(FileHelpersTest, CopyFileContentsCopiesLargeAndEmptyFilesWholeAndKeepsThemRunnable) {
    const std::string large = Pattern(kStreamChunk * 2 + 3);  // several pieces
    WriteFile(dir / "large", large);
    ::chmod((dir / "large").c_str(), 0755);
    EXPECT_EQ(CopyFileContents(Path("large"), Path("large.copy")), 1);
    EXPECT_EQ(ReadFile(dir / "large.copy"), large);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "large.copy").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755U);

    WriteFile(dir / "empty", "");
    EXPECT_EQ(CopyFileContents(Path("empty"), Path("empty.copy")), 1);
    EXPECT_EQ(ReadFile(dir / "empty.copy"), "");
    EXPECT_TRUE(desktop.m_messages.empty());
}

TEST_F(FileHelpersTest, CopyFileContentsOfNoFileWritesNothingAndSaysSoForAFolder) {
    EXPECT_EQ(CopyFileContents(Path("missing"), Path("target")), 1);
    EXPECT_TRUE(desktop.m_messages.empty());
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(CopyFileContents(Path("folder"), Path("target")), 1);
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_EQ(desktop.m_messages[0], "Keine Datei!");
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));
}

TEST_F(FileHelpersTest, CopyFileContentsPassesFailedOpensOnAndShowsFailedWrites) {
    WriteFile(dir / "source", "bytes");
    EXPECT_THROW(CopyFileContents(Path("source"), Path("no/such/dir/target")), CFileException);
    {
        CFile holder(Path("source"), CFile::modeRead | CFile::shareExclusive);
        try {
            CopyFileContents(Path("source"), Path("target"));
            ADD_FAILURE() << "a held source must raise the file error";
        } catch (const CFileException& error) {
            EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
            EXPECT_EQ(error.m_strFileName, Path("source"));
        }
    }
    EXPECT_TRUE(desktop.m_messages.empty());

    // A device that is always full: the write fails and is shown.
    EXPECT_EQ(CopyFileContents(Path("source"), "/dev/full"), 0);
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_NE(desktop.m_messages[0].find("Disk full"), std::string::npos);
    EXPECT_LE(desktop.m_messages[0].size(), 254U);
}
