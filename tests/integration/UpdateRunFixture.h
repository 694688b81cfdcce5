// Runs of the real tool from a real medium made by lorbanix-pack, against the
// real data sources: what a test sees of a run and what the tables hold after it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/DataSource.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

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

// A line of the run history, key by key, values unescaped.
using Fields = std::map<std::string, std::string>;

// How a run ends: what every run is held to (ToolRunTest::RunToEnd).
struct Ending {
    // said: each in its one message, none: no message at all; result: its
    // history line's, empty: it writes none; kept: what it leaves in its work
    // directory, none: it keeps the work directory only when it ended at once
    // (a database error, no chassis).
    Ending(int exitCode = 0, int lastPosition = 16, std::vector<std::string> said = {},
           std::string result = "committed", std::string kept = {})
        : exitCode(exitCode),
          lastPosition(lastPosition),
          said(std::move(said)),
          result(std::move(result)),
          kept(std::move(kept)) {}
    int exitCode;
    int lastPosition;
    std::vector<std::string> said;
    std::string result;
    std::string kept;
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
    // Runs the tool and holds it to the contract of every run: the exit code,
    // the bar and the message of ending; the update committed whole or not at
    // all (the seeded rows); what stays of the work directory; one history line
    // that says how the run ended and shows what it showed, with row counts only
    // when it committed.
    struct Ended {
        Outcome outcome;
        Fields record;  // empty when it wrote none
    };
    Ended RunToEnd(const Ending& ending, SubprocessOptions options = {},
                   const std::filesystem::path& mediumDir = {});
    [[nodiscard]] std::filesystem::path HistoryFile() const;
    [[nodiscard]] std::vector<Fields> Records() const;
    // The rows of a seeded database, which no failed run may change.
    void SeedOldRows();
    // The environment of a copy of the data source's configuration in
    // dir/config-NAME with the values of keys changed (of "Location": another
    // install location; of "Port" and, for SQLite, "Database": a data source
    // that refuses every connection).
    std::map<std::string, std::string> Configured(const std::string& name,
                                                  const Fields& changed) const;

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
// The environment that points the tool at the driver configuration in configDir.
std::map<std::string, std::string> EnvOf(const std::filesystem::path& configDir);
// Another session holds the tun table: on PostgreSQL so that even reading it
// waits, on SQLite by an open write transaction (it has no table locks).
void LockTunTable(CDatabase& other, DataSourceKind kind);

// A trigger on table that refuses the row whose column holds value with the
// text "VALUE refused" (or, on PostgreSQL with sleepSeconds, makes the server
// wait that long on it first; with sqlState, refuses it with that state);
// dropped again with the object.
class RowTrigger {
  public:
    RowTrigger(const DataSource& source, std::string table, const std::string& column,
               const std::string& value, int sleepSeconds = 0, const std::string& sqlState = "");
    ~RowTrigger();
    RowTrigger(const RowTrigger&) = delete;
    RowTrigger& operator=(const RowTrigger&) = delete;

  private:
    void Drop() const;
    const DataSource& m_source;
    std::string m_table;
};
