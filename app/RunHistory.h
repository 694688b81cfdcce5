// The record each run leaves for whoever looks after the workstation: one line
// per run in a file beside the run lock, kept to about 1 MiB.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "framework/CString.h"
#include "imports/RowCounts.h"

// The most the history file holds after a run that held the run lock.
inline constexpr std::size_t kHistoryBound = std::size_t{1} << 20U;

enum class RunResult {
    committed,    // the data source confirmed the commit
    nothingToDo,  // the medium holds no package
    rolledBack,   // the imports began and nothing of them was committed
    stopped,      // ended before the imports began: nothing was written
    refused,      // another run holds the install location
};

struct RunRecord {
    std::chrono::system_clock::time_point start;
    std::chrono::milliseconds duration{0};
    CString medium;
    CString package;  // the package's file name, empty when none was found
    CString sha256;   // of the package, empty when none or unreadable
    CString chassis;  // empty when the ID card was not read
    RunResult result = RunResult::stopped;
    // Only for a committed run: a rolled-back run changed no row.
    std::optional<RowCounts> rows;
    int exitCode = 0;
    CString message;  // what the run showed, empty when nothing
};

// The record as one line, ending in a line feed: TAB-separated key=value
// fields, each value with backslash, TAB, line feed and carriage return
// written as \\, \t, \n and \r.
[[nodiscard]] CString FormatRunRecord(const RunRecord& record);

// Adds the line to the history file at path. A run that holds the run lock
// rewrites the file through a temporary file and a rename, keeping the newest
// whole lines that fit within bound with it; any other run only appends the
// line in one write (it may meet the run that holds the lock). Raises
// CFileException; nothing is ever left half written.
void AddToHistory(const CString& path, const CString& line, bool holdingRunLock,
                  std::size_t bound = kHistoryBound);
