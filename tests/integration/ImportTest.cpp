// The five imports in-process, against the real data sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/odbc/CDBException.h"
#include "imports/CSpoolImporter.h"
#include "imports/SpoolText.h"
#include "tests/support/ConnectedTest.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace {
class ImportTest : public ConnectedTest {
  protected:
    Rows Sorted(const std::string& sql) const {
        Rows rows = QueryRows(*source, sql);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // One row, committed at once: columns and values as they stand in the INSERT.
    void Insert(const std::string& table, const std::string& row) const {
        ExecSql(*source, "INSERT INTO [tbadmin].[" + table + "] " + row);
    }

    void Idcard(const char* text) {
        CString spool(text);
        imports.ImportIdcard(CSpoolImporter::ParseIdcard(spool));
    }

    // Whole spool texts go through the update's own line loops.
    bool Idcomp(const std::string& text) {
        return imports.ImportLines(CString(text), &CSpoolImporter::ImportIdcompLine);
    }
    bool Serial(const std::string& text) {
        return imports.ImportLines(CString(text), &CSpoolImporter::ImportSerialLine);
    }
    bool Vs(const std::string& text) {
        return ForEachLine(CString(text),
                           [&](CString& line) { return imports.ImportVsLine(line); });
    }
    bool Tun(const std::string& text) {
        CString spool(text.c_str());
        return imports.ImportTun(spool);
    }

    RecordingDesktop& desktop = InstallRecordingDesktop();
    TempDir work;
    CSpoolImporter imports{db, work.str().c_str(), [] {}};
};
}  // namespace

TEST_P(ImportTest, TheIdCardIsAddedOnceAndThenUpdated) {
    Idcard("CH1\tTP\tENG\tMDES\t42\r\n");
    EXPECT_EQ(Sorted("SELECT [te_chasnum],[te_tpnum],[te_engsn],[te_mdes],[te_kfactor] FROM "
                     "[tbadmin].[tb_idcard]"),
              (Rows{{"CH1", "TP", "ENG", "MDES", "42"}}));
    Idcard("CH1\tNULL\tENG2\tNULL\t-7");
    EXPECT_EQ(Sorted("SELECT [te_chasnum],[te_tpnum],[te_engsn],[te_mdes],[te_kfactor] FROM "
                     "[tbadmin].[tb_idcard]"),
              (Rows{{"CH1", "NULL", "ENG2", "NULL", "-7"}}));
}

TEST_P(ImportTest, AKfactorOfZeroOrNoNumberIsStoredAsNull) {
    for (const char* kfactor : {"0", "", "abc", "NULL", "null"}) {
        ClearTables(*source);
        Idcard((std::string("CH1\tT\tE\tM\t") + kfactor).c_str());
        EXPECT_EQ(Sorted("SELECT [te_kfactor] FROM [tbadmin].[tb_idcard]"), (Rows{{"NULL"}}))
            << kfactor;
    }
    Idcard("CH1\tT\tE\tM\t5");
    Idcard("CH1\tT\tE\tM\t0");  // an existing value is cleared too
    EXPECT_EQ(Sorted("SELECT [te_kfactor] FROM [tbadmin].[tb_idcard]"), (Rows{{"NULL"}}));
}

TEST_P(ImportTest, KfactorsGroupsAndVsTypesKeepEveryThirtyTwoBitValueAndSaturateBeyond) {
    Idcard("CH1\tT\tE\tM\t-2147483648");
    EXPECT_EQ(Sorted("SELECT [te_kfactor] FROM [tbadmin].[tb_idcard]"), (Rows{{"-2147483648"}}));
    Idcard("CH1\tT\tE\tM\t99999999999");
    EXPECT_EQ(Sorted("SELECT [te_kfactor] FROM [tbadmin].[tb_idcard]"), (Rows{{"2147483647"}}));
    ASSERT_TRUE(Idcomp("CH1\t-2147483648\tA\nCH1\t-99999999999\tB\nCH1\t2147483647\tC\n"));
    EXPECT_EQ(Sorted("SELECT [te_cgrp],[te_comp] FROM [tbadmin].[tb_idcomp]"),
              (Rows{{"-2147483648", "A"}, {"-2147483648", "B"}, {"2147483647", "C"}}));
    // Vs types at the bounds are found again: the second import updates both rows.
    WriteFile(work / "vs1.bin", Pattern(1000, 1));
    WriteFile(work / "vs2.bin", Pattern(2000, 2));
    for (int import = 0; import < 2; ++import) {
        ASSERT_TRUE(Vs("C1\t2147483647\tvs1.bin\nC2\t-2147483648\tvs2.bin\n"));
    }
    EXPECT_EQ(Sorted("SELECT [te_comp],[te_vstype],length([te_file]) FROM [tbadmin].[tb_vs]"),
              (Rows{{"C1", "2147483647", "1000"}, {"C2", "-2147483648", "2000"}}));
}

TEST_P(ImportTest, ComponentLinesReplaceTheFirstLinesChassis) {
    Insert("tb_idcomp", "([te_cgrp],[te_chasnum],[te_comp]) VALUES (1,'CH1','old')");
    Insert("tb_idcomp", "([te_cgrp],[te_chasnum],[te_comp]) VALUES (2,'CH2','other')");
    const std::string file =
        "CH1\t5\tABC\r\n\nCH1\tx\tNo group\nCH1\t "
        "7\tA\tB\nCH1\t12abc\nCH2\t9\tnew\nCH1\t1\tunfinished";
    ASSERT_TRUE(Idcomp(file));
    // "CH1\t12abc" has one TAB: only the chassis is written.
    const Rows expected = {{"2", "CH2", "other"},   {"5", "CH1", "ABC\r"},
                           {"7", "CH1", "A\tB"},    {"9", "CH2", "new"},
                           {"NULL", "CH1", "NULL"}, {"NULL", "CH1", "No group"}};
    EXPECT_EQ(Sorted("SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]"),
              expected);
    ASSERT_TRUE(Idcomp(file));  // a second import leaves the first chassis as it was
    EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_idcomp] WHERE [te_chasnum] = 'CH1'"),
              (Rows{{"4"}}));
}

// What the medium check says of a line without TABs: no row, and as the first
// line it replaces no vehicle's rows. A file without line feeds has no line.
TEST_P(ImportTest, AFirstLineWithoutTabsOrAFileWithoutLineFeedsLeavesTheOldRows) {
    Insert("tb_idcomp", "([te_cgrp],[te_chasnum],[te_comp]) VALUES (1,'CH1','old')");
    Insert("tb_serialnumber", "([te_chasnum],[te_serialID]) VALUES ('CH1','old')");
    ASSERT_TRUE(Idcomp("CH1\t1\tX"));
    EXPECT_EQ(Sorted("SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]"),
              (Rows{{"1", "CH1", "old"}}));
    ASSERT_TRUE(Idcomp("no tab here\nCH1\t2\tnew\n"));
    ASSERT_TRUE(Serial("\nCH1\tID\tSN\n"));
    EXPECT_EQ(Sorted("SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]"),
              (Rows{{"1", "CH1", "old"}, {"2", "CH1", "new"}}));
    EXPECT_EQ(
        Sorted("SELECT [te_chasnum],[te_serialID],[te_serialno] FROM [tbadmin].[tb_serialnumber]"),
        (Rows{{"CH1", "ID", "SN"}, {"CH1", "old", "NULL"}}));
}

TEST_P(ImportTest, SerialLinesKeepTheirTextAsItStands) {
    Insert("tb_serialnumber", "([te_chasnum],[te_serialID]) VALUES ('CH1','old')");
    ASSERT_TRUE(Serial("CH1\tID7\tSN123\r\nCH1\tID7\nCH1\t\tSN9\nCH1\tI\tA\tB\n\n"));
    EXPECT_EQ(
        Sorted("SELECT [te_chasnum],[te_serialID],[te_serialno] FROM [tbadmin].[tb_serialnumber]"),
        (Rows{{"CH1", "I", "A\tB"},
              {"CH1", "ID7", "SN123\r"},
              {"CH1", "NULL", "NULL"},
              {"CH1", "NULL", "SN9"}}));
}

TEST_P(ImportTest, TheTunFileReplacesTheChassisRowsWithTheDataFileBytes) {
    const std::string data = Pattern(3U << 20, 7);
    WriteFile(work / "data" / "tun.bin", data);
    Insert("tb_tun", "([te_chasnum]) VALUES ('CH1')");
    Insert("tb_tun", "([te_chasnum]) VALUES ('CH1')");
    ASSERT_TRUE(Tun("CH1\tdata/tun.bin  \r\n"));
    EXPECT_EQ(Sorted("SELECT [te_chasnum],length([te_file]) FROM [tbadmin].[tb_tun]"),
              (Rows{{"CH1", std::to_string(data.size())}}));
    EXPECT_TRUE(desktop.m_messages.empty());
}

TEST_P(ImportTest, ATunFileWithoutChassisChangesNothingAndAMissingTunOrVsDataFileStopsTheUpdate) {
    Insert("tb_tun", "([te_chasnum]) VALUES ('CH1')");
    EXPECT_TRUE(Tun("no tab here"));
    EXPECT_TRUE(Tun("\tdata/tun.bin"));
    EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_tun]"), (Rows{{"1"}}));
    WriteFile(work / "tun.bin", "x");
    EXPECT_FALSE(Tun("CH1\t tun.bin"));  // a blank after the TAB names another file
    ASSERT_EQ(desktop.m_messages.size(), 1U);
    EXPECT_NE(desktop.m_messages[0].find("File not found"), std::string::npos)
        << desktop.m_messages[0];
    EXPECT_NE(desktop.m_messages[0].find(" tun.bin"), std::string::npos) << desktop.m_messages[0];
    EXPECT_FALSE(Vs("C9\t1\tmissing.bin\n"));
    ASSERT_EQ(desktop.m_messages.size(), 2U);
    EXPECT_NE(desktop.m_messages[1].find("missing.bin"), std::string::npos)
        << desktop.m_messages[1];
    EXPECT_EQ(Sorted("SELECT count(*) FROM [tbadmin].[tb_vs]"), (Rows{{"0"}}));
}

TEST_P(ImportTest, VsLinesAddNewKeysAndUpdateKnownOnesInPlace) {
    WriteFile(work / "vs1.bin", Pattern(1000, 1));
    WriteFile(work / "sub" / "vs2.bin", Pattern(2000, 2));
    ASSERT_TRUE(
        Vs("C1\t2\tvs1.bin\r\n\tskipped\tvs1.bin\nC2\t 3 \tsub/vs2.bin   "
           "\nC1\t2\tsub/vs2.bin\nC3\t4\tvs1.bin"));
    EXPECT_EQ(Sorted("SELECT [te_comp],[te_vstype],length([te_file]) FROM [tbadmin].[tb_vs]"),
              (Rows{{"C1", "2", "2000"}, {"C2", "3", "2000"}}));
    ASSERT_TRUE(Vs("C1\t2\tvs1.bin\n"));
    EXPECT_EQ(Sorted("SELECT [te_comp],[te_vstype],length([te_file]) FROM [tbadmin].[tb_vs]"),
              (Rows{{"C1", "2", "1000"}, {"C2", "3", "2000"}}));
}

// Vs keys are bound, never pasted into a statement: SQL text is a key like any
// other, stored and found again as it stands. Which vs types are whole numbers
// is SpoolText's matter; a run stopped by one that is none: UpdateRunTest.
TEST_P(ImportTest, VsKeysAreStoredAndFoundAsLiterals) {
    WriteFile(work / "vs1.bin", "bytes");
    for (int import = 0; import < 2; ++import) {
        ASSERT_TRUE(Vs("O'Brien\t1\tvs1.bin\nx' OR '1'='1\t1\tvs1.bin\n"));
    }
    EXPECT_EQ(Sorted("SELECT [te_comp] FROM [tbadmin].[tb_vs]"),
              (Rows{{"O'Brien"}, {"x' OR '1'='1"}}));
}

INSTANTIATE_ON_BOTH(ImportTest);
