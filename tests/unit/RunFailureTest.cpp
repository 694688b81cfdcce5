#include "update/RunFailure.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/CFileException.h"
#include "framework/CUsageError.h"
#include "framework/CWinApp.h"
#include "framework/odbc/CDBException.h"
#include "imports/SpoolError.h"
#include "tests/support/RecordingDesktop.h"
#include "update/ExitCode.h"
#include "update/StageError.h"

namespace {
template <typename Error>
RunFailure Describe(const Error& error) {
    return DescribeFailure(std::make_exception_ptr(error));
}
}  // namespace

TEST(RunFailureTest, EachCauseHasItsExitCodeAndTheRightEnd) {
    const RunFailure database = Describe(CDBException(SQL_ERROR, "40001", "could not serialize"));
    EXPECT_EQ(database.m_nExitCode, kExitDatabaseError);
    EXPECT_TRUE(database.m_bEndsRunAtOnce);
    EXPECT_EQ(database.m_strMessage, "could not serialize");

    const RunFailure file = Describe(CFileException(CFileException::diskFull, 0, "/w/spool.zip"));
    EXPECT_EQ(file.m_nExitCode, kExitAborted);
    EXPECT_FALSE(file.m_bEndsRunAtOnce);
    EXPECT_EQ(file.m_strMessage, "Disk full: /w/spool.zip");

    const RunFailure spool = Describe(CSpoolError(CSpoolError::badInput, "vs.spl line 3: x"));
    EXPECT_EQ(spool.m_cause, FailureCause::spoolInput);
    EXPECT_EQ(spool.m_nExitCode, kExitAborted);
    EXPECT_EQ(spool.m_strMessage, "vs.spl line 3: x");

    // The data source refused the look-up of such a key: the run ends as on its errors.
    const RunFailure key = Describe(CSpoolError(CSpoolError::badKey, "vs.spl: vs type 'x'"));
    EXPECT_EQ(key.m_nExitCode, kExitDatabaseError);
    EXPECT_TRUE(key.m_bEndsRunAtOnce);
    EXPECT_EQ(key.m_strMessage, "vs.spl: vs type 'x'");

    const RunFailure noChassis = Describe(CSpoolError(CSpoolError::noChassis, "no chassis"));
    EXPECT_EQ(noChassis.m_nExitCode, kExitNoChassis);
    EXPECT_TRUE(noChassis.m_bEndsRunAtOnce);
    EXPECT_TRUE(noChassis.m_strMessage.IsEmpty());

    EXPECT_EQ(Describe(CStageError("unpacker failed")).m_nExitCode, kExitAborted);
    EXPECT_EQ(Describe(CUsageError("Update without AddNew")).m_strMessage,
              "Internal error: Update without AddNew");
    EXPECT_EQ(Describe(std::bad_alloc()).m_cause, FailureCause::memory);
    EXPECT_EQ(Describe(std::runtime_error("odd")).m_nExitCode, kExitAborted);
    EXPECT_EQ(DescribeFailure(std::make_exception_ptr(42)).m_cause, FailureCause::unknown);
}

TEST(RunFailureTest, ARequestToEndTheRunIsNeverTakenForAFailure) {
    EXPECT_THROW(Describe(CExitRequest(2)), CExitRequest);
    EXPECT_THROW(ReportFailure(std::make_exception_ptr(CExitRequest(0))), CExitRequest);
}

TEST(RunFailureTest, OnlyFailuresWithATextShowABox) {
    RecordingDesktop& desktop = InstallRecordingDesktop();
    ReportFailure(std::make_exception_ptr(CStageError()));  // already shown by the stage
    ReportFailure(std::make_exception_ptr(CSpoolError(CSpoolError::noChassis, "x")));
    EXPECT_TRUE(desktop.m_messages.empty());
    ReportFailure(std::make_exception_ptr(CStageError("The unpacker ended with exit code 1")));
    EXPECT_EQ(desktop.m_messages,
              (std::vector<std::string>{"The unpacker ended with exit code 1"}));
}

// Only what the data source ended as a conflict with another session's
// transaction is run again: a lock wait that used up its bound, a lost
// connection, a refused statement or SQLite's busy database end the run.
TEST(RunFailureTest, OnlySerializationFailuresAndDeadlocksAreConflicts) {
    EXPECT_TRUE(
        CDBException(SQL_ERROR, "40001", "could not serialize access").IsTransactionConflict());
    EXPECT_TRUE(CDBException(SQL_ERROR, "40P01", "deadlock detected").IsTransactionConflict());
    for (const char* state : {"40003", "08S01", "57014", "HYT00", "HY000", "42000", ""}) {
        EXPECT_FALSE(CDBException(SQL_ERROR, state, "other").IsTransactionConflict()) << state;
    }
    // The SQLite driver's busy database, after its lock wait.
    EXPECT_FALSE(
        CDBException(SQL_ERROR, "HY000", "[SQLite]database is locked (5)").IsTransactionConflict());
    // A driver may put the server's state in a later record.
    CDBException later(SQL_ERROR, "HY000", "Error while executing the query");
    later.m_records.push_back({"40P01", 7, "deadlock detected"});
    EXPECT_TRUE(later.IsTransactionConflict());
}
