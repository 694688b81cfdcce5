#include "framework/CFile.h"

#include <gtest/gtest.h>

#include <optional>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"

namespace {
int CauseOfOpening(const std::filesystem::path& path, unsigned flags) {
    try {
        CFile file(path.c_str(), flags);
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
    std::optional<CFile> holder(std::in_place, path.c_str(),
                                CFile::modeRead | CFile::shareExclusive);
    const unsigned create = CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive;
    EXPECT_EQ(CauseOfOpening(path, create), CFileException::sharingViolation);
    EXPECT_EQ(CauseOfOpening(path, CFile::modeRead | CFile::shareExclusive),
              CFileException::sharingViolation);
    EXPECT_EQ(ReadFile(path), "precious bytes");
    holder.reset();
    EXPECT_EQ(CauseOfOpening(path, create), CFileException::none);
    EXPECT_EQ(ReadFile(path), "");
}
