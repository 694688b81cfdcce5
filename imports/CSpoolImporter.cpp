// The import section: the spool files of the work directory to their imports in
// a fixed order, a progress step after each stage, and the reading of the data
// files that the tun and vs files name.
#include "imports/CSpoolImporter.h"

#include <utility>

#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/ContainedFile.h"
#include "framework/Kernel.h"
#include "imports/SpoolError.h"
#include "imports/SpoolText.h"
#include "util/FileHelpers.h"

namespace {
bool Exists(const CString& path) {
    CFileStatus status;
    return CFile::GetStatus(path, status);
}
}  // namespace

CSpoolImporter::CSpoolImporter(CDatabase& database, CString workDir, std::function<void()> step)
    : m_database(database), m_strWorkDir(std::move(workDir)), m_step(std::move(step)) {}

CString CSpoolImporter::WorkPath(const char* name) const {
    return PathJoin(m_strWorkDir, name);
}

bool CSpoolImporter::RunImports(const IdcardRecord& record) {
    m_rowCounts = RowCounts{true};
    ImportIdcard(record);

    CString spool;
    ReadTextFile(WorkPath("idcomp.spl"), spool);
    Step();
    if (!ImportLines(spool, &CSpoolImporter::ImportIdcompLine)) {
        return false;
    }
    Step();

    ReadTextFile(WorkPath("serial.spl"), spool);
    Step();
    if (!ImportLines(spool, &CSpoolImporter::ImportSerialLine)) {
        return false;
    }
    Step();

    if (Exists(WorkPath("tun.spl"))) {
        ReadTextFile(WorkPath("tun.spl"), spool);
        Step();
        if (!ImportTun(spool)) {
            return false;
        }
    }
    Step();

    if (Exists(WorkPath("vs.spl"))) {
        ReadTextFile(WorkPath("vs.spl"), spool);
        Step();
        if (!ForEachLine(spool, [&](CString& line) { return ImportVsLine(line); })) {
            return false;
        }
    }
    Step();
    return true;
}

bool CSpoolImporter::ImportLines(const CString& text,
                                 bool (CSpoolImporter::*importLine)(CString&, bool)) {
    bool first = true;
    return ForEachLine(text, [&](CString& line) {
        return (this->*importLine)(line, std::exchange(first, false));
    });
}

bool CSpoolImporter::ReadDataFile(const char* spoolFile, const CString& name, CLongBinary& value) {
    CString trimmed = name;
    trimmed.TrimRight();
    // Looked at before it is opened: the name comes from the package.
    const ContainedFile found = FindContainedFile(m_strWorkDir, trimmed);
    if (found.m_verdict == ContainedFile::missing) {
        ShowFileError(CFileException(CFileException::fileNotFound,
                                     OsErrorForCause(CFileException::fileNotFound),
                                     found.m_strPath));
        return false;
    }
    if (found.m_verdict == ContainedFile::refused) {
        throw CSpoolError(CSpoolError::badInput, CString(spoolFile) + ": the data file '" +
                                                     trimmed + "' " + found.m_strReason +
                                                     "; data files must be regular files inside " +
                                                     m_strWorkDir);
    }
    // The file the name resolves to, and only it; one that cannot be opened or
    // read now stops the update, it is never stored as an empty value.
    return ReadExistingFileToGlobal(found.m_strPath, value) != 0;
}

void CSpoolImporter::Step() {
    // A stage is done only when its rows are in the data source: a row refused
    // in a batch stops the run where its stage stands.
    m_database.SendPendingRows();
    m_step();
}
