// MySqlLayerTest.cpp — the MySQL client layer against a real MariaDB: connecting and its
// failures, stored results and their values, write-back (INSERT/UPDATE/DELETE, keys,
// "Error while posting updates", server errors on post), utf8mb4, awkward names, sorting.
#include "MySqlTestSupport.h"

#include "db/BusyCursor.h"
#include "db/DbError.h"
#include "db/ServerLogin.h"
#include "support/scoped_hook.h"

using namespace tablor;

namespace {

class MySqlLayer : public MySqlTest {
protected:
    void openTable(TZMySqlTable& t, const QString& name) {
        t.Database = &db;
        t.Transaction = &trans;
        t.setTableName(name);
        t.Open();
    }
};

// ---------------------------------------------------------------- connecting

TEST_F(MySqlLayer, ConnectFailuresRaiseTheLibraryMessageAndStayDisconnected) {
    struct Case {
        const char* what;
        QString host, user, password, database;
        const char* expect;
    };
    const Case cases[] = {
        {"unknown host", QStringLiteral("no-such-host.invalid"), params.user, params.password, params.database,
         "no-such-host.invalid"},
        {"refused login", params.host, params.user, QStringLiteral("wrong-password"), params.database, "Access denied"},
        {"unknown database", params.host, params.user, params.password, QStringLiteral("no_such_db_x"),
         "Unknown database"},
    };
    for (const Case& c : cases) {
        TZMySqlDatabase conn;
        int connects = 0;
        conn.AfterConnect = [&](TZMySqlDatabase*) { ++connects; };
        setServerLogin(
            conn,
            {.host = c.host, .port = params.port, .user = c.user, .password = c.password, .database = c.database});
        conn.ConnectTimeoutSeconds = 5;
        try {
            conn.Connect();
            ADD_FAILURE() << c.what << ": connected";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(e.Message().indexOf(QLatin1String(c.expect)), -1) << c.what << ": " << e.what();
            EXPECT_NE(e.ErrorCode(), 0u) << c.what;
        }
        EXPECT_FALSE(conn.Connected()) << c.what;
        EXPECT_EQ(conn.Handle(), nullptr) << c.what;
        EXPECT_EQ(connects, 0) << c.what;
    }
    TZMySqlDatabase badPort;
    badPort.Port = QStringLiteral("33o6");
    EXPECT_THROW(badPort.Connect(), EDatabaseError);
}

TEST_F(MySqlLayer, ConnectAndDisconnectEventsAndUtf8mb4) {
    TZMySqlDatabase conn;
    int after = 0, afterDis = 0;
    conn.AfterConnect = [&](TZMySqlDatabase*) { ++after; };
    conn.AfterDisconnect = [&](TZMySqlDatabase*) { ++afterDis; };
    connectTo(conn, dbName);
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(after, 1);
    conn.Connect(); // already connected: nothing happens
    EXPECT_EQ(after, 1);
    TZMySqlQuery q;
    q.Database = &conn;
    q.SQL = QStringList{QStringLiteral("SELECT @@character_set_connection, @@character_set_results, @@autocommit")};
    q.Open();
    EXPECT_EQ(q.CellText(0, 0), "utf8mb4");
    EXPECT_EQ(q.CellText(0, 1), "utf8mb4");
    EXPECT_EQ(q.CellText(0, 2), "1");
    conn.setConnected(false);
    EXPECT_EQ(afterDis, 1);
    EXPECT_FALSE(conn.Connected());
    // The stored result stays readable without the connection.
    EXPECT_EQ(q.CellText(0, 0), "utf8mb4");
}

// ---------------------------------------------------------------- results and values

TEST_F(MySqlLayer, FieldKindsAndValuesOfEveryColumnType) {
    exec(QStringLiteral(
        "CREATE TABLE types (id INT AUTO_INCREMENT PRIMARY KEY, si SMALLINT UNSIGNED, bi BIGINT, fl FLOAT, db DOUBLE,"
        " de DECIMAL(20,4), d DATE, t TIME, dt DATETIME, ts TIMESTAMP NULL, c CHAR(3), vc VARCHAR(20), vb VARCHAR(20) COLLATE utf8mb4_bin,"
        " tx TEXT, bl BLOB, vbin VARBINARY(10), en ENUM('a','b'), ti TINYINT)"));
    exec(QStringLiteral(
        "INSERT INTO types VALUES (NULL, 65535, -9000000000, 1.5, 2.25, 1234567890123456.1234, '2024-02-29', '838:59:59',"
        " '2001-02-03 04:05:06', '2020-01-01 00:00:00', 'abc', 'x', 'Bin', 'long text', X'00FF00', X'0102', 'b', -5)"));
    exec(QStringLiteral("INSERT INTO types (id) VALUES (NULL)"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("types"));
    ASSERT_EQ(t.FieldCount(), 18);
    const TFieldType expected[] = {TFieldType::ftAutoInc,  TFieldType::ftWord,   TFieldType::ftLargeint,
                                   TFieldType::ftFloat,    TFieldType::ftFloat,  TFieldType::ftFloat,
                                   TFieldType::ftDate,     TFieldType::ftTime,   TFieldType::ftDateTime,
                                   TFieldType::ftDateTime, TFieldType::ftString, TFieldType::ftString,
                                   TFieldType::ftString,   TFieldType::ftMemo,   TFieldType::ftBlob,
                                   TFieldType::ftVarBytes, TFieldType::ftString, TFieldType::ftSmallint};
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(t.Fields(i)->DataType(), expected[i]) << t.Fields(i)->DisplayName().toStdString();
    EXPECT_EQ(t.Fields(11)->DisplayName(), "vc");
    EXPECT_EQ(t.Fields(11)->Size(), 20);
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.FieldByName("si")->AsInteger(), 65535);
    EXPECT_EQ(t.FieldByName("bi")->AsLargeInt(), -9000000000LL);
    EXPECT_THROW(t.FieldByName("bi")->AsInteger(), EDatabaseError);
    EXPECT_DOUBLE_EQ(t.FieldByName("fl")->AsFloat(), 1.5);
    EXPECT_EQ(t.FieldByName("de")->AsString(), "1234567890123456.1234");
    EXPECT_EQ(t.FieldByName("d")->AsDateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(t.FieldByName("t")->AsString(), "838:59:59");
    EXPECT_EQ(t.FieldByName("dt")->AsDateTime(), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC));
    EXPECT_EQ(t.FieldByName("dt")->AsVariant().typeId(), QMetaType::QDateTime);
    EXPECT_EQ(t.FieldByName("bl")->AsBytes(), QByteArray("\x00\xff\x00", 3));
    EXPECT_EQ(t.FieldByName("bl")->AsVariant().typeId(), QMetaType::QByteArray);
    EXPECT_EQ(t.FieldByName("tx")->AsVariant().typeId(), QMetaType::QString);
    EXPECT_EQ(t.FieldByName("en")->AsString(), "b");
    EXPECT_EQ(t.FieldByName("ti")->AsInteger(), -5);
    // Editing another column keeps a time beyond one day as the server wrote it.
    t.Edit();
    EXPECT_EQ(t.FieldByName("t")->AsString(), "838:59:59");
    t.FieldByName("ti")->setAsInteger(6);
    t.Post();
    EXPECT_EQ(t.LastWriteSql(), "UPDATE `types` SET `ti`=6 WHERE `id`=1");
    EXPECT_EQ(t.FieldByName("t")->AsString(), "838:59:59");
    t.Next();
    EXPECT_EQ(t.FieldByName("id")->AsInteger(), 2);
    for (int i = 1; i < 18; ++i) EXPECT_TRUE(t.Fields(i)->IsNull()) << i;
    EXPECT_EQ(t.FieldByName("si")->AsInteger(), 0);
    EXPECT_EQ(t.FieldByName("tx")->AsString(), "");
}

TEST_F(MySqlLayer, StoredRowLengthsSurviveNullsAndZeroBytes) {
    exec(QStringLiteral("CREATE TABLE b (a VARBINARY(20), n INT, c BLOB, e VARCHAR(5), z BLOB)"));
    exec(QStringLiteral(
        "INSERT INTO b VALUES (X'000000', NULL, X'41004200', '', NULL), (NULL, NULL, NULL, NULL, X'00')"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("b"));
    EXPECT_EQ(t.CellBytes(0, 0), QByteArray(3, '\0'));
    EXPECT_TRUE(t.CellIsNull(0, 1));
    EXPECT_EQ(t.CellBytes(0, 2), QByteArray("A\0B\0", 4));
    EXPECT_FALSE(t.CellIsNull(0, 3));
    EXPECT_EQ(t.CellText(0, 3), "");
    EXPECT_TRUE(t.CellIsNull(0, 4));
    EXPECT_TRUE(t.CellIsNull(1, 0));
    EXPECT_EQ(t.CellBytes(1, 4), QByteArray(1, '\0'));
}

TEST_F(MySqlLayer, StatementsWithColonsRunUnchangedAndNonRowStatementsReportRows) {
    TZMySqlQuery q;
    q.Database = &db;
    q.SQL = QStringList{QStringLiteral("SELECT '12:30:00' AS t, ':name' AS p, TIME('10:11:12') AS tm")};
    q.Open();
    EXPECT_EQ(q.FieldByName("t")->AsString(), "12:30:00");
    EXPECT_EQ(q.FieldByName("p")->AsString(), ":name");
    EXPECT_EQ(q.FieldByName("tm")->AsDateTime().time(), QTime(10, 11, 12));
    q.Close();
    exec(QStringLiteral("CREATE TABLE n (a INT)"));
    q.SQL = QStringList{QStringLiteral("INSERT INTO n VALUES (1),(2),(3)")};
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), 3);
    q.SQL = QStringList{QStringLiteral("UPDATE n SET a = a + 10 WHERE a > 1")};
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), 2);
    q.SQL = QStringList{QStringLiteral("SELEC 1")};
    try {
        q.Open();
        FAIL() << "a bad statement opened";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("syntax"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(q.Active());
}

TEST_F(MySqlLayer, OnProgressPerRowAndCancelKeepsTheRowsSoFar) {
    exec(QStringLiteral("CREATE TABLE p (a INT)"));
    exec(QStringLiteral("INSERT INTO p VALUES (1),(2),(3),(4),(5)"));
    TZMySqlTable t;
    std::vector<std::pair<int, int>> seen;
    t.OnProgress = [&](TDataSet* sender, TZProgressStage stage, TZProgressProc, int pos, int max, bool& cancel) {
        EXPECT_EQ(sender, &t);
        EXPECT_EQ(stage, TZProgressStage::psRunning);
        seen.emplace_back(pos, max);
        EXPECT_FALSE(cancel);
    };
    openTable(t, QStringLiteral("p"));
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    t.Close();
    t.OnProgress = [&](TDataSet*, TZProgressStage, TZProgressProc, int pos, int, bool& cancel) { cancel = pos == 3; };
    t.Open();
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST_F(MySqlLayer, TableNameWithOrWithoutBackquotesOpensTheSameTable) {
    exec(QStringLiteral("CREATE TABLE tn (a INT)"));
    exec(QStringLiteral("INSERT INTO tn VALUES (7)"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("`tn`"));
    EXPECT_EQ(t.Fields(0)->AsInteger(), 7);
    t.setTableName(QStringLiteral("`tn`")); // same name: stays open
    EXPECT_TRUE(t.Active());
    t.setTableName(QStringLiteral("tn")); // different name: closes
    EXPECT_FALSE(t.Active());
    t.Open();
    EXPECT_EQ(t.Fields(0)->AsInteger(), 7);
    t.setTableName(QStringLiteral("missing"));
    EXPECT_THROW(t.Open(), EDatabaseError);
    EXPECT_FALSE(t.Active());
}

TEST_F(MySqlLayer, LocateFindsTheFirstOfTwoEqualValues) {
    exec(QStringLiteral("CREATE TABLE l (id INT PRIMARY KEY, k VARCHAR(10))"));
    exec(QStringLiteral("INSERT INTO l VALUES (1,'x'),(2,'dup'),(3,'y'),(4,'dup')"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("l"));
    EXPECT_TRUE(t.Locate(QStringLiteral("k"), QStringLiteral("dup")));
    EXPECT_EQ(t.FieldByName("id")->AsInteger(), 2);
    EXPECT_TRUE(t.Locate(QStringLiteral("id"), 4));
    EXPECT_EQ(t.RecNo(), 4);
    EXPECT_FALSE(t.Locate(QStringLiteral("k"), QStringLiteral("DUP")));
}

// ---------------------------------------------------------------- write-back

TEST_F(MySqlLayer, PostWithoutChangesSendsNothingAndUpdateSendsOnlyChangedColumns) {
    exec(QStringLiteral("CREATE TABLE u (id INT PRIMARY KEY, a VARCHAR(10), b INT, c DECIMAL(10,2))"));
    exec(QStringLiteral("INSERT INTO u VALUES (1,'one',10,1.50),(2,'two',20,2.50)"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("u"));
    t.Edit();
    t.FieldByName("a")->setAsString(QStringLiteral("one")); // same value
    t.FieldByName("c")->setAsString(QStringLiteral("1.50"));
    t.Post();
    EXPECT_TRUE(t.LastWriteSql().isEmpty()) << t.LastWriteSql().toStdString();
    t.Next();
    t.Edit();
    t.FieldByName("b")->setAsInteger(21);
    t.Post();
    EXPECT_EQ(t.LastWriteSql(), "UPDATE `u` SET `b`=21 WHERE `id`=2");
    EXPECT_EQ(scalar(QStringLiteral("SELECT CONCAT(a,'/',b) FROM u WHERE id=2")), "two/21");
    EXPECT_EQ(t.FieldByName("b")->AsInteger(), 21);
    EXPECT_EQ(t.KeyColumns(), std::vector<int>{0});
}

TEST_F(MySqlLayer, AppendReadsBackTheAutoIncrementValueAndServerDefaults) {
    exec(QStringLiteral(
        "CREATE TABLE ai (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(20) NOT NULL DEFAULT 'unnamed',"
        " n INT)"));
    exec(QStringLiteral("INSERT INTO ai (name) VALUES ('first')"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("ai"));
    t.Append();
    t.FieldByName("n")->setAsInteger(5);
    t.Post();
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_EQ(t.FieldByName("id")->AsInteger(), 2);
    EXPECT_EQ(t.FieldByName("name")->AsString(), "unnamed"); // read back from the server
    EXPECT_EQ(scalar(QStringLiteral("SELECT n FROM ai WHERE id=2")), "5");
    t.Edit();
    t.FieldByName("name")->setAsString(QStringLiteral("second"));
    t.Post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT name FROM ai WHERE id=2")), "second");
    t.Delete();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM ai")), "1");
    EXPECT_EQ(t.RecordCount(), 1);
}

TEST_F(MySqlLayer, UpdateMatchingNoRowFailsAndTheRowStaysInEditState) {
    exec(QStringLiteral("CREATE TABLE g (id INT PRIMARY KEY, v VARCHAR(10))"));
    exec(QStringLiteral("INSERT INTO g VALUES (1,'a'),(2,'b')"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("g"));
    exec(QStringLiteral("DELETE FROM g WHERE id=1")); // someone else removes the row
    t.Edit();
    t.FieldByName("v")->setAsString(QStringLiteral("changed"));
    try {
        t.Post();
        FAIL() << "posted";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Error while posting updates");
    }
    EXPECT_EQ(t.State(), TDataSetState::dsEdit);
    EXPECT_EQ(t.FieldByName("v")->AsString(), "changed");
    t.Cancel();
    EXPECT_EQ(t.FieldByName("v")->AsString(), "a");
    // Setting a value the row already holds on the server is no failure.
    exec(QStringLiteral("UPDATE g SET v='same' WHERE id=2"));
    t.Next();
    t.Edit();
    t.FieldByName("v")->setAsString(QStringLiteral("same"));
    EXPECT_NO_THROW(t.Post());
}

TEST_F(MySqlLayer, ServerErrorsOnPostReachTheCallerAndKeepTheEditState) {
    exec(QStringLiteral("CREATE TABLE e (id INT PRIMARY KEY, s VARCHAR(5), n TINYINT)"));
    exec(QStringLiteral("INSERT INTO e VALUES (1,'a',1),(2,'b',2)"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("e"));
    t.Append();
    t.FieldByName("id")->setAsInteger(1);
    try {
        t.Post();
        FAIL() << "duplicate key posted";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Duplicate entry"), std::string::npos) << e.what();
        EXPECT_EQ(e.ErrorCode(), 1062u);
    }
    EXPECT_EQ(t.State(), TDataSetState::dsInsert);
    t.Cancel();
    EXPECT_EQ(t.RecordCount(), 2);

    t.First();
    t.Edit();
    t.FieldByName("s")->setAsString(QStringLiteral("far too long"));
    try {
        t.Post();
        FAIL() << "too long value posted";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("too long"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t.State(), TDataSetState::dsEdit);
    t.FieldByName("s")->setAsString(QStringLiteral("ok"));
    t.FieldByName("n")->setAsInteger(1000);
    EXPECT_THROW(t.Post(), EDatabaseError); // out of range for TINYINT
    EXPECT_EQ(t.State(), TDataSetState::dsEdit);
    t.FieldByName("n")->setAsInteger(100);
    t.Post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT CONCAT(s, n) FROM e WHERE id=1")), "ok100");
}

TEST_F(MySqlLayer, KeysComeFromAUniqueIndexOrElseFromEveryPlainColumn) {
    exec(QStringLiteral("CREATE TABLE uq (a INT, code VARCHAR(5) NOT NULL, note TEXT, UNIQUE KEY (code))"));
    exec(QStringLiteral("INSERT INTO uq VALUES (1,'x','n1'),(1,'y','n2')"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("uq"));
    EXPECT_EQ(t.KeyColumns(), std::vector<int>{1});
    t.Last();
    t.Edit();
    t.FieldByName("note")->setAsString(QStringLiteral("changed"));
    t.Post();
    EXPECT_EQ(t.LastWriteSql(), "UPDATE `uq` SET `note`='changed' WHERE `code`='y'");
    t.Close();

    // No key at all: every non-blob, non-memo column identifies the row; a duplicate row
    // is changed once, not twice.
    exec(QStringLiteral("CREATE TABLE nk (a INT, b VARCHAR(5), m TEXT)"));
    exec(QStringLiteral("INSERT INTO nk VALUES (1,'d','m1'),(1,'d','m2'),(2,NULL,'m3')"));
    TZMySqlTable k;
    openTable(k, QStringLiteral("nk"));
    EXPECT_EQ(k.KeyColumns(), (std::vector<int>{0, 1}));
    k.Edit();
    k.FieldByName("a")->setAsInteger(5);
    k.Post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM nk WHERE a=5")), "1");
    k.Last();
    k.Delete(); // b IS NULL in the key condition
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM nk")), "2");
    EXPECT_NE(k.LastWriteSql().indexOf(QLatin1String("`b` IS NULL")), -1) << k.LastWriteSql().toStdString();
}

TEST_F(MySqlLayer, LiveQueryWritesBackAndAFreeQueryIsReadOnly) {
    exec(QStringLiteral("CREATE TABLE lq (id INT PRIMARY KEY, v INT)"));
    exec(QStringLiteral("INSERT INTO lq VALUES (1,1),(2,2)"));
    // The main window's two queries: the grid's is live, the free one is not.
    struct {
        TZMySqlDatabase mySQLDB;
        TZMySqlQuery myQryMain, myQryFree;
    } form;
    for (TZMySqlQuery* q : {&form.myQryMain, &form.myQryFree}) q->Database = &form.mySQLDB;
    form.myQryMain.RequestLive = true;
    form.myQryFree.RequestLive = false;
    setServerLogin(form.mySQLDB, {.host = params.host,
                                  .port = params.port,
                                  .user = params.user,
                                  .password = params.password,
                                  .database = dbName});
    form.mySQLDB.Connect();
    form.myQryMain.SQL = QStringList{QStringLiteral("SELECT * FROM lq WHERE id > 1")};
    form.myQryMain.Open();
    form.myQryMain.Edit();
    form.myQryMain.FieldByName("v")->setAsInteger(22);
    form.myQryMain.Post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT v FROM lq WHERE id=2")), "22");
    EXPECT_EQ(form.myQryMain.UpdateTableName(), "lq");

    form.myQryFree.SQL = QStringList{QStringLiteral("SELECT * FROM lq")};
    form.myQryFree.Open();
    form.myQryFree.Edit();
    form.myQryFree.FieldByName("v")->setAsInteger(99);
    EXPECT_THROW(form.myQryFree.Post(), EDatabaseError);
    form.myQryFree.Cancel();

    TZMySqlQuery joined;
    joined.Database = &form.mySQLDB;
    joined.RequestLive = true;
    joined.SQL = QStringList{QStringLiteral("SELECT a.id, b.v FROM lq a JOIN lq b ON a.id = b.id")};
    joined.Open();
    joined.Edit();
    joined.Fields(1)->setAsInteger(5);
    EXPECT_THROW(joined.Post(), EDatabaseError);
}

// ---------------------------------------------------------------- text and names

TEST_F(MySqlLayer, Utf8mb4TextRoundTripsUnchanged) {
    exec(QStringLiteral("CREATE TABLE x (id INT PRIMARY KEY, s VARCHAR(50), m TEXT)"));
    const QString text = QStringLiteral("Grüße € ñ 中文 😀 \U0001F600 'q' \"d\" \\ end");
    TZMySqlTable t;
    openTable(t, QStringLiteral("x"));
    t.Append();
    t.FieldByName("id")->setAsInteger(1);
    t.FieldByName("s")->setAsString(text);
    t.FieldByName("m")->setAsString(text + text);
    t.Post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT HEX(s) FROM x")), QString::fromLatin1(text.toUtf8().toHex().toUpper()));
    t.Close();
    t.Open();
    EXPECT_EQ(t.FieldByName("s")->AsString(), text);
    EXPECT_EQ(t.FieldByName("m")->AsString(), text + text);
    EXPECT_TRUE(t.Locate(QStringLiteral("s"), text));
}

TEST_F(MySqlLayer, NamesWithBlanksBackquotesQuotesAndUmlauts) {
    const QString table = QStringLiteral("we`ird 'tab\"le ä");
    const QString col = QStringLiteral("co`l 'x\" ü");
    exec(QStringLiteral("CREATE TABLE %1 (%2 INT PRIMARY KEY, `Größe` VARCHAR(10))")
             .arg(QuoteIdentifier(table), QuoteIdentifier(col)));
    exec(QStringLiteral("INSERT INTO %1 VALUES (2,'b'),(1,'a')").arg(QuoteIdentifier(table)));
    for (const QString& given : {table, QuoteIdentifier(table)}) {
        TZMySqlTable t;
        openTable(t, given);
        ASSERT_EQ(t.RecordCount(), 2) << given.toStdString();
        EXPECT_EQ(t.Fields(0)->DisplayName(), col);
        t.setSortedFields(QuoteIdentifier(col));
        EXPECT_EQ(t.CellValue(0, 0).toInt(), 1);
        t.First();
        t.Edit();
        t.FieldByName(QStringLiteral("Größe"))->setAsString(QStringLiteral("ä`'\""));
        t.Post();
        EXPECT_EQ(
            scalar(
                QStringLiteral("SELECT `Größe` FROM %1 WHERE %2=1").arg(QuoteIdentifier(table), QuoteIdentifier(col))),
            QStringLiteral("ä`'\""));
        t.Append();
        t.Fields(0)->setAsInteger(3);
        t.Post();
        t.Delete();
        EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QuoteIdentifier(table))), "2");
    }
    // A name that tries to end the identifier early names a table that does not exist.
    TZMySqlTable evil;
    evil.Database = &db;
    evil.setTableName(QStringLiteral("x` ; DROP DATABASE `") + dbName);
    EXPECT_THROW(evil.Open(), EDatabaseError);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QuoteIdentifier(table))), "2");
}

// ---------------------------------------------------------------- sorting

TEST_F(MySqlLayer, SortInMemoryKeepsTheCurrentRecord) {
    exec(QStringLiteral("CREATE TABLE s (id INT PRIMARY KEY, name VARCHAR(20), amount DECIMAL(8,2), t TIME)"));
    exec(QStringLiteral(
        "INSERT INTO s VALUES (1,'beta',10,'10:00:00'),(2,'Alpha',-2.5,'-01:00:00'),(3,NULL,100,'100:00:00'),"
        "(4,'älter',3,'00:00:01'),(5,'alpha',0.5,NULL)"));
    TZMySqlTable t;
    openTable(t, QStringLiteral("s"));
    t.setRecNo(4);
    TZMySqlQuery status;
    status.Database = &db;
    status.SQL = QStringList{QStringLiteral("SHOW SESSION STATUS LIKE 'Questions'")};
    status.Open();
    const int before = status.CellValue(0, 1).toInt();
    status.Close();
    t.setSortedFields(QStringLiteral("`name`"));
    status.Open();
    EXPECT_EQ(status.CellValue(0, 1).toInt(), before + 1); // only the SHOW STATUS itself: sorting sent nothing
    status.Close();
    EXPECT_EQ(t.FieldByName("id")->AsInteger(), 4);
    auto ids = [&] {
        std::vector<int> out;
        for (int r = 0; r < t.RecordCount(); ++r) out.push_back(t.CellValue(r, 0).toInt());
        return out;
    };
    EXPECT_EQ(ids(), (std::vector<int>{3, 2, 5, 1, 4})); // NULL first, case folded, ties in result order
    t.setSortedFields(QStringLiteral("amount"));
    EXPECT_EQ(ids(), (std::vector<int>{2, 5, 4, 1, 3}));
    t.setSortedFields(QStringLiteral("t"));
    EXPECT_EQ(ids(), (std::vector<int>{5, 2, 4, 1, 3}));
    t.setSortedFields(QStringLiteral("`amount`"));
    t.setSortedFields(QStringLiteral("`amount`")); // a second click: same order
    EXPECT_EQ(ids(), (std::vector<int>{2, 5, 4, 1, 3}));
    EXPECT_THROW(t.setSortedFields(QStringLiteral("`nope`")), EDatabaseError);
    // Edits and appends join the sorted rows.
    t.Append();
    t.FieldByName("id")->setAsInteger(6);
    t.FieldByName("amount")->setAsFloat(-100);
    t.Post();
    t.setSortedFields(QStringLiteral("amount"));
    EXPECT_EQ(ids().front(), 6);
    EXPECT_EQ(t.FieldByName("id")->AsInteger(), 6);
    t.setSortedFields(QString());
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

// ---------------------------------------------------------------- hour glass and observers

std::vector<bool> g_busyCalls;
void recordBusy(bool on) { g_busyCalls.push_back(on); }

struct ChangeLog : TDataSetObserver {
    std::vector<TDataChange> changes;
    void dataSetChanged(TDataSet&, TDataChange c, int) override { changes.push_back(c); }
};

TEST_F(MySqlLayer, HourGlassAroundStatementsAndObserversHearChanges) {
    exec(QStringLiteral("CREATE TABLE h (id INT PRIMARY KEY, v INT)"));
    exec(QStringLiteral("INSERT INTO h VALUES (1,1),(2,2)"));
    g_busyCalls.clear();
    setBusyHook(&recordBusy);
    const tablor::test::ScopeExit unhook([] { setBusyHook(nullptr); });
    TZMySqlTable t;
    ChangeLog log;
    t.addObserver(&log);
    openTable(t, QStringLiteral("h"));
    EXPECT_EQ(g_busyCalls, (std::vector<bool>{true, false}));
    t.Edit();
    t.Fields(1)->setAsInteger(5);
    t.Post();
    EXPECT_EQ(g_busyCalls.size(), 4u);
    ASSERT_FALSE(log.changes.empty());
    EXPECT_EQ(log.changes.front(), TDataChange::Reset);
    EXPECT_NE(std::find(log.changes.begin(), log.changes.end(), TDataChange::RowChanged), log.changes.end());
    t.removeObserver(&log);
}

} // namespace
