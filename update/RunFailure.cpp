#include "update/RunFailure.h"

#include <array>
#include <new>

#include "framework/CFileException.h"
#include "framework/CUsageError.h"
#include "framework/CWinApp.h"
#include "framework/odbc/CDBException.h"
#include "imports/SpoolError.h"
#include "update/ExitCode.h"
#include "update/StageError.h"

namespace {
struct CauseRule {
    FailureCause cause;
    ExitCode exitCode;
    bool endsRunAtOnce;
    bool shown;
};

// What each cause means for the user and the run.
constexpr std::array<CauseRule, 9> kRules = {{
    {FailureCause::database, kExitDatabaseError, true, true},
    {FailureCause::file, kExitAborted, false, true},
    {FailureCause::spoolInput, kExitAborted, false, true},
    {FailureCause::spoolKey, kExitDatabaseError, true, true},
    {FailureCause::noChassis, kExitNoChassis, true, false},
    {FailureCause::stage, kExitAborted, false, true},
    {FailureCause::misuse, kExitAborted, false, true},
    {FailureCause::memory, kExitAborted, false, true},
    {FailureCause::unknown, kExitAborted, false, true},
}};

FailureCause SpoolCause(CSpoolError::Reason reason) {
    switch (reason) {
        case CSpoolError::noChassis:
            return FailureCause::noChassis;
        case CSpoolError::badKey:
            return FailureCause::spoolKey;
        default:
            return FailureCause::spoolInput;
    }
}

RunFailure Apply(FailureCause cause, const CString& text) {
    for (const CauseRule& rule : kRules) {
        if (rule.cause == cause) {
            return {cause, rule.shown ? text : CString(), rule.exitCode, rule.endsRunAtOnce};
        }
    }
    return {cause, text, kExitAborted, false};
}
}  // namespace

RunFailure DescribeFailure(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CExitRequest&) {
        throw;
    } catch (const CDBException& db) {
        return Apply(FailureCause::database, db.m_strError);
    } catch (const CFileException& file) {
        return Apply(FailureCause::file, file.GetErrorMessage());
    } catch (const CSpoolError& spool) {
        return Apply(SpoolCause(spool.m_reason), spool.what());
    } catch (const CStageError& stage) {
        return Apply(FailureCause::stage, stage.what());
    } catch (const CUsageError& misuse) {
        return Apply(FailureCause::misuse, CString("Internal error: ") + misuse.what());
    } catch (const std::bad_alloc&) {
        return Apply(FailureCause::memory, "Not enough memory for the update.");
    } catch (const std::exception& other) {
        return Apply(FailureCause::unknown, other.what());
    } catch (...) {
        return Apply(FailureCause::unknown, "The update stopped on an unknown error.");
    }
}

RunFailure ReportFailure(const std::exception_ptr& error) {
    RunFailure failure = DescribeFailure(error);
    if (!failure.m_strMessage.IsEmpty()) {
        AfxMessageBox(failure.m_strMessage);
    }
    return failure;
}
