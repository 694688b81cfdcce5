// The real tool, started from a medium, against the real data sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "tests/support/DataSource.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kTool = LORBANIX_BINARY_DIR "/lorbanix-update";

class AppRunTest : public ::testing::TestWithParam<DataSourceKind> {
  protected:
    void SetUp() override {
        source = &GetDataSource(GetParam());
        workDir = fs::path(source->InstallDir()) / "Velko";
        fs::remove_all(workDir);
        fs::create_directories(medium.path());
        fs::copy_file(kTool, medium / "lorbanix-update");
    }
    void TearDown() override { fs::remove_all(workDir); }

    SubprocessResult Run(SubprocessOptions options = {}) {
        if (options.env.empty()) {
            options.env = source->env;
        }
        options.workingDir = medium.str();
        return RunSubprocess({(medium / "lorbanix-update").string()}, options);
    }

    // The same data source with its server or file out of reach.
    std::map<std::string, std::string> UnreachableEnv() {
        fs::copy_file(fs::path(source->dir) / "odbcinst.ini", broken / "odbcinst.ini");
        std::istringstream in(ReadFile(fs::path(source->dir) / "odbc.ini"));
        std::string ini;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Database=", 0) == 0 && GetParam() == DataSourceKind::Sqlite) {
                line = "Database=/nonexistent/folder/lorbanix.db";
            } else if (line.rfind("Port=", 0) == 0) {
                line = "Port=1";
            }
            ini += line + "\n";
        }
        WriteFile(broken / "odbc.ini", ini);
        return {{"ODBCSYSINI", broken.str()},
                {"ODBCINI", (broken / "odbc.ini").string()},
                {"HOME", (broken / "home").string()}};
    }

    const DataSource* source = nullptr;
    fs::path workDir;
    TempDir medium;
    TempDir broken;
};

constexpr const char* kFirstSteps =
    "Lorbanix Update by Floppy: 0/16\nLorbanix Update by Floppy: 1/16\n";
}  // namespace

TEST_P(AppRunTest, ARunConnectsStepsAndRemovesTheWholeWorkDirectory) {
    WriteFile(workDir / "pkunzip.exe", "left from an earlier run");
    WriteFile(workDir / ".hidden", "x");
    WriteFile(workDir / "data" / "deeper" / ".x" / "file.bin", "x");
    const SubprocessResult result = Run();
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, kFirstSteps);
    EXPECT_FALSE(fs::exists(workDir));
    EXPECT_TRUE(fs::exists(source->InstallDir()));
}

TEST_P(AppRunTest, ARunWithoutWorkDirectoryEndsNormally) {
    const SubprocessResult result = Run();
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_FALSE(fs::exists(workDir));
}

TEST_P(AppRunTest, ARefusedConnectionShowsTheDriversTextAndEndsWithCode1) {
    WriteFile(workDir / "kept.spl", "x");
    SubprocessOptions options;
    options.env = UnreachableEnv();
    const SubprocessResult result = Run(options);
    EXPECT_EQ(result.exitCode, 1) << result.output;
    const std::string expectedStart =
        std::string("Lorbanix Update by Floppy: 0/16\nlorbanix-update: ");
    EXPECT_EQ(result.output.rfind(expectedStart, 0), 0U) << result.output;
    EXPECT_EQ(result.output.find("1/16"), std::string::npos);
    const std::string driverText =
        GetParam() == DataSourceKind::Sqlite ? "connect failed" : "refused";
    EXPECT_NE(result.output.find(driverText), std::string::npos) << result.output;
    // The run never reached its work: nothing there was touched.
    EXPECT_EQ(ReadFile(workDir / "kept.spl"), "x");
}

TEST_P(AppRunTest, AnInterruptFromTheKeyboardIsIgnored) {
    SubprocessOptions options;
    options.interruptOnOutput = "0/16";
    const SubprocessResult result = Run(options);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, kFirstSteps);
}

INSTANTIATE_TEST_SUITE_P(DataSources, AppRunTest, ::testing::ValuesIn(AllDataSources()),
                         [](const auto& info) { return DataSourceKindName(info.param); });
