// ServerFaultTest.cpp — the server stops while a result is open and while a row is
// posted: clear errors, no crash; once the server is back on the same port the helper's
// next Execute connects again with the same parameters. Uses a MariaDB of its own (a
// second sandbox in a temporary folder) so other tests are not disturbed.
#include "MySqlTestSupport.h"

#include "db/DbError.h"
#include "db/u_db.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

using namespace tablor;

namespace {

class OwnServer {
public:
    bool start(const QString& port = QString()) {
        const QString env = port.isEmpty() ? QString() : QStringLiteral("MARIADB_SANDBOX_PORT=%1 ").arg(port);
        const QString cmd = env + QStringLiteral("'%1/scripts/mariadb-sandbox' start '%2' >'%2.log' 2>&1")
                                      .arg(QStringLiteral(TABLOR_SOURCE_DIR), dir());
        if (std::system(cmd.toLocal8Bit().constData()) != 0) {
            QFile log(dir() + QStringLiteral(".log"));
            if (log.open(QIODevice::ReadOnly)) m_failure = QString::fromLocal8Bit(log.readAll());
            for (const char* name : {"/install.log", "/error.log"}) {
                QFile detail(dir() + QLatin1String(name));
                if (detail.open(QIODevice::ReadOnly)) m_failure += QString::fromLocal8Bit(detail.readAll().right(3000));
            }
            return false;
        }
        QFile f(dir() + QStringLiteral("/env"));
        if (!f.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("export TABLOR_TEST_MYSQL_PORT=")) m_port = QString::fromLatin1(line.mid(30));
        }
        return !m_port.isEmpty();
    }
    void stop() {
        const QString cmd = QStringLiteral("'%1/scripts/mariadb-sandbox' stop '%2' >/dev/null 2>&1")
                                .arg(QStringLiteral(TABLOR_SOURCE_DIR), dir());
        (void)std::system(cmd.toLocal8Bit().constData());
    }
    ~OwnServer() { stop(); }
    QString dir() const { return m_tmp.path() + QStringLiteral("/server"); }
    const QString& port() const { return m_port; }
    std::string failure() const { return m_failure.toStdString(); }

private:
    QTemporaryDir m_tmp;
    QString m_port;
    QString m_failure;
};

TEST(ServerFault, ServerStoppedDuringAnOpenResultAndAPostThenBack) {
    if (!ServerParams::fromEnv().present) GTEST_SKIP() << TABLOR_SKIP_MESSAGE;
    OwnServer server;
    ASSERT_TRUE(server.start()) << "could not start a second sandbox in " << server.dir().toStdString() << ": "
                                << server.failure();
    u_db::setHostAuthLibraryPath(QStringLiteral("/nonexistent/hostauth.so"));
    u_db::TSQLObject helper;
    helper.ConnectionRecord.Host = QStringLiteral("127.0.0.1");
    helper.ConnectionRecord.Port = server.port();
    helper.ConnectionRecord.Login = QStringLiteral("tablor");
    helper.ConnectionRecord.Password = QStringLiteral("tablor-pw");
    helper.SetDatabaseName(QStringLiteral("tablor_test"));
    helper.Execute(QStringLiteral("CREATE TABLE t (id INT PRIMARY KEY, v VARCHAR(10))"));
    helper.Execute(QStringLiteral("INSERT INTO t VALUES (1,'a'),(2,'b')"));

    // A table object on the helper's connection, open while the server goes away.
    TZMySqlTable table;
    table.Database = helper.Connection();
    table.setTableName(QStringLiteral("t"));
    table.Open();
    helper.Execute(QStringLiteral("SELECT * FROM t"));
    ASSERT_EQ(helper.RowCount, 2);

    server.stop();

    // The stored results stay readable.
    EXPECT_EQ(helper.ResultQuery()->CellText(1, 1), "b");
    table.Last();
    EXPECT_EQ(table.FieldByName("v")->AsString(), "b");
    // Posting fails with the library's message and keeps the edit.
    table.Edit();
    table.FieldByName("v")->setAsString(QStringLiteral("c"));
    try {
        table.Post();
        FAIL() << "posted to a stopped server";
    } catch (const EDatabaseError& e) {
        EXPECT_FALSE(e.Message().isEmpty());
        EXPECT_TRUE(e.ErrorCode() == 2006 || e.ErrorCode() == 2013) << e.ErrorCode() << " " << e.what();
    }
    EXPECT_EQ(table.State(), TDataSetState::dsEdit);
    table.Cancel();

    // The helper reports the lost connection and drops it...
    EXPECT_THROW(helper.Execute(QStringLiteral("SELECT * FROM t")), EDatabaseError);
    EXPECT_FALSE(helper.LastError.isEmpty());
    EXPECT_FALSE(helper.Connected());
    EXPECT_TRUE(table.Active()); // its stored rows are still there

    // ...and while the server is still down, the next Execute fails to connect.
    try {
        helper.Execute(QStringLiteral("SELECT 1"));
        FAIL() << "connected to a stopped server";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("SQL Fehler: "))) << e.what();
    }

    // Back on the same port: the next Execute connects again with the same parameters.
    ASSERT_TRUE(server.start(helper.ConnectionRecord.Port)) << server.failure();
    helper.Execute(QStringLiteral("SELECT 41 + 1"));
    EXPECT_TRUE(helper.Connected());
    EXPECT_TRUE(helper.LastError.isEmpty());
    EXPECT_EQ(helper.ResultQuery()->Fields(0)->AsInteger(), 42);
}

TEST(ServerFault, NonRowStatementOnALostConnectionStillLeadsToAReconnect) {
    if (!ServerParams::fromEnv().present) GTEST_SKIP() << TABLOR_SKIP_MESSAGE;
    OwnServer server;
    ASSERT_TRUE(server.start()) << server.failure();
    u_db::setHostAuthLibraryPath(QStringLiteral("/nonexistent/hostauth.so"));
    u_db::TSQLObject helper;
    helper.ConnectionRecord.Host = QStringLiteral("127.0.0.1");
    helper.ConnectionRecord.Port = server.port();
    helper.ConnectionRecord.Login = QStringLiteral("tablor");
    helper.ConnectionRecord.Password = QStringLiteral("tablor-pw");
    helper.SetDatabaseName(QStringLiteral("tablor_test"));
    helper.Execute(QStringLiteral("CREATE TABLE t (id INT)"));
    const QString port = server.port();
    server.stop();
    ASSERT_TRUE(server.start(port)) << server.failure();
    // The old connection is dead; a non-row statement fails without raising (not a syntax
    // error), and the broken connection is dropped so that the next statement reconnects.
    EXPECT_NO_THROW(helper.Execute(QStringLiteral("CREATE TABLE t (id INT)")));
    EXPECT_FALSE(helper.LastError.isEmpty()) << "the statement on the dead connection succeeded";
    EXPECT_FALSE(helper.Connected());
    helper.Execute(QStringLiteral("CREATE TABLE t (id INT)"));
    EXPECT_TRUE(helper.LastError.isEmpty()) << helper.LastError.toStdString();
    EXPECT_TRUE(helper.Connected());
}

} // namespace
