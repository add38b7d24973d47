// Tests of the Access connection strings: the texts built, and our reading of them.
#include "db/DbError.h"
#include "db/JetConnectionString.h"

#include <gtest/gtest.h>

using namespace tablor;

TEST(JetConnectionString, BuildsTheThreeFormsByPlainConcatenation) {
    EXPECT_EQ(JetOpenConnectionString(QStringLiteral("/data/a.mdb")),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/a.mdb;Persist Security Info=False"));
    EXPECT_EQ(
        JetOpenConnectionStringWithEngine(QStringLiteral("/x.mdb"), QStringLiteral("5")),
        QStringLiteral(
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x.mdb;Jet OLEDB:Engine Type=5;Persist Security Info=False"));
    EXPECT_EQ(JetShortConnectionString(QStringLiteral("/x.mdb"), QStringLiteral("4")),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x.mdb;Jet OLEDB:Engine Type=4"));
    // The path goes in unquoted, semicolon and all.
    EXPECT_EQ(JetOpenConnectionString(QStringLiteral("/a;b.mdb")),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a;b.mdb;Persist Security Info=False"));
}

TEST(JetConnectionString, EngineTypeFromAccessFormat) {
    EXPECT_EQ(JetEngineType(0), QStringLiteral("4"));
    EXPECT_EQ(JetEngineType(1), QStringLiteral("5"));
    EXPECT_EQ(JetEngineType(2), QStringLiteral("5")); // any byte but 0 is Office 2000
    EXPECT_EQ(JetEngineType(255), QStringLiteral("5"));
}

TEST(JetConnectionString, ReadsEveryFormBack) {
    const auto open = JetConnectionString::parse(JetOpenConnectionString(QStringLiteral("/tmp/x y.mdb")));
    EXPECT_EQ(open.Provider, QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    EXPECT_EQ(open.DataSource, QStringLiteral("/tmp/x y.mdb"));
    EXPECT_TRUE(open.EngineType.isEmpty());
    EXPECT_FALSE(open.PersistSecurityInfo);

    const auto withEngine =
        JetConnectionString::parse(JetOpenConnectionStringWithEngine(QStringLiteral("/a.mdb"), QStringLiteral("4")));
    EXPECT_EQ(withEngine.EngineType, QStringLiteral("4"));
    EXPECT_EQ(withEngine.DataSource, QStringLiteral("/a.mdb"));

    const auto shortForm =
        JetConnectionString::parse(JetShortConnectionString(QStringLiteral("/a.mdb"), QStringLiteral("5")));
    EXPECT_EQ(shortForm.EngineType, QStringLiteral("5"));
    EXPECT_EQ(shortForm.DataSource, QStringLiteral("/a.mdb"));

    const auto other = JetConnectionString::parse(
        QStringLiteral("data source=/q.mdb; PROVIDER=microsoft.jet.oledb.4.0;Persist Security Info=True"));
    EXPECT_EQ(other.DataSource, QStringLiteral("/q.mdb"));
    EXPECT_TRUE(other.PersistSecurityInfo);
}

TEST(JetConnectionString, PathWithSemicolonsSurvivesInEveryForm) {
    const QString path = QStringLiteral("/tmp/odd;name;x=1.mdb");
    EXPECT_EQ(JetConnectionString::parse(JetOpenConnectionString(path)).DataSource, path);
    EXPECT_EQ(JetConnectionString::parse(JetOpenConnectionStringWithEngine(path, QStringLiteral("5"))).DataSource,
              path);
    EXPECT_EQ(JetConnectionString::parse(JetShortConnectionString(path, QStringLiteral("4"))).DataSource, path);
    EXPECT_EQ(JetConnectionString::parse(JetShortConnectionString(path, QStringLiteral("4"))).EngineType,
              QStringLiteral("4"));
}

TEST(JetConnectionString, RefusesWhatItCannotOpenWithAReason) {
    try {
        JetConnectionString::parse(QStringLiteral("Provider=SQLOLEDB;Data Source=/a.mdb"));
        FAIL() << "an unknown provider was accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("SQLOLEDB")));
    }
    EXPECT_THROW(JetConnectionString::parse(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0")), EDatabaseError);
    EXPECT_THROW(JetConnectionString::parse(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=")),
                 EDatabaseError);
    EXPECT_THROW(JetConnectionString::parse(JetShortConnectionString(QStringLiteral("/a.mdb"), QStringLiteral("3"))),
                 EDatabaseError);
    EXPECT_THROW(JetConnectionString::parse(
                     QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a.mdb;Persist Security Info=maybe")),
                 EDatabaseError);
    EXPECT_THROW(
        JetConnectionString::parse(QStringLiteral("Bogus;Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a.mdb")),
        EDatabaseError);
}
