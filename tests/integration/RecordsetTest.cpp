// The five recordsets over the real drivers: look-ups, deletes, adds and edits,
// long binaries, and the transaction they share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/CUsageError.h"
#include "framework/odbc/CDBException.h"
#include "tables/CIdcardSet.h"
#include "tables/CIdcompSet.h"
#include "tables/CSerialSet.h"
#include "tables/CTunSet.h"
#include "tables/CVsSet.h"
#include "tests/support/DataSource.h"
#include "tests/support/TestData.h"

namespace {
using Rows = std::vector<std::vector<std::string>>;

// Gives the set's long binary these bytes, set and changed.
template <typename Set>
void Fill(Set& set, const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    ASSERT_NE(block, nullptr);
    {
        const CGlobalLock lock(block);
        std::memcpy(lock.data(), bytes.data(), bytes.size());
    }
    set.m_te_file.Reset(block, static_cast<std::uint32_t>(bytes.size()));
    set.SetFieldNull(&set.m_te_file, false);
    set.SetFieldDirty(&set.m_te_file, true);
}

std::string Bytes(const CLongBinary& value) {
    if (value.m_hData == nullptr) {
        return {};
    }
    const CGlobalLock lock(value.m_hData);
    return {static_cast<const char*>(lock.data()), value.m_dwDataLength};
}

class RecordsetTest : public ::testing::TestWithParam<DataSourceKind> {
  protected:
    void SetUp() override {
        source = &GetDataSource(GetParam());
        ClearTables(*source);
        source->Activate();
        db.OpenEx(kConnectString, CDatabase::noOdbcDialog);
    }

    Rows Query(const std::string& sql) const { return QueryRows(*source, sql); }

    void AddTun(const std::string& chassis, const std::string& bytes) {
        CTunSet set(&db);
        ASSERT_TRUE(set.OpenTable());
        set.AddNew();
        set.m_te_chasnum = chassis.c_str();
        Fill(set, bytes);
        EXPECT_TRUE(set.Update());
    }

    void AddVs(const std::string& comp, int type, const std::string& bytes) {
        CVsSet set(&db);
        set.Open(CRecordset::snapshot, nullptr, CRecordset::appendOnly);
        set.AddNew();
        set.m_te_comp = comp.c_str();
        set.m_te_vstype = type;
        Fill(set, bytes);
        EXPECT_TRUE(set.Update());
    }

    std::string ReadTun(const std::string& chassis) {
        CTunSet set(&db);
        set.m_strFilter = ("te_chasnum = '" + chassis + "'").c_str();
        set.Open();
        EXPECT_FALSE(set.IsEOF());
        return Bytes(set.m_te_file);
    }

    const DataSource* source = nullptr;
    CDatabase db;
};

#define INSTANTIATE_ON_BOTH(Suite)                                                      \
    INSTANTIATE_TEST_SUITE_P(DataSources, Suite, ::testing::ValuesIn(AllDataSources()), \
                             [](const auto& info) { return DataSourceKindName(info.param); })
}  // namespace

TEST_P(RecordsetTest, FindByChassisComparesTheKeyExactlyAndLeavesTheSetOpen) {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum],[te_engsn],[te_kfactor]) VALUES "
            "('CH1','E1',7)");
    ExecSql(*source, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('O''Brien')");
    {
        CIdcardSet set(&db);  // its own default data source would not connect: it must use db
        EXPECT_TRUE(set.FindByChassis("CH1"));
        EXPECT_TRUE(set.IsOpen());
        EXPECT_EQ(set.m_te_engsn, "E1");
        EXPECT_EQ(set.m_te_kfactor, 7);
        EXPECT_EQ(set.m_te_mdes, "");
    }
    {
        CIdcardSet set(&db);
        EXPECT_FALSE(set.FindByChassis("CH2"));
        EXPECT_TRUE(set.IsOpen());
        EXPECT_TRUE(set.IsEOF());
    }
    {
        CIdcardSet set(&db);
        EXPECT_TRUE(set.FindByChassis("O'Brien"));
    }
    // Keys are bound, never pasted into the statement: near misses and SQL text find nothing.
    for (const char* attack : {"CH1 ", " CH1", "ch1", "CH%", "CH_", "x' OR '1'='1", "CH1' --",
                               "'; DELETE FROM tbadmin.tb_idcard; --"}) {
        CIdcardSet set(&db);
        EXPECT_FALSE(set.FindByChassis(attack)) << attack;
        EXPECT_TRUE(set.IsEOF()) << attack;
    }
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_idcard]"), (Rows{{"2"}}));
}

TEST_P(RecordsetTest, DeleteByChassisRemovesExactlyTheKeysRows) {
    for (const char* row : {"(1,'CH1','a')", "(2,'CH1','b')", "(3,'CH1','c')", "(4,'CH2','d')",
                            "(5,'ch1','e')", "(6,'CH1 ','f')"}) {
        ExecSql(
            *source,
            std::string(
                "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) VALUES ") +
                row);
    }
    {
        CIdcompSet set(&db);
        EXPECT_EQ(set.DeleteByChassis("CH1"), 3);
        EXPECT_TRUE(set.IsEOF());
    }
    EXPECT_EQ(Query("SELECT [te_cgrp] FROM [tbadmin].[tb_idcomp] ORDER BY [te_cgrp]"),
              (Rows{{"4"}, {"5"}, {"6"}}));
    // An unknown key, an empty one (an empty snapshot) and SQL text delete nothing.
    for (const char* key : {"CH9", "", "x' OR '1'='1"}) {
        CIdcompSet set(&db);
        EXPECT_EQ(set.DeleteByChassis(key), 0) << key;
        EXPECT_TRUE(set.IsEOF()) << key;
    }
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_idcomp]"), (Rows{{"3"}}));
}

TEST_P(RecordsetTest, AddModeStoresOnlyTheMembersThatWereSet) {
    {
        CIdcompSet set(&db);
        ASSERT_TRUE(set.OpenTable());
        EXPECT_TRUE(set.IsEOF());
        set.AddNew();
        set.m_te_chasnum = "CH1";
        set.m_te_comp = "Gearbox\r";
        EXPECT_TRUE(set.Update());  // m_te_cgrp never set: no value
        set.AddNew();
        set.m_te_cgrp = 0;  // a real zero is a value
        set.m_te_chasnum = "CH1";
        EXPECT_TRUE(set.Update());
        set.AddNew();
        EXPECT_FALSE(set.Update());  // nothing set: nothing written, no error
    }
    Rows rows = Query("SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]");
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (Rows{{"0", "CH1", "NULL"}, {"NULL", "CH1", "Gearbox\r"}}));
    {
        CIdcardSet set(&db);
        EXPECT_FALSE(set.FindByChassis("CH1"));
        set.AddNew();
        set.m_te_chasnum = "CH1";
        set.m_te_tpnum = "TP";
        set.m_te_kfactor = 0;
        set.SetFieldNull(&set.m_te_kfactor);
        set.SetFieldDirty(&set.m_te_kfactor);
        EXPECT_TRUE(set.Update());
    }
    EXPECT_EQ(Query("SELECT [te_chasnum],[te_engsn],[te_kfactor],[te_mdes],[te_tpnum] FROM "
                    "[tbadmin].[tb_idcard]"),
              (Rows{{"CH1", "NULL", "NULL", "NULL", "TP"}}));
}

TEST_P(RecordsetTest, EditModeStoresChangedMembersAndAnEmptiedOneAsNull) {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcard] "
            "([te_chasnum],[te_engsn],[te_kfactor],[te_mdes],[te_tpnum]) VALUES "
            "('CH1','E','5','M','T')");
    {
        CIdcardSet set(&db);
        ASSERT_TRUE(set.FindByChassis("CH1"));
        set.Edit();
        set.m_te_engsn = "E2";
        set.m_te_mdes = "";
        set.m_te_kfactor = 42;
        EXPECT_TRUE(set.Update());
    }
    EXPECT_EQ(Query("SELECT [te_chasnum],[te_engsn],[te_kfactor],[te_mdes],[te_tpnum] FROM "
                    "[tbadmin].[tb_idcard]"),
              (Rows{{"CH1", "E2", "42", "NULL", "T"}}));
    {
        CIdcardSet set(&db);
        ASSERT_TRUE(set.FindByChassis("CH1"));
        set.Edit();
        EXPECT_FALSE(set.Update());  // nothing changed: nothing written
    }
}

TEST_P(RecordsetTest, EditingTheFirstOfTwoIdenticalRows) {
    for (int i = 0; i < 2; ++i) {
        ExecSql(*source,
                "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum],[te_engsn]) VALUES ('CH1','old')");
    }
    {
        CIdcardSet set(&db);
        ASSERT_TRUE(set.FindByChassis("CH1"));
        set.Edit();
        set.m_te_engsn = "new";
        EXPECT_TRUE(set.Update());
    }
    const Rows rows = Query("SELECT [te_engsn] FROM [tbadmin].[tb_idcard] ORDER BY [te_engsn]");
    if (GetParam() == DataSourceKind::Sqlite) {
        // The driver names rows by their row id: only the first changes.
        EXPECT_EQ(rows, (Rows{{"new"}, {"old"}}));
    } else {
        // Without a row identifier rows are named by their values: twins change together.
        EXPECT_EQ(rows, (Rows{{"new"}, {"new"}}));
    }
}

TEST_P(RecordsetTest, RowsThatDifferOnlyInTheirLongBinaryAreChangedOneAtATime) {
    AddVs("C5", 1, "aaa");
    AddVs("C5", 1, "bbbbb");
    const char* filter = "te_comp = 'C5' and te_vstype = 1";
    std::string edited;
    {
        CVsSet set(&db);
        set.m_strFilter = filter;
        set.Open();
        ASSERT_FALSE(set.IsEOF());
        edited = Bytes(set.m_te_file);
        set.Edit();
        set.m_te_file.Reset();
        Fill(set, "new bytes");
        EXPECT_TRUE(set.Update());
    }
    const std::string kept = edited == "aaa" ? "bbbbb" : "aaa";
    auto lengths = [&] {
        Rows rows = Query("SELECT length([te_file]) FROM [tbadmin].[tb_vs]");
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    Rows expected = {{std::to_string(kept.size())}, {"9"}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lengths(), expected);
    std::string deleted;
    {
        CVsSet set(&db);
        set.m_strFilter = filter;
        set.Open();
        ASSERT_FALSE(set.IsEOF());
        deleted = Bytes(set.m_te_file);
        set.Delete();
    }
    EXPECT_EQ(lengths(), (Rows{{deleted == kept ? "9" : std::to_string(kept.size())}}));
}

TEST_P(RecordsetTest, ALookUpChangesTheOneRowItFoundAndReadsItsBytesOnlyToNameIt) {
    AddVs("C6", 1, "aaa");
    AddVs("C6", 1, "bbbbb");
    AddVs("C6", 2, "ccc");
    {
        CVsSet set(&db);
        ASSERT_TRUE(set.FindByKey("C6", 1));
        if (set.NamesRowsByValue()) {
            EXPECT_NE(set.m_te_file.m_dwDataLength, 0U);  // the bytes name the row
        } else {
            EXPECT_EQ(set.m_te_file.m_dwDataLength, 0U);  // a row identifier does
        }
        set.Edit();
        Fill(set, "new bytes");
        EXPECT_TRUE(set.Update());
    }
    Rows rows = Query("SELECT [te_vstype],length([te_file]) FROM [tbadmin].[tb_vs]");
    std::sort(rows.begin(), rows.end());
    EXPECT_TRUE(rows == (Rows{{"1", "5"}, {"1", "9"}, {"2", "3"}}) ||
                rows == (Rows{{"1", "3"}, {"1", "9"}, {"2", "3"}}))
        << ::testing::PrintToString(rows);
    CVsSet other(&db);
    EXPECT_FALSE(other.FindByKey("C6 ", 1));
    EXPECT_TRUE(other.IsEOF());
}

TEST_P(RecordsetTest, EveryThirtyTwoBitIntegerIsStoredAsItselfAndAnUnsetOneAsNull) {
    {
        CIdcompSet set(&db);
        ASSERT_TRUE(set.OpenTable());
        for (const auto& [chassis, group] :
             {std::pair{"MIN", INT32_MIN}, std::pair{"MAX", INT32_MAX}}) {
            set.AddNew();
            set.m_te_chasnum = chassis;
            set.m_te_cgrp = group;
            set.SetFieldNull(&set.m_te_cgrp, false);
            EXPECT_TRUE(set.Update());
        }
        set.AddNew();
        set.m_te_chasnum = "NONE";
        EXPECT_TRUE(set.Update());
    }
    const char* select = "SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]";
    Rows rows = Query(select);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (Rows{{"-2147483648", "MIN", "NULL"},
                          {"2147483647", "MAX", "NULL"},
                          {"NULL", "NONE", "NULL"}}));
    {
        // Found again by its value, and left with it.
        CIdcompSet set(&db);
        set.m_strFilter = "te_chasnum = 'MIN'";
        set.Open();
        ASSERT_FALSE(set.IsEOF());
        EXPECT_EQ(set.m_te_cgrp, INT32_MIN);
        set.Edit();
        set.m_te_comp = "edited";
        EXPECT_TRUE(set.Update());
    }
    EXPECT_EQ(Query("SELECT [te_cgrp],[te_comp] FROM [tbadmin].[tb_idcomp] WHERE [te_chasnum] = "
                    "'MIN'"),
              (Rows{{"-2147483648", "edited"}}));
}

TEST_P(RecordsetTest, AnEditOfARowThatIsGoneRaisesRatherThanStoringNothing) {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum],[te_engsn]) VALUES ('CH1','E1')");
    CIdcardSet set(&db);
    ASSERT_TRUE(set.FindByChassis("CH1"));
    ExecSql(*source, "DELETE FROM [tbadmin].[tb_idcard]");
    set.Edit();
    set.m_te_engsn = "E2";
    try {
        set.Update();
        ADD_FAILURE() << "stored nothing without a word";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.SqlState(), "HY000");
        EXPECT_STREQ(e.what(),
                     "The row to change in [tbadmin].[tb_idcard] was no longer there as "
                     "it was read: nothing was changed.");
    }
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_idcard]"), (Rows{{"0"}}));
}

TEST_P(RecordsetTest, LongBinariesOfAnySizeComeBackByteExact) {
    const std::vector<std::size_t> sizes = {1, 1 << 20, 64U << 20};
    for (const std::size_t size : sizes) {
        const std::string chassis = "T" + std::to_string(size);
        AddTun(chassis, Pattern(size));
        EXPECT_EQ(ReadTun(chassis), Pattern(size)) << size;
    }
    EXPECT_EQ(Query("SELECT length([te_file]) FROM [tbadmin].[tb_tun] ORDER BY 1"),
              (Rows{{"1"}, {"1048576"}, {"67108864"}}));
}

TEST_P(RecordsetTest, AnEmptyLongBinaryReadsBackAsNullAndItsRowIsStillFoundForAnEdit) {
    AddTun("EMPTY", "");
    CTunSet set(&db);
    set.m_strFilter = "te_chasnum = 'EMPTY'";
    set.Open();
    ASSERT_FALSE(set.IsEOF());
    EXPECT_EQ(set.m_te_file.m_dwDataLength, 0U);
    set.Edit();  // still a row of its own, found again by its identity
    set.m_te_chasnum = "EMPTY2";
    EXPECT_TRUE(set.Update());
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_tun] WHERE [te_chasnum] = 'EMPTY2'"),
              (Rows{{"1"}}));
}

TEST_P(RecordsetTest, AnUnchangedLongBinaryIsLeftAloneAndADirtyNullOneIsStoredAsNull) {
    AddTun("CH1", Pattern(3000));
    {
        CTunSet set(&db);
        set.m_strFilter = "te_chasnum = 'CH1'";
        set.Open();
        set.Edit();
        set.m_te_chasnum = "CH2";
        EXPECT_TRUE(set.Update());
    }
    EXPECT_EQ(ReadTun("CH2"), Pattern(3000));
    {
        CTunSet set(&db);
        set.m_strFilter = "te_chasnum = 'CH2'";
        set.Open();
        set.Edit();
        set.SetFieldNull(&set.m_te_file, true);
        set.SetFieldDirty(&set.m_te_file, true);
        EXPECT_TRUE(set.Update());
    }
    EXPECT_EQ(Query("SELECT [te_chasnum], [te_file] FROM [tbadmin].[tb_tun]"),
              (Rows{{"CH2", "NULL"}}));
}

TEST_P(RecordsetTest, ATextLongerThanItsColumnIsRefusedNotCut) {
    CSerialSet set(&db);
    set.OpenTable();
    set.AddNew();
    set.m_te_chasnum = "CH1";
    set.m_te_serialno = CString(std::string(256, 's'));
    try {
        set.Update();
        ADD_FAILURE() << "a 256-byte text must be refused";
    } catch (const CDBException& error) {
        EXPECT_NE(error.m_strError.str().find("[te_serialno]"), std::string::npos)
            << error.m_strError.str();
    }
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_serialnumber]"), (Rows{{"0"}}));
}

TEST_P(RecordsetTest, ARollbackUndoesTheRowsOfEveryTable) {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcomp] ([te_chasnum],[te_comp]) VALUES ('CH1','kept')");
    ASSERT_TRUE(db.BeginTrans());
    {
        CIdcardSet set(&db);
        set.FindByChassis("CH1");
        set.AddNew();
        set.m_te_chasnum = "CH1";
        set.Update();
    }
    {
        CIdcompSet set(&db);
        set.DeleteByChassis("CH1");
    }
    AddTun("CH1", Pattern(100));
    {
        // Inside the transaction the row is there; another session does not see it yet.
        CTunSet set(&db);
        set.m_strFilter = "te_chasnum = 'CH1'";
        set.Open();
        EXPECT_FALSE(set.IsEOF());
    }
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_tun]"), (Rows{{"0"}}));
    db.Rollback();
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_idcard]"), (Rows{{"0"}}));
    EXPECT_EQ(Query("SELECT [te_comp] FROM [tbadmin].[tb_idcomp]"), (Rows{{"kept"}}));
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_tun]"), (Rows{{"0"}}));
}

INSTANTIATE_ON_BOTH(RecordsetTest);

// A recordset used against its rules is a fault of the calling code, never a
// database error: no driver is asked.
TEST_P(RecordsetTest, MisuseRaisesAUsageErrorNotADatabaseError) {
    ExecSql(*source, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('CH1')");
    CIdcardSet set(&db);
    set.Open(CRecordset::snapshot, nullptr, CRecordset::readOnly);
    ASSERT_FALSE(set.IsEOF());
    EXPECT_THROW(set.Edit(), CUsageError);
    EXPECT_THROW(set.Delete(), CUsageError);
    set.MoveNext();
    ASSERT_TRUE(set.IsEOF());
    EXPECT_THROW(set.Edit(), CUsageError);

    struct MiscountedSet : CIdcardSet {
        explicit MiscountedSet(CDatabase* database) : CIdcardSet(database) { ++m_nFields; }
    } miscounted(&db);
    EXPECT_THROW(miscounted.Open(), CUsageError);
}
