// The field editors on a MySQL table of the sandbox: the same scenarios as on the Access
// table, with a photo Access wrapped copied onto the server, opened by the main window's
// double-click. Skips without the sandbox variables.
#include "../app/app_fixture.h"
#include "app/u_main.h"
#include "codecs/imagecodecs.h"
#include "db/ServerLogin.h"
#include "editor_scenarios.h"
#include "jet/jet.h"
#include "profiles/profilelist.h"
#include "support/files.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

namespace tablor::test {
namespace {

QString hex(const QByteArray& bytes) { return QStringLiteral("X'") + QString::fromLatin1(bytes.toHex()) + u'\''; }

class EditorsMySqlTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        host_ = qEnvironmentVariable("TABLOR_TEST_MYSQL_HOST");
        port_ = qEnvironmentVariable("TABLOR_TEST_MYSQL_PORT");
        user_ = qEnvironmentVariable("TABLOR_TEST_MYSQL_USER");
        password_ = qEnvironmentVariable("TABLOR_TEST_MYSQL_PASSWORD");
        if (host_.isEmpty() || port_.isEmpty() || user_.isEmpty())
            GTEST_SKIP() << "no MariaDB: start one with scripts/mariadb-sandbox start && source "
                            "build/mariadb-sandbox/env";
        const QString northwind = tablor::test::sharedTestDataPath("mdb/northwind_jet4_statdata.mdb");
        if (!QFile::exists(northwind)) GTEST_SKIP() << "the shared Access fixtures are missing";
        storePrefs("Deutsch");
        dbName_ = QStringLiteral("editors_%1").arg(QCoreApplication::applicationPid());
        setServerLogin(admin_, {.host = host_, .port = port_, .user = user_, .password = password_});
        admin_.Connect();
        admin_.ExecuteDirect("DROP DATABASE IF EXISTS `" + dbName_ + "`");
        admin_.ExecuteDirect("CREATE DATABASE `" + dbName_ + "` CHARACTER SET utf8mb4");
        admin_.ExecuteDirect("USE `" + dbName_ + "`");
        admin_.ExecuteDirect("CREATE TABLE bilder (id INT PRIMARY KEY, notiz TEXT, bild LONGBLOB)");
        // The first photo of the Access-made Northwind, with Access's OLE wrapper.
        const jet::Database db = jet::Database::open(northwind.toStdString());
        auto employees = db.scan("Employees");
        ASSERT_TRUE(employees.next());
        const int column = employees.table().findColumn("Photo");
        const jet::Bytes& photo = employees.values()[static_cast<std::size_t>(column)].asBinary();
        DecodedPicture p{20, 10, std::vector<std::uint32_t>(200, 0xFF40C020u)};
        const std::vector<std::uint8_t> jpeg = encodeJpeg(p, 80);
        admin_.ExecuteDirect("INSERT INTO bilder VALUES (1, 'Erste Zeile\\r\\nzweite Zeile', " + hex(scenarioGif()) +
                             "), (2, NULL, " + hex(scenarioZip()) + "), (3, 'Foto', " +
                             hex(QByteArray(reinterpret_cast<const char*>(photo.data()), qsizetype(photo.size()))) +
                             "), (4, 'JPEG', " +
                             hex(QByteArray(reinterpret_cast<const char*>(jpeg.data()), qsizetype(jpeg.size()))) + ")");
        ProfileList list;
        ServerProfile profile;
        profile.ProfileName = "Testserver";
        profile.ServerName = host_;
        profile.Port = port_.toInt();
        profile.DbName = dbName_;
        profile.UserName = user_;
        profile.Password = password_;
        profile.MdbPath = programDir() + "fehlt.mdb";
        list.append(profile);
        SaveProfiles(list);
    }
    void TearDown() override {
        if (admin_.Connected()) {
            admin_.ExecuteDirect("DROP DATABASE IF EXISTS `" + dbName_ + "`");
            admin_.Disconnect();
        }
        AppTest::TearDown();
    }
    void connectAndOpen(TfrmMain& w) {
        messages_->answer(mrYes);
        w.serverList()->setCurrentIndex(1);
        w.cboServersChange();
        ASSERT_TRUE(w.mySqlMode()) << errors_->texts().join("|").toStdString();
        const auto found = w.tableList()->findItems("bilder", Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        w.tableList()->setCurrentItem(found.first());
        found.first()->setSelected(true);
        w.clbTabellenDblClick();
        ASSERT_TRUE(w.gridDataSet().Active()) << errors_->texts().join("|").toStdString();
    }

    QString host_, port_, user_, password_, dbName_;
    TZMySqlDatabase admin_;
};

TEST_F(EditorsMySqlTest, ViewerAndMemoEditorOnAServerTable) {
    TfrmMain w;
    connectAndOpen(w);
    TZMySqlTable& t = w.gridDataSet();
    const auto reopen = [&] {
        t.Close();
        t.Open();
    };
    runViewerScenario(t, t.FieldByName("bild")->Index(), reopen);
    runMemoScenario(t, t.FieldByName("notiz")->Index(), reopen);
    EXPECT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
}

TEST_F(EditorsMySqlTest, DoubleClickOpensTheViewerOnTheGridsRecord) {
    TfrmMain w;
    connectAndOpen(w);
    TZMySqlTable& t = w.gridDataSet();
    ModalWatcher watcher;
    bool placeholder = false;
    watcher.on("tablor::TfrmBildedit", [&](QDialog* d) {
        placeholder = d->findChild<QPushButton*>(QStringLiteral("btnChange"))->isEnabled() == false;
        d->reject();
    });
    t.setRecNo(2); // the ZIP
    w.grid()->setSelectedIndex(t.FieldByName("bild")->Index());
    w.dbgMainDblClick();
    EXPECT_EQ(watcher.count("tablor::TfrmBildedit"), 1);
    EXPECT_TRUE(placeholder);
}

} // namespace
} // namespace tablor::test
