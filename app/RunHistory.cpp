#include "app/RunHistory.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/Kernel.h"

namespace {
constexpr const char* kTemporarySuffix = ".tmp";
constexpr std::array<const char*, kRowTableCount> kTableKeys = {"idcard", "idcomp", "serial", "tun",
                                                                "vs"};

const char* ResultText(RunResult result) {
    switch (result) {
        case RunResult::committed:
            return "committed";
        case RunResult::nothingToDo:
            return "nothing-to-do";
        case RunResult::rolledBack:
            return "rolled-back";
        case RunResult::refused:
            return "refused";
        case RunResult::stopped:
        default:
            return "stopped";
    }
}

// One field, TAB-led unless it is the first: what cuts lines and fields, and
// the escape itself, never appear as themselves in a value.
void AddField(std::string& line, const char* key, const std::string& value) {
    if (!line.empty()) {
        line += '\t';
    }
    line += key;
    line += '=';
    for (const char ch : value) {
        switch (ch) {
            case '\\':
                line += "\\\\";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            default:
                line += ch;
        }
    }
}

std::string UtcText(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(when - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string SecondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ".%03ds",
                  static_cast<std::int64_t>(duration.count() / 1000),
                  static_cast<int>(duration.count() % 1000));
    return text;
}

std::string ChangesText(const RowChanges& changes) {
    char text[80];
    std::snprintf(text, sizeof text, "%" PRId64 "/%" PRId64 "/%" PRId64, changes.deleted,
                  changes.added, changes.changed);
    return text;
}

// The newest whole lines of the file that fit in room bytes; nothing when the
// file is missing.
std::string NewestLines(const CString& path, std::size_t room) {
    switch (GetPathKind(path)) {
        case PathKind::none:
            return {};
        case PathKind::file:
            break;
        default:
            // Replacing it would hide what stands there (a link, a directory).
            throw CFileException(CFileException::invalidFile, 0, path);
    }
    CFile file(path, CFile::modeRead);
    const std::uint64_t length = file.GetLength();
    // One byte before the part that fits tells whether its first line is whole.
    const std::uint64_t from = length > room ? length - room - 1 : 0;
    file.Seek(static_cast<std::int64_t>(from), CFile::begin);
    std::string tail(static_cast<std::size_t>(length - from), '\0');
    tail.resize(file.Read(tail.data(), tail.size()));
    file.Close();
    if (from > 0) {
        const std::size_t firstEnd = tail.find('\n');
        tail.erase(0, firstEnd == std::string::npos ? tail.size() : firstEnd + 1);
    }
    // Text after the last line feed is no whole line: an appender stopped in it.
    const std::size_t lastEnd = tail.rfind('\n');
    tail.erase(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    return tail;
}
}  // namespace

CString FormatRunRecord(const RunRecord& record) {
    std::string line;
    AddField(line, "start", UtcText(record.start));
    AddField(line, "duration", SecondsText(record.duration));
    AddField(line, "exit", std::to_string(record.exitCode));
    AddField(line, "result", ResultText(record.result));
    AddField(line, "medium", record.medium.str());
    AddField(line, "package", record.package.str());
    AddField(line, "sha256", record.sha256.str());
    AddField(line, "chassis", record.chassis.str());
    for (std::size_t table = 0; table < kRowTableCount; ++table) {
        AddField(line, kTableKeys.at(table),
                 record.rows ? ChangesText(record.rows->tables.at(table)) : std::string());
    }
    AddField(line, "message", record.message.str());
    line += '\n';
    return CString(line);
}

void AddToHistory(const CString& path, const CString& line, bool holdingRunLock,
                  std::size_t bound) {
    const std::string& bytes = line.str();
    if (!holdingRunLock) {
        CFile::Append(path, bytes.data(), bytes.size());
        return;
    }
    std::string text = NewestLines(path, bound > bytes.size() ? bound - bytes.size() : 0);
    text += bytes;
    // Written whole and on the disk before it takes the history's name: a run
    // killed on the way leaves the old file as it was.
    const CString temporary = path + kTemporarySuffix;
    if (GetPathKind(temporary) != PathKind::none) {
        CFile::Remove(temporary);  // left by a killed run; a link goes, not its target
    }
    CFile out(temporary, CFile::modeCreate | CFile::modeWrite);
    out.Write(text.data(), text.size());
    out.Flush();
    out.Close();
    CFile::Rename(temporary, path);
}
