// The finder's patterns on every platform: matched against each entry's own
// name, ASCII letters in any case, whatever aliases the system keeps.
#include "framework/CFileFind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Kernel.h"
#include "tests/support/TempDir.h"

namespace {
std::vector<std::string> Listed(const CString& pattern) {
    std::vector<std::string> names;
    CFileFind finder;
    bool more = finder.FindFile(pattern);
    while (more) {
        more = finder.FindNext();
        if (!finder.IsDots()) {
            names.push_back(finder.GetFileName().str());
        }
    }
    return names;
}
}  // namespace

TEST(FileFindTest, APatternMatchesWholeLongNamesInAnyCase) {
    const TempDir dir;
    // On a FAT medium each of these has a short alias ending in .PRS.
    for (const char* name : {"update.prsx", "old.prs_bak", "update.prs", "Zeta.PRS", "a.prs.txt",
                             "long name.prs", "prs", ".prs"}) {
        WriteFile(dir / name, "");
    }
    const CString root(dir.str());
    EXPECT_EQ(Listed(PathJoin(root, "*.prs")),
              (std::vector<std::string>{".prs", "Zeta.PRS", "long name.prs", "update.prs"}));
    EXPECT_EQ(Listed(PathJoin(root, "update.pr?")), std::vector<std::string>{"update.prs"});
    EXPECT_EQ(Listed(PathJoin(root, "*.*")).size(), 8U);
    EXPECT_TRUE(Listed(PathJoin(root, "*.spl")).empty());
}
