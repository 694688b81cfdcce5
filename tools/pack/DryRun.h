// The update's own import of an unpacked package, run against the data source
// the tool writes to inside one transaction that is always rolled back: what
// the update would delete, add and change, table by table.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/pack/SpoolCheck.h"

struct TableChanges {
    int deleted = 0;
    int added = 0;
    int changed = 0;  // a row of the same key with other values
};

struct DryRunReport {
    bool imported = false;  // the import ran to its end (and was rolled back)
    std::string failure;    // why it stopped, as the tool would show it
    int toolExitCode = 0;   // the code the tool would end with
    std::array<TableChanges, kTableCount> changes{};
    // The rows the update may touch, read again after the rollback, are those
    // read before it began; false also when they could not be read again.
    bool unchanged = false;
    bool readBefore = false;            // the rows were read before the import began
    std::vector<std::string> messages;  // what the import showed
};

// workDir holds the unpacked package. Connects as the tool does; nothing is
// ever committed.
DryRunReport DryRun(const std::string& workDir);
