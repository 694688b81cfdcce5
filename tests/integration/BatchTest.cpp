// Rows added in batches: the real tool and the recordsets against both data
// sources. Batches change how many round trips a run makes, never what it
// does: the same rows in the same order, the same messages, positions and exit
// codes, and nothing of a failed or killed run committed.
#include <string>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CDatabase.h"
#include "tables/CIdcompSet.h"
#include "tests/integration/UpdateRunFixture.h"
#include "tests/support/ConnectedTest.h"

namespace {
// count component lines of CH1, numbered from first.
std::string ComponentLines(int count, int first = 0) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
        text += "CH1\t" + std::to_string(i % 100) + "\tcomponent " + std::to_string(i) + "\n";
    }
    return text;
}

Rows ComponentRows(int count, int first = 0) {
    Rows rows;
    for (int i = first; i < first + count; ++i) {
        rows.push_back({std::to_string(i % 100), "CH1", "component " + std::to_string(i)});
    }
    return rows;
}

// The rows in the order they were added: SQLite's row ids, PostgreSQL's places
// in the table (new rows go to its end within a transaction).
std::string InAddedOrder(const DataSource& source, const std::string& columns,
                         const std::string& table) {
    return "SELECT " + columns + " FROM " + table + " ORDER BY " +
           (source.kind == DataSourceKind::Sqlite ? "rowid" : "ctid");
}

// PostgreSQL puts new rows where deleted ones were once that space has been
// vacuumed, so place follows the order of adding only in a table emptied by
// TRUNCATE, which starts it afresh.
void StartAfresh(const DataSource& source) {
    if (source.kind == DataSourceKind::Postgres) {
        ExecSql(source, "TRUNCATE [tbadmin].[tb_idcomp], [tbadmin].[tb_serialnumber]");
    }
}

class BatchRunTest : public ToolRunTest {
  protected:
    void SetUp() override {
        ToolRunTest::SetUp();
        StartAfresh(*source);
    }
    [[nodiscard]] Rows Components() const {
        return QueryRows(*source, InAddedOrder(*source, "[te_cgrp],[te_chasnum],[te_comp]",
                                               "[tbadmin].[tb_idcomp]"));
    }
};
}  // namespace

// 999, 1,000 and 1,001 rows of one chassis: the last batch short of, exactly
// at and one beyond the batch size. The second run's first line deletes the
// first run's rows before any row of its own is added; another chassis's
// rows stay; serial numbers of which one leaves a field empty (another INSERT)
// keep their place among the others.
TEST_P(BatchRunTest, RowsAcrossABatchBoundaryArriveOnceInOrderAfterTheFirstLinesDelete) {
    ExecSql(*source,
            "INSERT INTO [tbadmin].[tb_idcomp] ([te_cgrp],[te_chasnum],[te_comp]) "
            "VALUES (7,'CH2','other')");
    StandardSpool();
    for (const auto& [components, serials] : {std::pair{999, 1001}, std::pair{1000, 1000}}) {
        Spool("idcomp.spl", ComponentLines(components, components));
        std::string serialText;
        Rows serialRows;
        for (int i = 0; i < serials; ++i) {
            const std::string id = i == 500 ? "" : "ID" + std::to_string(i);
            serialText += "CH1\t" + id + "\tSN" + std::to_string(i) + "\n";
            serialRows.push_back({"CH1", id.empty() ? "NULL" : id, "SN" + std::to_string(i)});
        }
        Spool("serial.spl", serialText);
        Pack();
        const Outcome outcome = Run();
        ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
        EXPECT_EQ(outcome.positions, StepsTo(16));
        Rows expected{{"7", "CH2", "other"}};
        const Rows added = ComponentRows(components, components);
        expected.insert(expected.end(), added.begin(), added.end());
        EXPECT_EQ(Components(), expected) << components << " component lines";
        EXPECT_EQ(
            QueryRows(*source, InAddedOrder(*source, "[te_chasnum],[te_serialID],[te_serialno]",
                                            "[tbadmin].[tb_serialnumber]")),
            serialRows)
            << serials << " serial lines";
    }
}

// Row 1,500 of 1,800 is in the middle of the second batch, which only the end
// of the stage sends: the run ends as a refused row always ended it, in the
// component stage, with the driver's text and nothing of it committed. A later
// line too long for its column is not what the run reports: the refused row
// came first.
TEST_P(BatchRunTest, ARowRefusedInTheSecondBatchRollsBackTheWholeRunWithTheDriversText) {
    const RowTrigger refuse(*source, "tb_idcomp", "te_comp", "component 1500");
    SeedOldRows();
    StandardSpool();
    Spool("idcomp.spl", ComponentLines(1700) + "CH1\t1\t" + std::string(300, 'x') + "\n" +
                            ComponentLines(99, 1701));
    Pack();
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    EXPECT_EQ(outcome.positions, StepsTo(8));
    ASSERT_EQ(outcome.messages.size(), 1U) << outcome.output;
    EXPECT_NE(outcome.messages[0].find("component 1500 refused"), std::string::npos)
        << outcome.output;
    EXPECT_EQ(AllRows(), kSeededRows);
}

INSTANTIATE_ON_BOTH(BatchRunTest);

namespace {
class BatchRecordsetTest : public ConnectedTest {
  protected:
    void SetUp() override {
        ConnectedTest::SetUp();
        StartAfresh(*source);
    }

    // Adds the rows through a set of their own each, as the component import does.
    void AddComponents(int count) {
        for (const Rows::value_type& row : ComponentRows(count)) {
            CIdcompSet set(&db);
            set.OpenTable();
            set.AddNew();
            set.m_te_cgrp = std::stoi(row[0]);
            set.m_te_chasnum = row[1].c_str();
            set.m_te_comp = row[2].c_str();
            set.Update();
            set.Close();
        }
    }
};
}  // namespace

// The standard parameter arrays, for drivers that take them best: rows go in
// whole, in order, and a refused row raises the driver's text and leaves
// nothing behind.
TEST_P(BatchRecordsetTest, ParameterArraysAddEveryRowOrFailWithTheDriversText) {
    db.SetBatchMethod(CRowBatch::parameterArrays);
    ASSERT_TRUE(db.BeginTrans());
    AddComponents(1001);
    ASSERT_TRUE(db.CommitTrans());
    EXPECT_EQ(QueryRows(*source, InAddedOrder(*source, "[te_cgrp],[te_chasnum],[te_comp]",
                                              "[tbadmin].[tb_idcomp]")),
              ComponentRows(1001));

    ClearTables(*source);
    const RowTrigger refuse(*source, "tb_idcomp", "te_comp", "component 1500");
    ASSERT_TRUE(db.BeginTrans());
    try {
        AddComponents(2000);
        db.CommitTrans();
        ADD_FAILURE() << "the refused row was not reported";
    } catch (const CDBException& error) {
        EXPECT_NE(error.m_strError.str().find("component 1500 refused"), std::string::npos)
            << error.m_strError.str();
    }
    db.Rollback();
    EXPECT_TRUE(QueryRows(*source, "SELECT [te_comp] FROM [tbadmin].[tb_idcomp]").empty());
}

INSTANTIATE_ON_BOTH(BatchRecordsetTest);
