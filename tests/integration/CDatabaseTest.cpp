#include "framework/odbc/CDatabase.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/CTransaction.h"
#include "framework/odbc/PreparedStatement.h"
#include "tests/support/ConnectedTest.h"

namespace {
void Exec(const CDatabase& db, const std::string& sql) {
    ExecuteOn(db, sql);
}

std::string CountIdcards(const DataSource& source) {
    return QueryRows(source, "SELECT count(*) FROM [tbadmin].[tb_idcard]").at(0).at(0);
}

// The server's process serving the connection.
std::string BackendOf(const CDatabase& db) {
    StmtHandle stmt = ExecuteOn(db, "SELECT pg_backend_pid()");
    OdbcCheck(SQLFetch(stmt.get()), SQL_HANDLE_STMT, stmt.get());
    std::array<char, 32> text{};
    SQLLEN length = 0;
    OdbcCheck(SQLGetData(stmt.get(), 1, SQL_C_CHAR, text.data(), text.size(), &length),
              SQL_HANDLE_STMT, stmt.get());
    return text.data();
}

class CDatabaseTest : public ::testing::TestWithParam<DataSourceKind> {
  protected:
    void SetUp() override {
        source = &GetDataSource(GetParam());
        ClearTables(*source);
        source->Activate();
    }
    const DataSource* source = nullptr;
};
}  // namespace

TEST_P(CDatabaseTest, CommitKeepsAndRollbackOrCloseUndoesTheTransaction) {
    {
        CDatabase db;
        db.OpenEx(kConnectString);
        ASSERT_TRUE(db.BeginTrans());
        Exec(db, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('closed')");
        db.Close();  // never committed: gone with the connection
        EXPECT_FALSE(db.IsOpen());
    }
    EXPECT_EQ(CountIdcards(*source), "0");

    CDatabase db;
    db.OpenEx(kConnectString);
    ASSERT_TRUE(db.BeginTrans());
    Exec(db, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('rolled')");
    EXPECT_TRUE(db.Rollback());
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(CountIdcards(*source), "0");

    ASSERT_TRUE(db.BeginTrans());
    Exec(db, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('kept')");
    EXPECT_TRUE(db.CommitTrans());
    EXPECT_EQ(CountIdcards(*source), "1");

    // Back in autocommit: a statement is committed on its own.
    Exec(db, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('auto')");
    EXPECT_EQ(CountIdcards(*source), "2");
    EXPECT_FALSE(db.Rollback());
}

TEST_P(CDatabaseTest, AFailedStatementRaisesWithItsStateAndEveryRecord) {
    CDatabase db;
    db.OpenEx(kConnectString);
    // psqlODBC hands a long text out in records of 512 bytes: only all of them
    // together say what failed. The SQLite driver gives one record of at most 512.
    struct Failure {
        std::string sql;
        const char* state;
        const char* firstWords;
        const char* lastWords;
    };
    const Failure failure =
        GetParam() == DataSourceKind::Sqlite
            ? Failure{"SELECT [te_chasnum] FROM [tbadmin].[no_such_table]", "HY000",
                      "no such table", "no_such_table"}
            : Failure{
                  "DO $$ BEGIN RAISE EXCEPTION 'refused: %', repeat('x', 2000) || "
                  "' and the last words'; END $$",
                  "P0001", "refused: xxx", "xxx and the last words"};
    try {
        Exec(db, failure.sql);
        ADD_FAILURE() << "a bad statement must raise";
    } catch (const CDBException& error) {
        EXPECT_EQ(error.SqlState(), failure.state);
        EXPECT_NE(error.m_strStateNativeOrigin.str().find(failure.state), std::string::npos)
            << error.m_strStateNativeOrigin.str();
        const std::string shown = error.m_strError.str();
        EXPECT_NE(shown.find(failure.firstWords), std::string::npos) << shown;
        EXPECT_NE(shown.find(failure.lastWords), std::string::npos) << shown;
    }
}

TEST_P(CDatabaseTest, ASessionTheServerEndedFailsTheBeginAndTheCommit) {
    if (GetParam() != DataSourceKind::Postgres) {
        GTEST_SKIP() << "an embedded database has no session a server could end";
    }
    auto endSession = [&](const CDatabase& db) {
        ExecSql(*source, "SELECT pg_terminate_backend(" + BackendOf(db) + ")");
    };
    {
        CDatabase db;
        db.OpenEx(kConnectString);
        endSession(db);
        EXPECT_THROW(CTransaction transaction(db), CDBException);
    }
    CDatabase db;
    db.OpenEx(kConnectString);
    ASSERT_TRUE(db.BeginTrans());
    Exec(db, "INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) VALUES ('lost')");
    StmtHandle prepared = AllocOdbcHandle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, db.GetConnectHandle());
    const CString query = "SELECT te_chasnum FROM tbadmin.tb_idcard WHERE te_chasnum = ?";
    OdbcCheck(SQLPrepare(prepared.get(), SqlChars(query), SQL_NTS), SQL_HANDLE_STMT,
              prepared.get());
    std::array<char, 5> key = {'l', 'o', 's', 't', '\0'};
    SQLLEN keyLength = 4;
    OdbcCheck(SQLBindParameter(prepared.get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0,
                               key.data(), 4, &keyLength),
              SQL_HANDLE_STMT, prepared.get());
    OdbcCheck(SQLExecute(prepared.get()), SQL_HANDLE_STMT, prepared.get());
    endSession(db);
    // Freeing a prepared statement tells the driver of the loss on its own; it
    // then forgets the transaction, and must not answer a commit with success.
    prepared.reset();
    EXPECT_THROW(db.CommitTrans(), CDBException);
    EXPECT_EQ(CountIdcards(*source), "0");
}

TEST_P(CDatabaseTest, AKeptStatementRunsTheTextLastPreparedAndAFailedOneIsNotKept) {
    CDatabase db;
    db.OpenEx(kConnectString, CDatabase::noOdbcDialog);
    const std::string key = "the insert";
    auto insert = [&](const char* chassis) {
        PreparedStatement stmt(db, key);
        stmt.Prepare(db.QuoteNames(CString("INSERT INTO [tbadmin].[tb_idcard] ([te_chasnum]) "
                                           "VALUES ('") +
                                   chassis + "')"));
        OdbcCheck(SQLExecute(stmt.get()), SQL_HANDLE_STMT, stmt.get());
    };
    insert("A");
    insert("A");
    insert("B");
    EXPECT_EQ(QueryRows(*source, "SELECT [te_chasnum] FROM [tbadmin].[tb_idcard] ORDER BY 1"),
              (Rows{{"A"}, {"A"}, {"B"}}));
    EXPECT_FALSE(PreparedStatement(db, key).Text().IsEmpty()) << "not handed back";
    try {
        const PreparedStatement stmt(db, key);
        throw CDBException::RowsNotChanged("a failure while it was out");
    } catch (const CDBException&) {  // NOLINT(bugprone-empty-catch): what follows checks
    }
    EXPECT_TRUE(PreparedStatement(db, key).Text().IsEmpty()) << "kept after a failure";
}

INSTANTIATE_ON_BOTH(CDatabaseTest);
