#include "framework/CFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"

namespace {
CString Path(const std::filesystem::path& path) {
    return CString(path.string());
}

int CauseOfOpening(const std::filesystem::path& path, unsigned flags) {
    try {
        CFile file(Path(path), flags);
    } catch (const CFileException& error) {
        return error.m_cause;
    }
    return CFileException::none;
}
}  // namespace

// A file another open holds is neither opened nor changed: a create that cut the
// file before it found it held would destroy what the holder is reading.
TEST(CFileTest, AHeldFileIsRefusedAndKeptWholeAndAFreeOneIsCutOnCreate) {
    TempDir dir;
    const auto path = dir / "package.prs";
    WriteFile(path, "precious bytes");
    std::optional<CFile> holder(std::in_place, Path(path), CFile::modeRead | CFile::shareExclusive);
    const unsigned create = CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive;
    EXPECT_EQ(CauseOfOpening(path, create), CFileException::sharingViolation);
    EXPECT_EQ(CauseOfOpening(path, CFile::modeRead | CFile::shareExclusive),
              CFileException::sharingViolation);
    holder.reset();  // Windows lets no one read it while held, this test neither
    EXPECT_EQ(ReadFile(path), "precious bytes");
    EXPECT_EQ(CauseOfOpening(path, create), CFileException::none);
    EXPECT_EQ(ReadFile(path), "");
}

TEST(CFileTest, ReadsWritesAndSeeksFromEitherEnd) {
    TempDir dir;
    {
        CFile file(Path(dir / "out.bin"), CFile::modeCreate | CFile::modeWrite);
        file.Write("new", 3);
    }
    CFile file(Path(dir / "out.bin"), CFile::modeRead);
    EXPECT_EQ(file.GetLength(), 3U);
    EXPECT_EQ(file.Seek(1, CFile::begin), 1U);
    char bytes[8] = {};
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 2U);
    EXPECT_EQ(std::string(bytes, 2), "ew");
    EXPECT_EQ(file.Seek(-1, CFile::end), 2U);
    EXPECT_EQ(file.GetLength(), 3U);
}
