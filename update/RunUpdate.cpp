// The update sequence: prepare the work directory, unpack the medium's package
// and import the spool files in one transaction, stepping the bar after each stage.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "framework/CFileFind.h"
#include "framework/ContainedFile.h"
#include "framework/Kernel.h"
#include "imports/SpoolError.h"
#include "imports/SpoolText.h"
#include "update/CUpdateDlg.h"
#include "update/StageError.h"
#include "util/DirectoryCleaner.h"
#include "util/FileHelpers.h"
#include "util/PackageCodec.h"
#include "util/ProcessRunner.h"

namespace {
constexpr const char* kUnpackerSource = "RarEradaz.dat";
constexpr const char* kUnpacker = "pkunzip.exe";
constexpr const char* kPackagePattern = "*.prs";
constexpr const char* kArchive = "spool.zip";
constexpr const char* kInterpreter = "COMMAND.COM /C ";
// How much of the unpacker's error output a message shows.
constexpr int kShownErrorOutput = 400;
// A 1.44 MB medium unpacks in well under a second: only an unpacker that hangs
// comes near this bound.
constexpr std::chrono::seconds kUnpackLimit{600};
// The tool takes no options, and a test cannot wait ten minutes: the bound
// alone can be changed from the environment (whole seconds, up to a day).
constexpr const char* kUnpackLimitVariable = "LORBANIX_UNPACK_LIMIT_SECONDS";
constexpr long long kLongestUnpackLimit = 24LL * 60 * 60;

bool Exists(const CString& path) {
    CFileStatus status;
    return CFile::GetStatus(path, status);
}

// Between double quotes, so that a blank in the path does not cut the line.
CString Quoted(const CString& path) {
    return "\"" + path + "\"";
}

std::chrono::seconds UnpackLimit() {
    const char* text = std::getenv(kUnpackLimitVariable);
    if (text == nullptr || *text == '\0') {
        return kUnpackLimit;
    }
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || seconds <= 0 || seconds > kLongestUnpackLimit) {
        return kUnpackLimit;  // not a bound: the usual one holds
    }
    return std::chrono::seconds(seconds);
}

// "10 minutes", "1 minute", "90 seconds".
CString Spelled(std::chrono::seconds bound) {
    const long long seconds = bound.count();
    const bool minutes = seconds % 60 == 0;
    const long long count = minutes ? seconds / 60 : seconds;
    CString text;
    text.Format("%lld %s%s", count, minutes ? "minute" : "second", count == 1 ? "" : "s");
    return text;
}

CString Shortened(CString text) {
    text.TrimRight();
    if (text.GetLength() > kShownErrorOutput) {
        text = text.Left(kShownErrorOutput) + "...";
    }
    return text;
}
}  // namespace

CString CUpdateDlg::WorkPath(const char* name) const {
    return PathJoin(m_strWorkDir, name);
}

void CUpdateDlg::PrepareWorkDirectory() {
    switch (GetPathKind(m_strWorkDir)) {
        case PathKind::none:
            if (!MakeDirectory(m_strWorkDir)) {
                throw CStageError("The work directory cannot be created (" +
                                  SystemErrorText(LastOsError()) + "): " + m_strWorkDir);
            }
            break;
        case PathKind::directory:
            break;
        case PathKind::link:
            // Clearing it would delete whatever the link points to.
            throw CStageError("The work directory is a link, not a directory: " + m_strWorkDir);
        default:
            throw CStageError("The work directory is not a directory: " + m_strWorkDir);
    }
    // What is unpacked is read back by the import: no other user may reach it
    // in between, whatever the umask, and a work directory found open (an
    // earlier umask, a hand-made folder) is the tool's own and is closed.
    if (!KeepToOwner(m_strWorkDir)) {
        throw CStageError("The work directory cannot be kept to its owner alone (" +
                          SystemErrorText(LastOsError()) + "): " + m_strWorkDir);
    }
}

void CUpdateDlg::RunUpdate() {
    PrepareWorkDirectory();
    StepProgress();

    // Files of an earlier run never reach this one.
    DeleteDirectoryEntries(m_strWorkDir);
    StepProgress();

    CopyUnpacker();
    StepProgress();

    CFileFind finder;
    if (!finder.FindFile(PathJoin(m_strExeDir, kPackagePattern))) {
        return;  // no package on the medium: nothing to do
    }
    finder.FindNext();
    const CString package = finder.GetFilePath();
    m_strPackage = package;
    finder.Close();

    if (UnscrambleFile(package, WorkPath(kArchive)) == 0) {
        throw CStageError();  // UnscrambleFile has shown why
    }
    StepProgress();

    RunUnpacker();
    StepProgress();

    CString spool;
    ReadTextFile(WorkPath("idcard.spl"), spool);
    StepProgress();

    const IdcardRecord record = ParseIdcard(spool);

    // A failure leaves here as an exception: the transaction is rolled back on
    // the way out, before anyone is shown why.
    CommitImports(record);
    StepProgress();
}

void CUpdateDlg::CopyUnpacker() {
    const CString source = PathJoin(m_strExeDir, kUnpackerSource);
    if (CopyFileContents(source, WorkPath(kUnpacker)) == 0) {
        throw CStageError();  // CopyFileContents has shown why
    }
    if (!Exists(WorkPath(kUnpacker))) {
        // A source that is no file has been shown already; a missing one not.
        throw Exists(source) ? CStageError()
                             : CStageError("The unpacker is missing from the medium: " + source);
    }
    if (!KeepToOwner(WorkPath(kUnpacker))) {
        throw CStageError("The unpacker's copy cannot be kept to its owner alone (" +
                          SystemErrorText(LastOsError()) + "): " + WorkPath(kUnpacker));
    }
}

void CUpdateDlg::RunUnpacker() {
    if (!KeepToOwner(WorkPath(kArchive))) {
        throw CStageError("The archive cannot be kept to its owner alone (" +
                          SystemErrorText(LastOsError()) + "): " + WorkPath(kArchive));
    }
    const CString commandLine =
        kInterpreter + Quoted(WorkPath(kUnpacker)) + " " + Quoted(WorkPath(kArchive));
    ProcessOutcome outcome;
    RunLimits limits;
    limits.timeLimit = UnpackLimit();
    // While the unpacker or anything it started lives, no other run takes the
    // install location, even when this one is killed.
    limits.sharedLock = m_pRunLock;
    if (RunAndWait(commandLine, m_strWorkDir, outcome, limits) == 0) {
        throw CStageError("The unpacker could not be started (" +
                          SystemErrorText(outcome.startError) + "): " + WorkPath(kUnpacker));
    }
    if (outcome.exitCode == 0) {
        return;
    }
    CString text;
    if (outcome.timedOut) {
        text = "The unpacker did not end within " +
               Spelled(std::chrono::duration_cast<std::chrono::seconds>(limits.timeLimit)) +
               " and was stopped: " + WorkPath(kArchive);
    } else if (outcome.exitCode < 0) {
        text = "The unpacker did not end by itself: " + WorkPath(kArchive);
    } else {
        text.Format("The unpacker ended with exit code %d on %s", outcome.exitCode,
                    WorkPath(kArchive).GetString());
    }
    const CString said = Shortened(outcome.errorOutput);
    throw CStageError(said.IsEmpty() ? text : text + ":\n" + said);
}

bool CUpdateDlg::RunImports(const IdcardRecord& record) {
    m_rowCounts = RowCounts{true};
    ImportIdcard(record);

    CString spool;
    ReadTextFile(WorkPath("idcomp.spl"), spool);
    StepProgress();
    if (!ImportLines(spool, &CUpdateDlg::ImportIdcompLine)) {
        return false;
    }
    StepProgress();

    ReadTextFile(WorkPath("serial.spl"), spool);
    StepProgress();
    if (!ImportLines(spool, &CUpdateDlg::ImportSerialLine)) {
        return false;
    }
    StepProgress();

    if (Exists(WorkPath("tun.spl"))) {
        ReadTextFile(WorkPath("tun.spl"), spool);
        StepProgress();
        if (!ImportTun(spool)) {
            return false;
        }
    }
    StepProgress();

    if (Exists(WorkPath("vs.spl"))) {
        ReadTextFile(WorkPath("vs.spl"), spool);
        StepProgress();
        if (!ForEachLine(spool, [&](CString& line) { return ImportVsLine(line); })) {
            return false;
        }
    }
    StepProgress();
    return true;
}

bool CUpdateDlg::ImportLines(const CString& text, bool (CUpdateDlg::*importLine)(CString&, bool)) {
    bool first = true;
    return ForEachLine(text, [&](CString& line) {
        return (this->*importLine)(line, std::exchange(first, false));
    });
}

bool CUpdateDlg::ReadDataFile(const char* spoolFile, const CString& name, CLongBinary& value) {
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
