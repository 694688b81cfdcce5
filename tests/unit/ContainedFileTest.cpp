#include "framework/ContainedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {
class ContainedFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(work / "tun.bin", "t");
        WriteFile(work / "data" / "vs1.bin", "v");
        WriteFile(dir / "secret.txt", "s");
        fs::create_symlink(dir / "secret.txt", work / "out-link");
        fs::create_symlink(work / "tun.bin", work / "in-link");
        fs::create_directory_symlink(dir.path(), work / "out-folder");
        ::mkfifo((work / "fifo").c_str(), 0600);
    }

    // The reason a name is refused; "file" or "missing" when it is not.
    std::string Verdict(const std::string& name) const {
        const ContainedFile found = FindContainedFile(work.c_str(), name.c_str());
        if (found.m_verdict == ContainedFile::refused) {
            EXPECT_FALSE(found.m_strReason.IsEmpty()) << name;
            return found.m_strReason.str();
        }
        return found.m_verdict == ContainedFile::regularFile ? "file" : "missing";
    }

    TempDir dir;
    fs::path work = dir / "Velko";
};
}  // namespace

TEST_F(ContainedFileTest, RegularFilesReachedInsideTheDirectoryAreFound) {
    EXPECT_EQ(Verdict("tun.bin"), "file");
    EXPECT_EQ(Verdict("data/vs1.bin"), "file");
    EXPECT_EQ(Verdict("./data//vs1.bin"), "file");
    EXPECT_EQ(Verdict("data/../tun.bin"), "file");
    EXPECT_EQ(Verdict("absent.bin"), "missing");
    EXPECT_EQ(Verdict("data/absent/x.bin"), "missing");
    EXPECT_EQ(Verdict("tun.bin/x"), "missing");
}

TEST_F(ContainedFileTest, NamesThatLeaveOrAreNoRegularFileAreRefusedWithTheReason) {
    EXPECT_EQ(Verdict("../secret.txt"), "leaves the directory");
    EXPECT_EQ(Verdict("data/../../secret.txt"), "leaves the directory");
    EXPECT_EQ(Verdict("../Velko/tun.bin"), "leaves the directory");
    EXPECT_EQ(Verdict((dir / "secret.txt").string()), "is an absolute name");
    EXPECT_EQ(Verdict("C:secret.txt"), "names a drive");
    EXPECT_EQ(Verdict("out-link"), "is a symbolic link");
    // Links are never followed, wherever they point.
    EXPECT_EQ(Verdict("in-link"), "is a symbolic link");
    EXPECT_EQ(Verdict("out-folder/secret.txt"), "leads through the symbolic link out-folder");
    EXPECT_EQ(Verdict("fifo"), "is a named pipe");
    EXPECT_EQ(Verdict("data"), "is a directory");
    EXPECT_EQ(Verdict(""), "is a directory");
    EXPECT_EQ(Verdict("data/.."), "is a directory");
}
