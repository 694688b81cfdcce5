// The import section's one transaction, run again whole when the data source
// ends it for a conflict with another session's transaction: workstations that
// update at the same moment then all commit, one after the other.
#include <algorithm>
#include <cstdio>
#include <random>

#include "framework/CDesktop.h"
#include "framework/CWinApp.h"
#include "framework/odbc/CDBException.h"
#include "framework/odbc/CTransaction.h"
#include "update/CUpdateDlg.h"
#include "update/StageError.h"

namespace {
// Drawn afresh on every workstation, so that runs that met once are unlikely
// to meet again at the same moment; twice as long with every repeat up to a
// bound, so that the more runs contend, the further apart they are spread,
// while a conflict that never clears still ends the run within about a minute.
unsigned RepeatPauseMs(int repeat) {
    static std::minstd_rand generator(std::random_device{}());
    std::uniform_int_distribution<unsigned> pause(CUpdateDlg::kRepeatPauseMinMs,
                                                  CUpdateDlg::kRepeatPauseMaxMs);
    return pause(generator) << std::min(repeat - 1, CUpdateDlg::kRepeatPauseDoublings);
}

// One line on standard error, beside the progress lines: not a message box, so
// the run asks nothing more of the user than before.
void NoteRepeat(int repeat, const CDBException& conflict) {
    CString said = conflict.m_strError;
    const int lineEnd = said.Find('\n');
    if (lineEnd >= 0) {
        said = said.Left(lineEnd);
    }
    std::fprintf(stderr, "%s (repeat %d of %d): %s: %s\n", AfxGetAppName().GetString(), repeat,
                 CUpdateDlg::kMostTries - 1, conflict.SqlState().GetString(), said.GetString());
    std::fflush(stderr);
}
}  // namespace

void CUpdateDlg::CommitImports(const IdcardRecord& record) {
    const int firstImportStep = m_nStep;
    for (int attempt = 1;; ++attempt) {
        try {
            CTransaction transaction(m_database);
            CSpoolImporter imports = Imports();
            // Begun even when an import fails: the run's record tells a run
            // rolled back from one that stopped before writing.
            m_rowCounts = RowCounts{true};
            const bool imported = imports.RunImports(record);
            m_rowCounts = imports.Counts();
            if (!imported) {
                throw CStageError();  // the import has shown why it stopped
            }
            transaction.Commit();
            return;
        } catch (const CDBException& error) {
            // The transaction was rolled back on the way here and every recordset
            // of the try is gone. A rollback that failed or a lost connection
            // leaves nothing to repeat on.
            if (attempt == kMostTries || !error.IsTransactionConflict() ||
                !m_database.CanBeginTrans()) {
                throw;
            }
            NoteRepeat(attempt, error);
        }
        m_nStep = firstImportStep;
        m_progress.SetPos(m_nStep);
        Desktop().Pause(RepeatPauseMs(attempt));
    }
}
