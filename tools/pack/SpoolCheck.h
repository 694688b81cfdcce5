// Checks a folder of spool and data files the way the update tool will read
// it, with the tool's own parsers: what it would refuse, what it would skip or
// store unexpectedly, and how many rows each table receives.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Finding {
    enum Severity { warning, error };
    Severity severity = warning;
    std::string file;  // relative to the checked folder
    int line = 0;      // 1-based; 0 for the file as a whole
    std::string rule;
    std::string effect;  // what the tool does with it
};

// "file:line: error: rule: effect" (no line part for a whole file).
std::string FormatFinding(const Finding& finding);

enum SpoolTable { kIdcardTable, kIdcompTable, kSerialTable, kTunTable, kVsTable, kTableCount };
// The table's name in the data source.
const char* TableName(SpoolTable table);

struct SpoolReport {
    std::vector<Finding> findings;
    std::array<int, kTableCount> rowsWritten{};
    std::uint64_t dataFileBytes = 0;  // the data files the spool files name, each once

    [[nodiscard]] int Count(Finding::Severity severity) const;
};

// Checks the folder's spool files and the data files they name, and what in it
// cannot be packed; the folder itself must exist. leaveOut: a folder inside it
// that is not packed (the medium being made).
SpoolReport CheckSpoolFolder(const std::string& dir, const std::string& leaveOut = {});
