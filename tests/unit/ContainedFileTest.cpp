#include "framework/ContainedFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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

    // The path the name resolves to, or the verdict when it names no file.
    std::string Resolved(const std::string& name) const {
        const ContainedFile found = FindContainedFile(work.c_str(), name.c_str());
        return found.m_verdict == ContainedFile::regularFile ? found.m_strPath.str()
                                                             : Verdict(name);
    }

    TempDir dir;
    fs::path work = dir / "Velko";
};

// Folders of 200-byte names under dir, as deep as given, with the file "inner"
// at the bottom; made by descriptor, since the whole path is too long to use.
// Returns the name that reaches the file from dir.
std::string MakeDeepFile(const fs::path& dir, int levels) {
    const std::string level(200, 'd');
    std::string name;
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, level.c_str(), 0755);
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        name += level + "/";
    }
    EXPECT_GE(fd, 0);
    const int file = ::openat(fd, "inner", O_WRONLY | O_CREAT, 0644);
    EXPECT_GE(file, 0);
    ::close(file);
    ::close(fd);
    return name + "inner";
}
}  // namespace

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

TEST_F(ContainedFileTest, ARegularFileInsideResolvesToThePathOfItsComponentsHoweverManySteps) {
    const std::string dataFile = (work / "data" / "vs1.bin").string();
    EXPECT_EQ(Resolved("tun.bin"), (work / "tun.bin").string());
    EXPECT_EQ(Resolved("data/vs1.bin"), dataFile);
    EXPECT_EQ(Resolved("./data//vs1.bin"), dataFile);
    EXPECT_EQ(Resolved("data/../tun.bin"), (work / "tun.bin").string());
    EXPECT_EQ(Resolved("absent.bin"), "missing");
    EXPECT_EQ(Resolved("data/absent/x.bin"), "missing");
    EXPECT_EQ(Resolved("tun.bin/x"), "missing");
    // Far longer than any path, yet naming a file close by: read from where it resolves.
    EXPECT_EQ(Resolved("data" + std::string(5000, '/') + "vs1.bin"), dataFile);
    std::string dots;
    while (dots.size() < 10000) {
        dots += "./";
    }
    EXPECT_EQ(Resolved(dots + "data/vs1.bin"), dataFile);
    std::string upAndDown = "data/";
    while (upAndDown.size() < 10000) {
        upAndDown += "../data/";
    }
    EXPECT_EQ(Resolved(upAndDown + "vs1.bin"), dataFile);
    EXPECT_EQ(Resolved(upAndDown + "../../secret.txt"), "leaves the directory");
}

TEST_F(ContainedFileTest, ANameThatResolvesBeyondTheLongestPathIsRefusedNeverCut) {
    // 25 levels of 200 bytes: the file lies deeper than any path can name.
    const std::string deep = MakeDeepFile(work, 25);
    ASSERT_GT(work.string().size() + 1 + deep.size(), static_cast<std::size_t>(PATH_MAX));
    const std::string reason = Verdict(deep);
    EXPECT_NE(reason.find("longer than"), std::string::npos) << reason;
    EXPECT_NE(reason.find(std::to_string(PATH_MAX - 1)), std::string::npos) << reason;
    // The same folders short of the limit are walked.
    const std::string shallow = MakeDeepFile(work / "data", 5);
    EXPECT_EQ(Resolved("data/" + shallow), (work / "data" / shallow).string());
}
