#include <gtest/gtest.h>

#include "imports/SpoolError.h"
#include "update/CUpdateDlg.h"
#include "update/ExitCode.h"
#include "update/RunFailure.h"

namespace {
IdcardRecord Parse(const char* text) {
    CUpdateDlg dlg;
    CString spool(text);
    return dlg.ParseIdcard(spool);
}

// The exit code the run ends with when the ID card is parsed, -1 when it goes on.
int ExitCodeOf(const char* text) {
    try {
        Parse(text);
    } catch (const CSpoolError&) {
        return DescribeFailure(std::current_exception()).m_nExitCode;
    }
    return -1;
}
}  // namespace

TEST(ParseIdcardTest, OnlyTheExactUpperCaseMarkerMeansNull) {
    const IdcardRecord marked = Parse("NULL\tNULL\tNULL\tNULL\tNULL");
    EXPECT_EQ(marked.m_strChasnum, "NULL");
    EXPECT_EQ(marked.m_strTpnum, "");
    EXPECT_EQ(marked.m_strEngsn, "");
    EXPECT_EQ(marked.m_strMdes, "");
    EXPECT_EQ(marked.m_strKfactor, "");
    const IdcardRecord lower = Parse("A\tnull\t NULL\tNULL \tNULL\n");
    EXPECT_EQ(lower.m_strTpnum, "null");
    EXPECT_EQ(lower.m_strEngsn, " NULL");
    EXPECT_EQ(lower.m_strMdes, "NULL ");
    EXPECT_EQ(lower.m_strKfactor, "NULL\n");
}

TEST(ParseIdcardTest, MissingTabsLeaveTheLaterFieldsEmpty) {
    const IdcardRecord three = Parse("A\tB\tC\tD and the rest");
    EXPECT_EQ(three.m_strEngsn, "C");
    EXPECT_EQ(three.m_strMdes, "");
    EXPECT_EQ(three.m_strKfactor, "");
    const IdcardRecord acrossLines = Parse("A\tB\nC\tD\tE\tF");
    EXPECT_EQ(acrossLines.m_strTpnum, "B\nC");
    EXPECT_EQ(acrossLines.m_strKfactor, "F");
}

TEST(ParseIdcardTest, NoChassisNumberEndsTheRunWithCode2) {
    EXPECT_EQ(ExitCodeOf(""), kExitNoChassis);
    EXPECT_EQ(ExitCodeOf("CH1 without any tab"), kExitNoChassis);
    EXPECT_EQ(ExitCodeOf("\tB\tC\tD\t1"), kExitNoChassis);
    EXPECT_EQ(ExitCodeOf("CH1\t"), -1);
}
