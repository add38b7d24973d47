// SqlObjectTest.cpp — TSQLObject against a real MariaDB: connect and table list, Execute's
// row-statement rule, the backquote retries, error recording and raising, RowCount and
// LastInsertId.
#include "MySqlTestSupport.h"

#include "db/DbError.h"
#include "db/u_db.h"

using namespace tablor;

namespace {

class SqlObject : public MySqlTest {
protected:
    void SetUp() override {
        MySqlTest::SetUp();
        if (IsSkipped()) return;
        u_db::setHostAuthLibraryPath(QStringLiteral("/nonexistent/hostauth.so"));
        exec(QStringLiteral("CREATE TABLE a (id INT AUTO_INCREMENT PRIMARY KEY, v VARCHAR(10) UNIQUE)"));
        exec(QStringLiteral("CREATE TABLE `b c` (x INT)"));
        obj = std::make_unique<u_db::TSQLObject>();
        obj->ConnectionRecord.Host = params.host;
        obj->ConnectionRecord.Port = params.port;
        obj->ConnectionRecord.Login = params.user;
        obj->ConnectionRecord.Password = params.password;
        obj->SetDatabaseName(dbName);
        obj->OnError = [this](const QString& text) { errors.push_back(text); };
    }
    std::unique_ptr<u_db::TSQLObject> obj;
    std::vector<QString> errors;
};

TEST_F(SqlObject, ConnectListsTablesAndMirrorsTheConnection) {
    int connects = 0, disconnects = 0;
    obj->OnConnect = [&](u_db::TSQLObject*) { ++connects; };
    obj->OnDisconnect = [&](u_db::TSQLObject*) { ++disconnects; };
    EXPECT_EQ(obj->GetTables(), (QStringList{QStringLiteral("a"), QStringLiteral("b c")}));
    EXPECT_TRUE(obj->Connected());
    EXPECT_EQ(connects, 1);
    exec(QStringLiteral("CREATE TABLE later (x INT)"));
    EXPECT_EQ(obj->GetTables().size(), 2); // filled by Connect only
    obj->SwitchConnection(false);
    EXPECT_FALSE(obj->Connected());
    EXPECT_EQ(disconnects, 1);
    obj->SwitchConnection(true);
    EXPECT_EQ(obj->TableList.size(), 3);
}

TEST_F(SqlObject, ConnectFailureRecordsAndRaisesSqlFehler) {
    obj->ConnectionRecord.Password = QStringLiteral("wrong");
    try {
        obj->Connect();
        FAIL() << "connected";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("SQL Fehler: Access denied"))) << e.what();
    }
    EXPECT_TRUE(obj->LastError.startsWith(QStringLiteral("Access denied")));
    EXPECT_FALSE(obj->Connected());
    obj->RaiseErrors = false;
    EXPECT_EQ(obj->Connect(), -1);
    obj->Execute(QStringLiteral("SELECT 1"));
    EXPECT_EQ(obj->LastError, "Verbindung fehlhgeschlagen.");
}

TEST_F(SqlObject, ExecuteRowAndNonRowStatements) {
    obj->Execute(QStringLiteral("  INSERT INTO a (v) VALUES ('one')  "));
    EXPECT_EQ(obj->LastSQL, "INSERT INTO a (v) VALUES ('one')");
    EXPECT_EQ(obj->RowCount, 1);
    EXPECT_EQ(obj->LastInsertId, 1);
    obj->Execute(QStringLiteral("INSERT INTO a (v) VALUES ('two'),('three')"));
    EXPECT_EQ(obj->RowCount, 2);
    EXPECT_EQ(obj->LastInsertId, 2); // the first id of a multi-row insert
    obj->Execute(QStringLiteral("select * from a order by id"));
    EXPECT_EQ(obj->RowCount, 3);
    EXPECT_TRUE(obj->LastError.isEmpty());
    EXPECT_EQ(obj->ResultQuery()->FieldByName("v")->AsString(), "one");
    obj->Execute(QStringLiteral("DESCRIBE a"));
    EXPECT_EQ(obj->RowCount, 2);
    EXPECT_EQ(obj->ResultQuery()->Fields(0)->AsString(), "id");
    // SHOW is no row statement by the rule: it runs as a non-row statement.
    obj->Execute(QStringLiteral("SHOW TABLES"));
    EXPECT_EQ(obj->RowCount, 2);
    EXPECT_EQ(obj->ResultQuery()->SQL, QStringList{QStringLiteral("SELECT LAST_INSERT_ID()")});
    obj->Execute(QStringLiteral("OPTIMIZE TABLE a"));
    EXPECT_GE(obj->RowCount, 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(SqlObject, BackquoteRetries) {
    // A row statement the server rejects is retried once without any backquote.
    obj->Execute(QStringLiteral("SELECT `NOW()` IS NOT NULL"));
    EXPECT_TRUE(obj->LastError.isEmpty());
    EXPECT_EQ(obj->ResultQuery()->Fields(0)->AsInteger(), 1);
    EXPECT_TRUE(errors.empty());
    // A non-row statement is retried that way only after a syntax error...
    obj->Execute(QStringLiteral("INSERT INTO `a` (v) VALUES ('q')`"));
    EXPECT_TRUE(obj->LastError.isEmpty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].indexOf(QLatin1String("syntax")), -1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM a WHERE v='q'")), "1");
    // ...and a failure of another kind is recorded but neither retried nor raised.
    errors.clear();
    EXPECT_NO_THROW(obj->Execute(QStringLiteral("INSERT INTO `a` (v) VALUES ('q')")));
    EXPECT_NE(obj->LastError.indexOf(QLatin1String("Duplicate entry")), -1) << obj->LastError.toStdString();
    EXPECT_EQ(errors.size(), 1u);
    // The result query then holds LAST_INSERT_ID() of the connection: the id of 'q'.
    EXPECT_EQ(obj->ResultQuery()->SQL, QStringList{QStringLiteral("SELECT LAST_INSERT_ID()")});
    EXPECT_EQ(obj->LastInsertId, 1);
}

TEST_F(SqlObject, FailuresAfterTheRetryRaiseSqlFehler) {
    try {
        obj->Execute(QStringLiteral("SELECT * FROM `missing`"));
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("SQL Fehler: ") + obj->LastError);
    }
    EXPECT_NE(obj->LastError.indexOf(QLatin1String("missing")), -1);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(obj->Connected()); // not a lost connection
    EXPECT_THROW(obj->Execute(QStringLiteral("DELETE FROM `a` WHERE")), EDatabaseError);
    EXPECT_EQ(errors.size(), 3u); // first failure and the failed retry
    obj->Execute(QStringLiteral("SELECT 1"));
    EXPECT_TRUE(obj->LastError.isEmpty());
}

TEST_F(SqlObject, GivenConnectionIsSharedAndItsHandlersKept) {
    TZMySqlDatabase shared;
    int own = 0;
    shared.AfterConnect = [&](TZMySqlDatabase*) { ++own; };
    {
        u_db::TSQLObject helper(&shared);
        helper.ConnectionRecord = obj->ConnectionRecord;
        EXPECT_FALSE(helper.Connected());
        helper.Connect();
        EXPECT_TRUE(helper.Connected());
        EXPECT_EQ(own, 1);
        EXPECT_EQ(helper.Transaction()->Database, &shared);
    }
    EXPECT_TRUE(shared.Connected()); // not owned: stays connected
    shared.Disconnect();
    shared.Connect();
    EXPECT_EQ(own, 2); // the previous handler is back
}

} // namespace
