// UnitFunctionsTest.cpp — pieces of the MySQL layer and helper that need no server:
// identifier quoting, the column-kind mapping, SQL literals, the unit functions of u_db
// and the defaults from the optional host-auth library.
#include "db/u_db.h"

#include <mysql.h>

#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>

using namespace tablor;

namespace {

TEST(Identifiers, QuotingDoublesBackquotesAndUnquotingUndoesIt) {
    EXPECT_EQ(QuoteIdentifier(QStringLiteral("plain")), "`plain`");
    EXPECT_EQ(QuoteIdentifier(QStringLiteral("a`b")), "`a``b`");
    EXPECT_EQ(QuoteIdentifier(QStringLiteral("x` ; DROP TABLE t; -- ")), "`x`` ; DROP TABLE t; -- `");
    EXPECT_EQ(UnquoteIdentifier(QStringLiteral("`a``b`")), "a`b");
    EXPECT_EQ(UnquoteIdentifier(QStringLiteral("a b")), "a b");
    EXPECT_EQ(UnquoteIdentifier(QStringLiteral("`")), "`");
    for (const QString& name :
         {QStringLiteral("Größe ä"), QStringLiteral("`"), QStringLiteral("'\""), QStringLiteral("``x``")})
        EXPECT_EQ(UnquoteIdentifier(QuoteIdentifier(name)), name);
}

TEST(ColumnKinds, MySqlTypesMapToFieldKinds) {
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_LONG, 0, 63), TFieldType::ftInteger);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_LONG, AUTO_INCREMENT_FLAG, 63), TFieldType::ftAutoInc);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_SHORT, UNSIGNED_FLAG, 63), TFieldType::ftWord);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_LONGLONG, 0, 63), TFieldType::ftLargeint);
    for (int t : {MYSQL_TYPE_FLOAT, MYSQL_TYPE_DOUBLE, MYSQL_TYPE_NEWDECIMAL, MYSQL_TYPE_DECIMAL})
        EXPECT_EQ(MySqlFieldKind(t, 0, 63), TFieldType::ftFloat) << t;
    // DATETIME carries BINARY_FLAG and charset 63 but is a date-time.
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_DATETIME, BINARY_FLAG, 63), TFieldType::ftDateTime);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_TIMESTAMP, BINARY_FLAG, 63), TFieldType::ftDateTime);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_DATE, BINARY_FLAG, 63), TFieldType::ftDate);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_TIME, BINARY_FLAG, 63), TFieldType::ftTime);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_BLOB, BINARY_FLAG | BLOB_FLAG, 63), TFieldType::ftBlob);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_BLOB, BLOB_FLAG, 45), TFieldType::ftMemo);
    // A text column with a binary collation is still text.
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_BLOB, BLOB_FLAG | BINARY_FLAG, 46), TFieldType::ftMemo);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_VAR_STRING, 0, 45), TFieldType::ftString);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 63), TFieldType::ftVarBytes);
    EXPECT_EQ(MySqlFieldKind(MYSQL_TYPE_STRING, ENUM_FLAG, 45), TFieldType::ftString);
}

TEST(UnitFunctions, DateTimeToSqlPattern) {
    EXPECT_EQ(u_db::DateTimeToSql(0.0), "'#0000-00-00 00:00:00#'");
    EXPECT_EQ(u_db::DateTimeToSql(45000.75), "'#2023-03-15 18:00:00#'");
    EXPECT_EQ(u_db::DateTimeToSql(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6))), "'#2001-02-03 04:05:06#'");
    EXPECT_EQ(u_db::DateTimeToSql(QDateTime()), "'#0000-00-00 00:00:00#'");
    EXPECT_EQ(u_db::DateTimeToSql(1.0), "'#1899-12-31 00:00:00#'");
}

TEST(UnitFunctions, FloatToSqlShowsSinglePrecisionWithAPointUnderAnyLocale) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    const QLocale oldQt;
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(u_db::FloatToSql(0.1f), "0.100000001490116");
    EXPECT_EQ(u_db::FloatToSql(2.5f), "2.5");
    EXPECT_EQ(u_db::FloatToSql(-1234.5f), "-1234.5");
    EXPECT_EQ(u_db::FloatToSql(100.0f), "100");
    EXPECT_EQ(u_db::FloatToSql(1e20f), "1.00000002004088E20");
    EXPECT_EQ(u_db::FloatToSql(static_cast<float>(0.1)), "0.100000001490116");
    QLocale::setDefault(oldQt);
    std::setlocale(LC_ALL, old.c_str());
    if (!german) GTEST_LOG_(INFO) << "de_DE.UTF-8 is not installed; the C library locale stayed C";
}

TEST(UnitFunctions, ValueToSqlLiterals) {
    u_db::setHostAuthLibraryPath(QStringLiteral("/nonexistent/hostauth.so"));
    u_db::TSQLObject sql;
    EXPECT_EQ(sql.ValueToSql(QVariant()), "NULL");
    EXPECT_EQ(sql.ValueToSql(QString()), "''"); // an empty string is not null
    EXPECT_EQ(sql.ValueToSql(42), "42");
    EXPECT_EQ(sql.ValueToSql(qlonglong(-9000000000)), "-9000000000");
    EXPECT_EQ(sql.ValueToSql(2.5), "2.5");
    EXPECT_EQ(sql.ValueToSql(QStringLiteral("O'Brien \\ \"x\"")), "'O\\'Brien \\\\ \\\"x\\\"'");
    EXPECT_EQ(sql.ValueToSql(QDate(2020, 1, 2)), "'2020-01-02'");
    EXPECT_EQ(sql.ValueToSql(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5))), "'2020-01-02 03:04:05'");
    EXPECT_EQ(sql.ValueToSql(QDateTime()), "NULL");
    EXPECT_EQ(sql.ValueToSql(QByteArray("\x00\xff", 2)), "X'00ff'");
    EXPECT_EQ(sql.ValueToSql(QStringLiteral("€ä")), QStringLiteral("'€ä'"));
}

TEST(HostAuth, WithoutTheLibraryTheFixedDefaultsApply) {
    u_db::setHostAuthLibraryPath(QStringLiteral("/nonexistent/hostauth.so"));
    u_db::TSQLObject sql;
    EXPECT_FALSE(sql.HostAuthLoaded());
    EXPECT_EQ(sql.ConnectionRecord.Host, "localhost");
    EXPECT_EQ(sql.ConnectionRecord.Login, "root");
    EXPECT_EQ(sql.ConnectionRecord.Password, "");
    EXPECT_EQ(sql.ConnectionRecord.Database, "mysql");
    EXPECT_EQ(sql.ConnectionRecord.Port, "3306");
    EXPECT_FALSE(sql.Connected());
    EXPECT_TRUE(sql.RaiseErrors);
    EXPECT_EQ(sql.QuoteOpen, QLatin1Char('`'));
    EXPECT_EQ(sql.QuoteClose, QLatin1Char('`'));
    // The block keeps the library's field order: login, password, host, database, port.
    EXPECT_EQ(sql.Defaults().bytes[0], 4);
    EXPECT_EQ(sql.Defaults().field(u_db::THostAuthBlock::kHost), "localhost");
    sql.SetDatabaseName(QStringLiteral("other"));
    EXPECT_EQ(sql.Defaults().field(u_db::THostAuthBlock::kDatabase), "other");
    EXPECT_EQ(sql.Connection()->Database, "other");
}

TEST(HostAuth, TheLibraryFillsTheDefaults) {
    u_db::setHostAuthLibraryPath(QStringLiteral(TABLOR_TEST_HOSTAUTH));
    u_db::TSQLObject sql;
    u_db::setHostAuthLibraryPath(QString());
    ASSERT_TRUE(sql.HostAuthLoaded()) << "the test library " TABLOR_TEST_HOSTAUTH " did not load";
    EXPECT_EQ(sql.ConnectionRecord.Login, "fixture-user");
    EXPECT_EQ(sql.ConnectionRecord.Password, "fixture-pw");
    EXPECT_EQ(sql.ConnectionRecord.Host, "127.0.0.9");
    EXPECT_EQ(sql.ConnectionRecord.Database, "fixture_db");
    EXPECT_EQ(sql.ConnectionRecord.Port, "3399");
}

TEST(HostAuth, LookedUpBesideTheProgram) {
    u_db::setHostAuthLibraryPath(QString());
    const QString path = u_db::HostAuthLibraryPath();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/bin/hostauth.so"))) << path.toStdString();
}

TEST(HostAuthBlock, FieldsAreLengthPrefixedAndTruncated) {
    u_db::THostAuthBlock b;
    b.setField(u_db::THostAuthBlock::kPort, QStringLiteral("3306"));
    EXPECT_EQ(b.bytes[1024], 4);
    EXPECT_EQ(b.bytes[1025], '3');
    b.setField(u_db::THostAuthBlock::kLogin, QString(300, QLatin1Char('x')));
    EXPECT_EQ(b.bytes[0], 255);
    EXPECT_EQ(b.field(u_db::THostAuthBlock::kLogin).size(), 255);
    EXPECT_EQ(b.bytes[256], 0); // the password field right after is untouched
}

} // namespace
