// Tests of the Access helper object TSQLObject (u_dbaccess) on copies of real files.
#include "AccessTestSupport.h"

#include "db/DbError.h"
#include "db/u_dbaccess.h"
#include "support/scoped_hook.h"

#include <QFile>
#include <QTemporaryDir>

#include "db/JetConnectionString.h"

#include <gtest/gtest.h>

using tablor::test::FixtureCopy;
using tablor::test::ScopeExit;
using u_dbaccess::TSQLObject;

namespace {
const QString kNorthwind = QStringLiteral("northwind_jet4_statdata.mdb");
}

TEST(AccessHelper, StartsDisconnectedWithItsDefaults) {
    TSQLObject h;
    EXPECT_FALSE(h.Connected());
    EXPECT_EQ(h.QuoteOpen, QLatin1Char('['));
    EXPECT_EQ(h.QuoteClose, QLatin1Char(']'));
    EXPECT_FALSE(h.ShowErrors);
    EXPECT_EQ(h.LastInsertId, 0);
    EXPECT_TRUE(h.DatabasePath.endsWith(QStringLiteral(".mdb")));
    EXPECT_EQ(h.ResultSet(), h.ResultQuery());
}

TEST(AccessHelper, ConnectReportsFailureAndFillsTheTableList) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    TSQLObject h;
    QStringList errors;
    h.OnError = [&](const QString& t) { errors << t; };
    h.SetDatabasePath(QStringLiteral("/nonexistent/dir/x.mdb"));
    EXPECT_EQ(h.Connect(), -1);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Verbindung Fehlgeschlagen: ")));
    EXPECT_EQ(errors[0], QStringLiteral("Verbindung Fehlgeschlagen: ") + h.LastError);
    EXPECT_FALSE(h.LastError.isEmpty());
    EXPECT_TRUE(h.TableList.isEmpty());
    EXPECT_FALSE(h.Connected());

    FixtureCopy copy(kNorthwind);
    h.SetDatabasePath(copy.path());
    EXPECT_EQ(h.Connect(), 0);
    EXPECT_TRUE(h.Connected());
    EXPECT_TRUE(h.LastError.isEmpty()); // cleared by Connect
    EXPECT_TRUE(h.TableList.contains(QStringLiteral("Customers")));
    EXPECT_FALSE(h.TableList.contains(QStringLiteral("MSysObjects")));
}

TEST(AccessHelper, DisconnectsOnPathChangeAndSwitchConnection) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    TSQLObject h;
    int disconnects = 0;
    h.OnDisconnect = [&](TSQLObject* s) {
        EXPECT_EQ(s, &h);
        ++disconnects;
    };
    h.SetDatabasePath(copy.path());
    ASSERT_EQ(h.Connect(), 0);
    h.SwitchConnection(false);
    EXPECT_FALSE(h.Connected());
    EXPECT_EQ(disconnects, 1);
    h.SwitchConnection(true); // the connection string is still set
    EXPECT_TRUE(h.Connected());
    h.SetDatabasePath(copy.path());
    EXPECT_FALSE(h.Connected());
    EXPECT_EQ(disconnects, 2);
}

TEST(AccessHelper, ExecuteOpensSelectsAndRunsOtherStatementsWithIdentity) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    TSQLObject h;
    h.SetDatabasePath(copy.path());
    // Execute connects on demand.
    h.Execute(QStringLiteral("SELECT * FROM [Shippers]"));
    EXPECT_TRUE(h.Connected());
    EXPECT_TRUE(h.LastError.isEmpty()) << h.LastError.toStdString();
    EXPECT_EQ(h.RowCount, 3);
    EXPECT_EQ(h.ResultSet()->FieldByName(QStringLiteral("CompanyName"))->AsString(), QStringLiteral("Speedy Express"));
    EXPECT_EQ(h.LastSQL, QStringLiteral("SELECT * FROM [Shippers]"));

    h.Execute(QStringLiteral("select count(*) from [Customers]")); // any letter case
    EXPECT_EQ(h.RowCount, 1);
    EXPECT_EQ(h.ResultSet()->Fields(0)->AsInteger(), 91);

    h.Execute(QStringLiteral("INSERT INTO [Shippers] ([CompanyName]) VALUES ('Bahn')"));
    EXPECT_TRUE(h.LastError.isEmpty()) << h.LastError.toStdString();
    EXPECT_EQ(h.RowCount, 1);
    EXPECT_EQ(h.LastInsertId, 4);
    h.Execute(QStringLiteral("SELECT * FROM [Shippers] WHERE ShipperID = 4"));
    EXPECT_EQ(h.RowCount, 1);
    EXPECT_EQ(h.ResultSet()->FieldByName(QStringLiteral("CompanyName"))->AsString(), QStringLiteral("Bahn"));

    h.Execute(QStringLiteral("UPDATE [Customers] SET [Region] = 'X' WHERE [Country] = 'Germany'"));
    EXPECT_EQ(h.RowCount, 11);
}

TEST(AccessHelper, SelectAfterLeadingBlanksIsExecutedNotOpened) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    TSQLObject h;
    h.SetDatabasePath(copy.path());
    h.Execute(QStringLiteral("  SELECT * FROM [Shippers]"));
    EXPECT_EQ(h.LastSQL, QStringLiteral("  SELECT * FROM [Shippers]")); // untrimmed
    EXPECT_EQ(h.RowCount, 0);                                           // executed: no rows counted
    // The result set now holds "SELECT @@identity", not the shippers.
    ASSERT_TRUE(h.ResultSet()->Active());
    EXPECT_EQ(h.ResultSet()->FieldCount(), 1);
    EXPECT_EQ(h.ResultSet()->RecordCount(), 1);
}

TEST(AccessHelper, LastErrorStaysUntilTheNextConnectAndShowErrorsUsesTheHook) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    QStringList shown;
    u_dbaccess::setShowErrorHook(
        [&](const QString& title, const QString& text) { shown << title + QStringLiteral("|") + text; });
    const ScopeExit unhook([] { u_dbaccess::setShowErrorHook(nullptr); });
    TSQLObject h;
    QStringList errors;
    h.OnError = [&](const QString& t) { errors << t; };
    h.SetDatabasePath(copy.path());
    ASSERT_EQ(h.Connect(), 0);

    h.Execute(QStringLiteral("SELECT * FROM [NoSuchTable]"));
    const QString first = h.LastError;
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(errors, QStringList{first});
    EXPECT_TRUE(shown.isEmpty()); // ShowErrors is off
    EXPECT_EQ(h.RowCount, 0);

    h.Execute(QStringLiteral("SELECT * FROM [Shippers]"));
    EXPECT_EQ(h.LastError, first); // kept through a success
    EXPECT_EQ(h.RowCount, 3);

    h.ShowErrors = true;
    h.Execute(QStringLiteral("DELETE FROM [Gone]"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("SQL Fehler|")));
    EXPECT_NE(h.LastError, first);

    ASSERT_EQ(h.Connect(), 0);
    EXPECT_TRUE(h.LastError.isEmpty());
}

TEST(AccessHelper, ExecuteOnAFileThatCannotOpenStopsAfterConnect) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    QTemporaryDir dir;
    const QString junk = dir.filePath(QStringLiteral("junk.mdb"));
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096 * 3, '\x01'));
    }
    TSQLObject h;
    QStringList errors;
    h.OnError = [&](const QString& t) { errors << t; };
    h.SetDatabasePath(junk);
    h.Execute(QStringLiteral("SELECT * FROM [x]"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Verbindung Fehlgeschlagen: ")));
    EXPECT_TRUE(h.LastSQL.isEmpty()); // stopped before storing the statement
}

TEST(AccessHelper, SelectIntoAnotherFileThatAConnectionHoldsOpen) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy source(kNorthwind);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("ziel.mdb"));
    ASSERT_TRUE(tablor::CreateLocalDatabase(target, true, QString(), nullptr, nullptr, nullptr));
    // The target is open in the window at the same time (cnLocal).
    tablor::TADOConnection cnLocal;
    cnLocal.ConnectionString = tablor::JetOpenConnectionString(target);
    cnLocal.Open();

    TSQLObject h;
    h.SetDatabasePath(source.path());
    h.Execute(QStringLiteral("SELECT * INTO [Versender] IN '%1' FROM [Shippers]").arg(target));
    EXPECT_TRUE(h.LastError.isEmpty()) << h.LastError.toStdString();
    EXPECT_EQ(h.RowCount, 3);

    EXPECT_EQ(cnLocal.TableNames(), QStringList{QStringLiteral("Versender")});
    tablor::TADOTable t;
    t.setConnection(&cnLocal);
    t.setTableName(QStringLiteral("Versender"));
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
}
