#include "tools/pack/SpoolCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "framework/ContainedFile.h"
#include "imports/CSpoolImporter.h"
#include "imports/SpoolError.h"
#include "imports/SpoolText.h"
#include "tools/pack/MediumPacker.h"

namespace fs = std::filesystem;

namespace {
// Every text column of the five tables holds this many bytes.
constexpr int kColumnBytes = 255;
constexpr const char* kNothingCommitted = "the run ends with exit code 1 and commits nothing";

const std::array<const char*, kTableCount> kTableNames = {"tb_idcard", "tb_idcomp",
                                                          "tb_serialnumber", "tb_tun", "tb_vs"};

struct SpoolFile {
    std::string name;
    bool present = false;
    std::string bytes;  // as stored
    CString text;       // as the tool reads it: up to the first NUL
};

int LineAt(const std::string& bytes, std::size_t offset) {
    const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes.size()));
    return 1 + static_cast<int>(std::count(bytes.begin(), end, '\n'));
}

class Checker {
  public:
    Checker(std::string dir, const std::string& leaveOut)
        : m_dir(std::move(dir)), m_listing(ListSource(m_dir, leaveOut)) {}

    SpoolReport Run() {
        CheckListing();
        InLineOrder([&] { CheckIdcard(); });
        InLineOrder(
            [&] { CheckChassisLines(Load("idcomp.spl"), kIdcompTable, "component", {"te_comp"}); });
        InLineOrder([&] {
            CheckChassisLines(Load("serial.spl"), kSerialTable, "serial-number",
                              {"te_serialID", "te_serialno"});
        });
        InLineOrder([&] { CheckTun(); });
        InLineOrder([&] { CheckVs(); });
        CheckUnnamedFiles();
        return std::move(m_report);
    }

  private:
    // Runs the check of one file and puts its findings in line order.
    template <typename Check>
    void InLineOrder(const Check& check) {
        const std::size_t first = m_report.findings.size();
        check();
        std::stable_sort(m_report.findings.begin() + static_cast<std::ptrdiff_t>(first),
                         m_report.findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
    }

    void Add(Finding::Severity severity, const std::string& file, int line, std::string rule,
             std::string effect) {
        m_report.findings.push_back({severity, file, line, std::move(rule), std::move(effect)});
    }

    SpoolFile Load(const std::string& name) {
        SpoolFile file;
        file.name = name;
        m_named.insert(name);
        const fs::path path = fs::path(m_dir) / name;
        std::error_code error;
        // Never a link's target, never a pipe: what is no file is reported by the listing.
        if (!fs::is_regular_file(fs::symlink_status(path, error))) {
            return file;
        }
        std::ifstream in(path, std::ios::binary);
        file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        file.present = true;
        // The same cut as the tool's whole-file read.
        file.text = CString(file.bytes.data(), file.bytes.size());
        if (const std::size_t nul = file.bytes.find('\0'); nul != std::string::npos) {
            Add(Finding::error, name, LineAt(file.bytes, nul), "NUL byte",
                "the tool reads the file only up to here; the rest is never imported");
        }
        return file;
    }

    void CheckLength(const SpoolFile& file, int line, const CString& text, const char* column) {
        if (text.GetLength() > kColumnBytes) {
            Add(Finding::error, file.name, line,
                "text of " + std::to_string(text.GetLength()) + " bytes is longer than " + column +
                    " (" + std::to_string(kColumnBytes) + " bytes)",
                std::string("the database refuses it or cuts it short; where refused, ") +
                    kNothingCommitted);
        }
    }

    // Line ends the tool does not expect in a file it cuts into lines;
    // crEffect: what a carriage return before the line feed does there.
    void CheckLineEnds(const SpoolFile& file, const std::string& crEffect) {
        const std::string& text = file.text.str();
        const std::size_t lastFeed = text.rfind('\n');
        const std::size_t tail = lastFeed == std::string::npos ? 0 : lastFeed + 1;
        if (lastFeed == std::string::npos && text.find('\r') != std::string::npos) {
            Add(Finding::warning, file.name, 1, "carriage returns but no line feed",
                "the tool sees no line and imports nothing from this file");
        } else if (tail < text.size()) {
            Add(Finding::warning, file.name, LineAt(text, tail), "text after the last line feed",
                "never imported");
        }
        int crLines = 0;
        int firstCrLine = 0;
        int line = 0;
        ForEachLine(file.text, [&](CString& text) {
            ++line;
            if (!text.IsEmpty() && text.GetAt(text.GetLength() - 1) == '\r') {
                firstCrLine = firstCrLine == 0 ? line : firstCrLine;
                ++crLines;
            }
            return true;
        });
        if (crLines > 0) {
            Add(Finding::warning, file.name, firstCrLine,
                "carriage-return line ends (" + std::to_string(crLines) + " lines)", crEffect);
        }
    }

    void CheckIdcard() {
        const SpoolFile file = Load("idcard.spl");
        if (!file.present) {
            Add(Finding::error, file.name, 0, "no idcard.spl",
                "the tool finds no chassis number, ends with exit code 2 and imports nothing");
            return;
        }
        CString text = file.text;
        IdcardRecord record;
        try {
            record = CSpoolImporter::ParseIdcard(text);
        } catch (const CSpoolError&) {
            Add(Finding::error, file.name, 1,
                "the ID card gives no chassis number (no TAB after it)",
                "the tool ends with exit code 2 and imports nothing");
            return;
        }
        m_chassis = record.m_strChasnum;
        m_report.rowsWritten[kIdcardTable] = 1;
        // Where each field starts, for the line it stands on.
        const std::string& bytes = file.text.str();
        std::vector<std::size_t> starts = {0};
        for (std::size_t tab = bytes.find('\t'); tab != std::string::npos && starts.size() < 5;
             tab = bytes.find('\t', tab + 1)) {
            starts.push_back(tab + 1);
        }
        const std::array<std::pair<const CString*, const char*>, 4> texts = {{
            {&record.m_strChasnum, "te_chasnum"},
            {&record.m_strTpnum, "te_tpnum"},
            {&record.m_strEngsn, "te_engsn"},
            {&record.m_strMdes, "te_mdes"},
        }};
        for (std::size_t i = 0; i < texts.size() && i < starts.size(); ++i) {
            CheckLength(file, LineAt(bytes, starts[i]), *texts[i].first, texts[i].second);
        }
        if (const int tabs = static_cast<int>(starts.size()) - 1; tabs < 4) {
            Add(Finding::warning, file.name, LineAt(bytes, starts.back()),
                "only " + std::to_string(tabs) + " of the 4 TABs the ID card needs",
                "the text after the last TAB is dropped; fields " + std::to_string(tabs + 1) +
                    " to 5 stay empty");
        }
        for (std::size_t i = 1; i < texts.size() && i < starts.size(); ++i) {
            if (texts[i].first->Find('\n') >= 0 || texts[i].first->Find('\r') >= 0) {
                Add(Finding::warning, file.name, LineAt(bytes, starts[i]),
                    std::string("field ") + std::to_string(i + 1) + " holds a line end",
                    std::string("the line end is stored in ") + texts[i].second);
            }
        }
    }

    void CheckChassis(const SpoolFile& file, int line, const CString& chassis, bool firstLine,
                      const char* what) {
        if (m_chassis.IsEmpty() || chassis == m_chassis) {
            return;
        }
        std::string effect = std::string("the ") + what + " row is written for chassis '" +
                             chassis.str() + "', not the ID card's '" + m_chassis.str() + "'";
        if (firstLine) {
            effect += "; the old rows of '" + chassis.str() + "' are replaced, not those of '" +
                      m_chassis.str() + "'";
        }
        Add(Finding::warning, file.name, line, "chassis differs from the ID card's", effect);
    }

    void CheckChassisLines(const SpoolFile& file, SpoolTable table, const char* what,
                           const std::vector<const char*>& columns) {
        if (!file.present) {
            Add(Finding::warning, file.name, 0, "no " + file.name,
                std::string("the vehicle's old ") + what + " rows stay in place");
            return;
        }
        CheckLineEnds(file,
                      std::string("the carriage return is stored at the end of ") + columns.back());
        int line = 0;
        ForEachLine(file.text, [&](CString& text) {
            ++line;
            const int tabs = static_cast<int>(std::min<std::ptrdiff_t>(
                2, std::count(text.str().begin(), text.str().end(), '\t')));
            CString chassis;
            CString second;
            CString third;
            SplitThreeFields(text, chassis, second, third);
            if (tabs == 0) {
                // Every field is empty, an empty text is stored as NULL, and a row
                // without a value is not written; an empty chassis names no vehicle.
                std::string effect = "every field is empty: no row is written";
                if (line == 1) {
                    effect +=
                        "; as the first line it names no chassis whose rows are replaced, "
                        "so the old rows of " +
                        (m_chassis.IsEmpty() ? std::string("the vehicle")
                                             : "'" + m_chassis.str() + "'") +
                        " stay";
                }
                Add(Finding::warning, file.name, line, "line has 0 of the 2 TABs its layout needs",
                    effect);
                return true;
            }
            if (tabs < 2) {
                Add(Finding::warning, file.name, line, "line has 1 of the 2 TABs its layout needs",
                    "a row with only the chassis number is written");
            }
            CheckChassis(file, line, chassis, line == 1, what);
            CheckLength(file, line, chassis, "te_chasnum");
            // The component group is a number column; only the component is text.
            if (columns.size() == 1) {
                CheckLength(file, line, third, columns[0]);
            } else {
                CheckLength(file, line, second, columns[0]);
                CheckLength(file, line, third, columns[1]);
            }
            ++m_report.rowsWritten[table];
            return true;
        });
    }

    // A data file named by a spool line: a regular file inside the folder.
    void CheckDataFile(const SpoolFile& file, int line, const CString& name) {
        CString trimmed = name;
        trimmed.TrimRight();
        const ContainedFile found = FindContainedFile(m_dir.c_str(), trimmed);
        if (found.m_verdict == ContainedFile::missing) {
            Add(Finding::error, file.name, line, "data file '" + trimmed.str() + "' is missing",
                "the tool shows that it is missing, stops with exit code 3 and commits nothing");
            return;
        }
        if (found.m_verdict == ContainedFile::refused) {
            Add(Finding::error, file.name, line,
                "data file '" + trimmed.str() + "' " + found.m_strReason.str(),
                "the tool refuses it, stops with exit code 3 and commits nothing");
            return;
        }
        const fs::path path = fs::path(found.m_strPath.str()).lexically_normal();
        if (m_dataFiles.insert(path).second) {
            std::error_code error;
            m_report.dataFileBytes += fs::file_size(path, error);
        }
    }

    void CheckTun() {
        const SpoolFile file = Load("tun.spl");
        if (!file.present) {
            return;
        }
        CString text = file.text;
        CString chassis;
        CString name;
        if (CutField(text, chassis)) {
            name = text;
        }
        if (chassis.IsEmpty()) {
            Add(Finding::warning, file.name, 1, "no chassis number with a TAB after it",
                "the tool imports nothing from tun.spl");
            return;
        }
        CheckChassis(file, 1, chassis, true, "tun");
        CheckLength(file, 1, chassis, "te_chasnum");
        CheckDataFile(file, 1, name);
        m_report.rowsWritten[kTunTable] = 1;
    }

    void CheckVs() {
        const SpoolFile file = Load("vs.spl");
        if (!file.present) {
            return;
        }
        CheckLineEnds(file,
                      "the carriage return ends the data-file name, which the tool trims; "
                      "a line without its second TAB fails its vs type");
        std::map<std::pair<std::string, std::int32_t>, int> keys;
        int line = 0;
        ForEachLine(file.text, [&](CString& text) {
            ++line;
            CString comp;
            CString vstype;
            CString name;
            SplitThreeFields(text, comp, vstype, name);
            if (comp.IsEmpty()) {
                Add(Finding::warning, file.name, line, "no component before a TAB",
                    "the tool skips the line");
                return true;
            }
            const std::optional<std::int32_t> type = ParseInt32(vstype);
            if (!type) {
                Add(Finding::error, file.name, line,
                    "vs type '" + vstype.str() + "' is not a 32-bit whole number",
                    std::string("the tool stops with a database error; ") + kNothingCommitted);
                return true;
            }
            CheckLength(file, line, comp, "te_comp");
            const auto [earlier, fresh] = keys.emplace(std::make_pair(comp.str(), *type), line);
            if (!fresh) {
                Add(Finding::warning, file.name, line,
                    "same vs key as line " + std::to_string(earlier->second),
                    "this line's data file replaces that line's in the same row");
            }
            CheckDataFile(file, line, name);
            ++m_report.rowsWritten[kVsTable];
            return true;
        });
    }

    // What cannot go onto a medium: refused (no medium is made), or left out.
    void CheckListing() {
        for (const SourceNote& note : m_listing.refused) {
            Add(Finding::error, note.name, 0, note.what,
                "never packed: lorbanix-pack makes no medium of this folder, not even with "
                "--force");
        }
        for (const SourceNote& note : m_listing.leftOut) {
            Add(Finding::warning, note.name, 0, note.what, "not packed into the package");
        }
    }

    void CheckUnnamedFiles() {
        std::vector<std::string> unnamed;
        for (const SourceEntry& entry : m_listing.packed) {
            if (!entry.directory && m_named.count(entry.name) == 0 &&
                m_dataFiles.count(entry.path.lexically_normal()) == 0) {
                unnamed.push_back(entry.name);
            }
        }
        std::sort(unnamed.begin(), unnamed.end());
        for (const std::string& name : unnamed) {
            Add(Finding::warning, name, 0, "named by no spool line",
                "packed onto the medium but never imported");
        }
    }

    std::string m_dir;
    SourceListing m_listing;
    SpoolReport m_report;
    CString m_chassis;               // the ID card's, once parsed
    std::set<std::string> m_named;   // the spool files
    std::set<fs::path> m_dataFiles;  // found, as normal paths
};
}  // namespace

std::string FormatFinding(const Finding& finding) {
    std::string text = finding.file;
    if (finding.line > 0) {
        text += ":" + std::to_string(finding.line);
    }
    text += finding.severity == Finding::error ? ": error: " : ": warning: ";
    return text + finding.rule + ": " + finding.effect;
}

const char* TableName(SpoolTable table) {
    return kTableNames.at(table);
}

int SpoolReport::Count(Finding::Severity severity) const {
    return static_cast<int>(std::count_if(findings.begin(), findings.end(), [&](const Finding& f) {
        return f.severity == severity;
    }));
}

SpoolReport CheckSpoolFolder(const std::string& dir, const std::string& leaveOut) {
    return Checker(dir, leaveOut).Run();
}
