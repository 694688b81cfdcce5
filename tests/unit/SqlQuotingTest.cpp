#include "framework/odbc/SqlQuoting.h"

#include <gtest/gtest.h>

TEST(SqlQuotingTest, BracketsBecomeTheDriversQuoteOutsideLiteralsOnly) {
    const CString statement =
        "SELECT [te_chasnum],[te_serialID] FROM [tbadmin].[tb_serialnumber] "
        "WHERE te_chasnum = 'A[1]''s [x]' AND [te_serialno] = ']'";
    EXPECT_EQ(ReplaceBracketQuotes(statement, '"'),
              "SELECT \"te_chasnum\",\"te_serialID\" FROM \"tbadmin\".\"tb_serialnumber\" "
              "WHERE te_chasnum = 'A[1]''s [x]' AND \"te_serialno\" = ']'");
}

TEST(SqlQuotingTest, BracketDriversKeepTheTextAndUnquotingDriversLoseTheBrackets) {
    const CString statement = "DELETE FROM [tbadmin].[tb_tun] WHERE te_chasnum = '[k]'";
    EXPECT_EQ(ReplaceBracketQuotes(statement, '['), statement);
    EXPECT_EQ(ReplaceBracketQuotes(statement, ' '),
              "DELETE FROM tbadmin.tb_tun WHERE te_chasnum = '[k]'");
}
