// Runs of the real tool from a real medium made by lorbanix-pack, against the
// real data sources: what a test sees of a run and what the tables hold after it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/DataSource.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using Rows = std::vector<std::vector<std::string>>;

inline constexpr const char* kPack = LORBANIX_BINARY_DIR "/lorbanix-pack";
inline constexpr const char* kUnzip = LORBANIX_BINARY_DIR "/pkunzip";
inline constexpr const char* kProgress = "Lorbanix Update by Floppy: ";
inline constexpr const char* kMessage = "lorbanix-update: ";

struct Outcome {
    int exitCode = -1;
    int endSignal = 0;  // the signal that ended the run, or 0
    bool timedOut = false;
    std::vector<int> positions;
    std::vector<std::string> messages;
    std::string output;
};

class ToolRunTest : public ::testing::TestWithParam<DataSourceKind> {
  protected:
    void SetUp() override;
    void TearDown() override;

    void Spool(const std::string& name, const std::string& bytes);
    // The usual update of one vehicle.
    void StandardSpool(const std::string& chassis = "CH1");
    // Packs dir/spool into dir/medium (or mediumDir) as NAME.prs; extraArgs go
    // to lorbanix-pack ("--unpacker", path).
    void Pack(const std::string& name = "update", const std::vector<std::string>& extraArgs = {},
              const std::filesystem::path& mediumDir = {});
    // Runs the tool from dir/medium (or mediumDir) with the data source's configuration.
    Outcome Run(SubprocessOptions options = {}, const std::filesystem::path& mediumDir = {});
    // The rows of a seeded database, which no failed run may change.
    void SeedOldRows();
    // The environment of a second install location on this machine's data
    // source: its own driver configuration and work directory, the same database.
    std::map<std::string, std::string> SecondInstall(const std::string& name);
    // A copy of the data source's configuration in folder whose data source
    // refuses every connection (a missing database folder, port 1); gives its
    // odbc.ini.
    std::filesystem::path UnreachableDataSource(const std::filesystem::path& folder) const;

    static std::vector<int> StepsTo(int last);
    [[nodiscard]] Rows Sorted(const std::string& sql) const;
    [[nodiscard]] Rows AllRows() const;

    const DataSource* source = nullptr;
    std::filesystem::path workDir;
    TempDir dir;
};

// What StandardSpool commits, table by table ("--" ends a table).
extern const Rows kStandardRows;
// What SeedOldRows leaves.
extern const Rows kSeededRows;
// Executable shell script at path.
void WriteScript(const std::filesystem::path& path, const std::string& body);

// A trigger on table that refuses the row whose column holds value with the
// text "VALUE refused" (or, on PostgreSQL with sleepSeconds, makes the server
// wait that long on it first); dropped again with the object.
class RowTrigger {
  public:
    RowTrigger(const DataSource& source, std::string table, const std::string& column,
               const std::string& value, int sleepSeconds = 0);
    ~RowTrigger();
    RowTrigger(const RowTrigger&) = delete;
    RowTrigger& operator=(const RowTrigger&) = delete;

  private:
    void Drop() const;
    const DataSource& m_source;
    std::string m_table;
};
