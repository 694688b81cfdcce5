// What a run does when its work directory, its unpacker, its package or the data
// files its spool files name are not what they should be, and when two runs
// share one install location: every such run stops with code 3 and one message,
// commits nothing and leaves nothing outside its work directory changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/integration/UpdateRunFixture.h"

namespace fs = std::filesystem;

namespace {
class RunSafetyTest : public UpdateRunTest {};
}  // namespace

TEST_P(RunSafetyTest, AWorkDirectoryThatIsALinkIsRefusedAndItsTargetNeverCleared) {
    SeedOldRows();
    StandardSpool();
    Pack();
    const fs::path target = dir / "elsewhere";
    WriteFile(target / "precious.txt", "keep me");
    WriteFile(target / "sub" / "more.txt", "and me");
    fs::create_directory_symlink(target, workDir);

    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 3) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(1));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find(workDir.string()), std::string::npos) << outcome.output;
    EXPECT_EQ(ReadFile(target / "precious.txt"), "keep me");
    EXPECT_EQ(ReadFile(target / "sub" / "more.txt"), "and me");
    EXPECT_FALSE(fs::exists(target / "spool.zip"));
    EXPECT_EQ(AllRows(), kSeededRows);
}

INSTANTIATE_TEST_SUITE_P(DataSources, RunSafetyTest, ::testing::ValuesIn(AllDataSources()),
                         [](const auto& info) { return DataSourceKindName(info.param); });
