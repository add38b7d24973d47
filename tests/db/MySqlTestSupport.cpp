// MySqlTestSupport.cpp — per-test database on the sandbox server.
#include "MySqlTestSupport.h"

#include "../jet/availability.h"
#include "db/ServerLogin.h"

#include <QRegularExpression>

using namespace tablor;

ServerParams ServerParams::fromEnv() {
    ServerParams p;
    p.host = qEnvironmentVariable("TABLOR_TEST_MYSQL_HOST");
    p.port = qEnvironmentVariable("TABLOR_TEST_MYSQL_PORT");
    p.user = qEnvironmentVariable("TABLOR_TEST_MYSQL_USER");
    p.password = qEnvironmentVariable("TABLOR_TEST_MYSQL_PASSWORD");
    p.database = qEnvironmentVariable("TABLOR_TEST_MYSQL_DATABASE");
    p.present = !p.host.isEmpty() && !p.port.isEmpty() && !p.user.isEmpty();
    return p;
}

void MySqlTest::connectTo(TZMySqlDatabase& target, const QString& database) {
    setServerLogin(target, {.host = params.host,
                            .port = params.port,
                            .user = params.user,
                            .password = params.password,
                            .database = database});
    target.Connect();
}

void ServerRequiredTest::SetUp() {
    if (!ServerParams::fromEnv().present && jet::test::runningInCi()) FAIL() << TABLOR_SKIP_MESSAGE;
    MySqlTest::SetUp();
}

void MySqlTest::SetUp() {
    params = ServerParams::fromEnv();
    if (!params.present) GTEST_SKIP() << TABLOR_SKIP_MESSAGE;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dbName = QStringLiteral("t_%1_%2")
                 .arg(QString::fromUtf8(info->test_suite_name()), QString::fromUtf8(info->name()))
                 .toLower()
                 .replace(QRegularExpression(QStringLiteral("[^a-z0-9_]")), QStringLiteral("_"))
                 .left(64);
    TZMySqlDatabase admin;
    connectTo(admin, params.database);
    admin.ExecuteDirect(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(dbName));
    admin.ExecuteDirect(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(dbName));
    connectTo(db, dbName);
    trans.Database = &db;
}

void MySqlTest::TearDown() {
    if (!params.present || dbName.isEmpty()) return;
    db.Disconnect();
    try {
        TZMySqlDatabase admin;
        connectTo(admin, params.database);
        admin.ExecuteDirect(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(dbName));
    } catch (const std::exception&) {}
}

QString MySqlTest::scalar(const QString& sql) {
    TZMySqlQuery q;
    q.Database = &db;
    q.SQL = QStringList{sql};
    q.Open();
    if (q.RecordCount() == 0) return QStringLiteral("<none>");
    return q.CellIsNull(0, 0) ? QStringLiteral("<null>") : q.CellText(0, 0);
}
