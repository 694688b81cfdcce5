#include "app/WorkDirectory.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {
// Points the driver manager at a configuration holding the given odbcinst.ini.
class WorkDirectoryTest : public ::testing::Test {
  protected:
    std::string Resolve(const std::string& odbcinst) {
        WriteFile(dir / "odbcinst.ini", odbcinst);
        WriteFile(dir / "odbc.ini", "");
        SubprocessOptions options;
        options.env = {{"ODBCSYSINI", dir.str()},
                       {"ODBCINI", (dir / "odbc.ini").string()},
                       {"HOME", (dir / "home").string()}};
        const SubprocessResult result =
            RunSubprocess({LORBANIX_BINARY_DIR "/tests/print_work_directory"}, options);
        EXPECT_EQ(result.exitCode, 0);
        return result.output;
    }

    TempDir dir;
};
}  // namespace

TEST(ExeDirectoryTest, IsThePathUpToItsLastSeparator) {
    EXPECT_EQ(ExeDirectoryOf("/media/floppy/lorbanix-update"), "/media/floppy");
    EXPECT_EQ(ExeDirectoryOf("/lorbanix-update"), "");
    EXPECT_EQ(ExeDirectoryOf("lorbanix-update"), "");
}

TEST_F(WorkDirectoryTest, WithoutARegisteredLocationTheDefaultIsUsed) {
    EXPECT_EQ(Resolve("[Other Driver]\nLocation=/opt/other\n"), "/home/Lorbanix/Velko");
    EXPECT_EQ(Resolve("[Transbase for Lorbanix]\nDriver=/usr/lib/driver.so\n"),
              "/home/Lorbanix/Velko");
}

TEST_F(WorkDirectoryTest, TheLocationIsTakenAsStored) {
    EXPECT_EQ(Resolve("[Transbase for Lorbanix]\nLocation=/opt/Prog\n"), "/opt/Prog/Velko");
    EXPECT_EQ(Resolve("[Transbase for Lorbanix]\nLocation=/opt/Prog/\n"), "/opt/Prog//Velko");
    EXPECT_EQ(Resolve("[Transbase for Lorbanix]\nLocation=\n"), "/Velko");
}

TEST_F(WorkDirectoryTest, ALocationAtTheConfigurationLineLimitIsReadWhole) {
    // The driver manager keeps about 990 bytes of a value.
    const std::string location = "/" + std::string(979, 'p');
    EXPECT_EQ(Resolve("[Transbase for Lorbanix]\nLocation=" + location + "\n"),
              location + "/Velko");
}
