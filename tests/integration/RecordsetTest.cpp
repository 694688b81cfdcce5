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
#include "tests/support/ConnectedTest.h"
#include "tests/support/TestData.h"

namespace {
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

class RecordsetTest : public ConnectedTest {
  protected:
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
};
}  // namespace

TEST_P(RecordsetTest, ChassisLookUpsAndDeletesMatchTheKeyExactlyAndLeaveTheSetOpen) {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum],[te_engsn],[te_kfactor]) VALUES "
            "('CH1','E1',7)");
    ExecSql(*source, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('O''Brien')");
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum]) VALUES "
            "(1,'CH1'),(2,'CH1'),(3,'O''Brien')");
    // Keys are bound, never pasted into the statement: near misses and SQL text
    // find and delete nothing, and an empty key (an empty snapshot) deletes nothing.
    for (const char* key : {"", "CH2", "CH1 ", " CH1", "ch1", "CH%", "CH_", "x' OR '1'='1",
                            "CH1' --", "'; DELETE FROM tbadmin.tb_idcard; --"}) {
        SCOPED_TRACE(key);
        if (*key != '\0') {
            CIdcardSet found(&db);
            EXPECT_FALSE(found.FindByChassis(key));
            EXPECT_TRUE(found.IsOpen());
            EXPECT_TRUE(found.IsEOF());
        }
        CIdcompSet deleted(&db);
        EXPECT_EQ(deleted.DeleteByChassis(key), 0);
        EXPECT_TRUE(deleted.IsEOF());
    }
    {
        CIdcardSet set(&db);  // its own default data source would not connect: it must use db
        EXPECT_TRUE(set.FindByChassis("CH1"));
        EXPECT_TRUE(set.IsOpen());
        EXPECT_EQ(set.m_te_engsn, "E1");
        EXPECT_EQ(set.m_te_kfactor, 7);
        EXPECT_EQ(set.m_te_mdes, "");
        EXPECT_TRUE(CIdcardSet(&db).FindByChassis("O'Brien"));
    }
    {
        CIdcompSet set(&db);
        EXPECT_EQ(set.DeleteByChassis("CH1"), 2);
        EXPECT_TRUE(set.IsEOF());
    }
    EXPECT_EQ(Query("SELECT [te_cgrp] FROM [tbadmin].[tb_idcomp]"), (Rows{{"3"}}));
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_idcard]"), (Rows{{"2"}}));
}

TEST_P(RecordsetTest, AnEditOrADeleteChangesTheOneRowItReadAndALookUpReadsBytesOnlyToNameIt) {
    AddVs("C6", 1, "aaa");
    AddVs("C6", 1, "bbbbb");
    AddVs("C6", 2, "ccc");
    {
        CVsSet set(&db);
        ASSERT_TRUE(set.FindByKey("C6", 1));
        // The SQLite driver names a row by its row id; psqlODBC names none, so
        // there a row is named by its values, twins by the same ones.
        EXPECT_EQ(set.NamesRowsByValue(), GetParam() == DataSourceKind::Postgres);
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
    {
        // A delete, too, names the one row it read.
        CVsSet set(&db);
        set.m_strFilter = "te_comp = 'C6' and te_vstype = 1";
        set.Open();
        ASSERT_FALSE(set.IsEOF());
        set.Delete();
    }
    EXPECT_EQ(Query("SELECT count(*) FROM [tbadmin].[tb_vs]"), (Rows{{"2"}}));
    CVsSet other(&db);
    EXPECT_FALSE(other.FindByKey("C6 ", 1));
    EXPECT_TRUE(other.IsEOF());
}

TEST_P(RecordsetTest, EveryThirtyTwoBitIntegerIsStoredAsItselfAndOnlyTheMembersSetAreStored) {
    {
        CIdcompSet set(&db);
        ASSERT_TRUE(set.OpenTable());
        EXPECT_TRUE(set.IsEOF());
        for (const auto& [chassis, group] :
             {std::pair{"MIN", INT32_MIN}, std::pair{"MAX", INT32_MAX}}) {
            set.AddNew();
            set.m_te_chasnum = chassis;
            set.m_te_cgrp = group;
            set.SetFieldNull(&set.m_te_cgrp, false);
            EXPECT_TRUE(set.Update());
        }
        set.AddNew();
        set.m_te_chasnum = "ZERO";
        set.m_te_cgrp = 0;  // a real zero is a value
        EXPECT_TRUE(set.Update());
        set.AddNew();
        set.m_te_chasnum = "NONE";
        set.m_te_comp = "Gearbox\r";
        EXPECT_TRUE(set.Update());  // m_te_cgrp never set: no value
        set.AddNew();
        EXPECT_FALSE(set.Update());  // nothing set: nothing written, no error
    }
    const char* select = "SELECT [te_cgrp],[te_chasnum],[te_comp] FROM [tbadmin].[tb_idcomp]";
    Rows rows = Query(select);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (Rows{{"-2147483648", "MIN", "NULL"},
                          {"0", "ZERO", "NULL"},
                          {"2147483647", "MAX", "NULL"},
                          {"NULL", "NONE", "Gearbox\r"}}));
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

// An empty long binary reads back as null, and its row is still one of its own,
// found again for an edit by its identity.
TEST_P(RecordsetTest, AnUnchangedLongBinaryFullOrEmptyIsLeftAloneAndADirtyNullOneIsStoredAsNull) {
    for (const std::string& bytes : {Pattern(3000), std::string()}) {
        SCOPED_TRACE(bytes.size());
        ClearTables(*source);
        AddTun("CH1", bytes);
        {
            CTunSet set(&db);
            set.m_strFilter = "te_chasnum = 'CH1'";
            set.Open();
            ASSERT_FALSE(set.IsEOF());
            EXPECT_EQ(set.m_te_file.m_dwDataLength, bytes.size());
            set.Edit();
            set.m_te_chasnum = "CH2";
            EXPECT_TRUE(set.Update());
        }
        EXPECT_EQ(ReadTun("CH2"), bytes);
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
