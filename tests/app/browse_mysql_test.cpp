// The main window against a real MariaDB: selecting a profile, connecting, the table list,
// opening a table, sorting, the record commands, search and find next, disconnecting, and
// the failure reactions of connecting and opening. Skips without the sandbox variables.
#include "app/inputbox.h"
#include "app/u_main.h"
#include "app_fixture.h"
#include "db/ServerLogin.h"
#include "profiles/localizedmessages.h"
#include "profiles/profilelist.h"
#include "support/scoped_hook.h"
#include "support/shell.h"

#include "jet/database.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QToolButton>

#include <mysql.h>

#include <cstdio>

namespace tablor::test {
namespace {

struct Server {
    QString host, port, user, password;
    bool present = false;
    static Server fromEnv() {
        Server s;
        s.host = qEnvironmentVariable("TABLOR_TEST_MYSQL_HOST");
        s.port = qEnvironmentVariable("TABLOR_TEST_MYSQL_PORT");
        s.user = qEnvironmentVariable("TABLOR_TEST_MYSQL_USER");
        s.password = qEnvironmentVariable("TABLOR_TEST_MYSQL_PASSWORD");
        s.present = !s.host.isEmpty() && !s.port.isEmpty() && !s.user.isEmpty();
        return s;
    }
};

class BrowseMySqlTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        server_ = Server::fromEnv();
        if (!server_.present)
            GTEST_SKIP() << "no MariaDB: start one with scripts/mariadb-sandbox start && source "
                            "build/mariadb-sandbox/env";
        dbName_ = QStringLiteral("browse_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter_);
        setServerLogin(
            admin_, {.host = server_.host, .port = server_.port, .user = server_.user, .password = server_.password});
        admin_.Connect();
        admin_.ExecuteDirect("DROP DATABASE IF EXISTS `" + dbName_ + "`");
        admin_.ExecuteDirect("CREATE DATABASE `" + dbName_ + "` CHARACTER SET utf8mb4");
        admin_.ExecuteDirect("USE `" + dbName_ + "`");
        admin_.ExecuteDirect(
            "CREATE TABLE kunden (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(40), ort VARCHAR(40), "
            "betrag DECIMAL(10,2), notiz TEXT)");
        admin_.ExecuteDirect("INSERT INTO kunden (name, ort, betrag, notiz) VALUES "
                             "('Müller', 'Köln', 12.50, 'Stammkunde'), ('Schmidt', 'BONN', 3.00, NULL), "
                             "('Anna', 'Berlin', 99.99, 'zahlt bar'), ('Bernd', 'Anklam', 0.10, 'Notiz zu anna')");
        admin_.ExecuteDirect("CREATE TABLE `mit blank` (x INT)");
        admin_.ExecuteDirect("CREATE TABLE artikel (nr INT PRIMARY KEY, bezeichnung VARCHAR(200))");
        admin_.ExecuteDirect("INSERT INTO artikel VALUES (1, 'Schraube'), (2, 'Mutter')");
    }
    void TearDown() override {
        if (admin_.Connected()) {
            admin_.ExecuteDirect("DROP DATABASE IF EXISTS `" + dbName_ + "`");
            admin_.Disconnect();
        }
        AppTest::TearDown();
    }

    void writeServerProfile(const QString& password, const QString& mdbPath = QString(),
                            std::uint8_t accessFormat = 0) {
        ProfileList list;
        ServerProfile p;
        p.ProfileName = "Testserver";
        p.ServerName = server_.host;
        p.Port = server_.port.toInt();
        p.DbName = dbName_;
        p.UserName = server_.user;
        p.Password = password;
        p.MdbPath = mdbPath.isEmpty() ? programDir() + "fehlt.mdb" : mdbPath;
        p.AccessFormat = accessFormat;
        list.append(p);
        SaveProfiles(list);
    }

    // Selects the profile in the quick-access list and answers the connect question.
    void selectProfile(TfrmMain& w, int answer) {
        messages_->answer(answer);
        w.serverList()->setCurrentIndex(1);
        w.cboServersChange();
    }

    QStringList tableNames(TfrmMain& w) {
        QStringList names;
        for (int i = 0; i < w.tableList()->count(); ++i) names << w.tableList()->item(i)->text();
        return names;
    }

    void openTable(TfrmMain& w, const QString& name) {
        const auto found = w.tableList()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        w.tableList()->setCurrentItem(found.front());
        w.clbTabellenDblClick();
    }

    QString scalar(const QString& sql) {
        TZMySqlQuery q;
        q.Database = &admin_;
        q.SQL = QStringList{sql};
        q.Open();
        return q.IsEmpty() ? QStringLiteral("<none>") : q.CellText(0, 0);
    }

    static inline int counter_ = 0;
    Server server_;
    QString dbName_;
    TZMySqlDatabase admin_;
};

TEST_F(BrowseMySqlTest, SelectingAProfileAndAnsweringYesConnectsListsTablesAndShowsTheFirst) {
    storePrefs("Deutsch");
    writeServerProfile(server_.password);
    TfrmMain w;
    EXPECT_FALSE(child<QToolButton>(w, "tbtNew")->isEnabled());
    selectProfile(w, mrYes);
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    ASSERT_GE(messages_->count(), 1);
    EXPECT_EQ(messages_->requests().front().text, LocalizedMessage(msgConnectNow, 0));
    EXPECT_TRUE(w.mySqlMode());
    EXPECT_TRUE(w.connectedImageShown());
    // "Verbunden." was replaced by the fetch progress of the first table.
    EXPECT_EQ(w.statusText(), "Lade Daten:100");
    EXPECT_EQ(tableNames(w), (QStringList{"artikel", "kunden", "mit blank"}));
    for (const char* name : {"tbtDelete", "tbtEdit", "tbtNew", "tbtSearch", "tbtPrint"})
        EXPECT_TRUE(child<QToolButton>(w, name)->isEnabled()) << name;
    EXPECT_FALSE(child<QToolButton>(w, "tbtSave")->isEnabled());
    // The first table is in the grid, its columns at most 70 pixels wide.
    EXPECT_TRUE(w.showsMainDataSource());
    ASSERT_TRUE(w.gridDataSet().Active());
    EXPECT_EQ(w.gridDataSet().TableName(), "artikel");
    EXPECT_EQ(w.grid()->gridModel()->rowCount(), 2);
    for (int c = 0; c < w.grid()->gridModel()->columnCount(); ++c) EXPECT_LE(w.grid()->columnWidth(c), 70);

    // Ticking a table enables the download; untick disables it; select all changes ticks only.
    w.tableList()->item(1)->setCheckState(Qt::Checked);
    EXPECT_TRUE(child<QToolButton>(w, "tbtSave")->isEnabled());
    EXPECT_FALSE(child<QToolButton>(w, "tbtUpload")->isEnabled());
    w.tableList()->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(child<QToolButton>(w, "tbtSave")->isEnabled());
    w.mnuSelAllClick();
    EXPECT_EQ(w.tableList()->item(2)->checkState(), Qt::Checked);
    EXPECT_FALSE(child<QToolButton>(w, "tbtSave")->isEnabled());
    w.mnuSelRevClick();
    EXPECT_EQ(w.tableList()->item(0)->checkState(), Qt::Unchecked);

    // Disconnect: local mode, record commands off, the profile's (missing) file: empty list.
    w.tbtConnectClick();
    EXPECT_FALSE(w.mySqlMode());
    EXPECT_FALSE(w.connectedImageShown());
    EXPECT_EQ(w.statusText(), LocalizedMessage(msgDisconnected, 0));
    EXPECT_FALSE(child<QToolButton>(w, "tbtNew")->isEnabled());
    EXPECT_TRUE(tableNames(w).isEmpty());
    EXPECT_FALSE(w.showsMainDataSource());
    EXPECT_TRUE(errors_->texts().isEmpty());
}

TEST_F(BrowseMySqlTest, OpenSortAppendEditPostDeleteOnTheServer) {
    storePrefs("Deutsch");
    writeServerProfile(server_.password);
    TfrmMain w;
    selectProfile(w, mrYes);
    ASSERT_TRUE(w.mySqlMode());
    openTable(w, "kunden");
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    TZMySqlTable& t = w.gridDataSet();
    ASSERT_EQ(t.TableName(), "kunden");
    ASSERT_EQ(t.RecordCount(), 4);

    // Title click on "name": ascending, twice the same; the current record stays current.
    t.setRecNo(2); // Schmidt
    w.dbgMainTitleClick(1);
    EXPECT_EQ(t.SortedFields(), "`name`");
    EXPECT_EQ(t.FieldByName("name")->AsString(), "Schmidt");
    QStringList order;
    for (int r = 0; r < t.RecordCount(); ++r) order << t.CellText(r, 1);
    EXPECT_EQ(order, (QStringList{"Anna", "Bernd", "Müller", "Schmidt"}));
    w.dbgMainTitleClick(1);
    EXPECT_EQ(t.CellText(0, 1), "Anna");

    // Append: editing image, then a typed row posted by tbtEdit reaches the server.
    w.tbtNewClick();
    EXPECT_EQ(t.State(), TDataSetState::dsInsert);
    EXPECT_TRUE(w.editImageShown());
    t.FieldByName("name")->setAsString("Zoë");
    t.FieldByName("ort")->setAsString("Düsseldorf");
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(w.editImageShown());
    EXPECT_EQ(scalar("SELECT ort FROM kunden WHERE name='Zoë'"), "Düsseldorf");

    // Edit through the grid's cell: tbtEdit starts editing, the typed text is posted.
    t.setRecNo(1); // Anna
    w.grid()->setSelectedIndex(2);
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsEdit);
    EXPECT_TRUE(w.editImageShown());
    TGridModel* m = w.grid()->gridModel();
    ASSERT_TRUE(m->setData(m->index(0, 2), "Potsdam"));
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(scalar("SELECT ort FROM kunden WHERE name='Anna'"), "Potsdam");

    // A post the server refuses: the edit is cancelled silently.
    t.Edit();
    t.FieldByName("betrag")->setAsString("123456789012"); // out of range for DECIMAL(10,2)
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(w.editImageShown());
    EXPECT_TRUE(errors_->texts().isEmpty());

    // Delete asks; No keeps the row, Yes deletes it on the server.
    const int before = t.RecordCount();
    messages_->clear();
    messages_->answer(mrNo);
    w.tbtDeleteClick();
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgDeleteRecord, 0));
    EXPECT_EQ(messages_->last().type, mtInformation);
    EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbYes | mbNo));
    EXPECT_EQ(t.RecordCount(), before);
    messages_->answer(mrYes);
    const QString gone = t.FieldByName("name")->AsString();
    w.tbtDeleteClick();
    EXPECT_EQ(t.RecordCount(), before - 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM kunden WHERE name='" + gone + "'"), "0");
}

TEST_F(BrowseMySqlTest, SearchAndFindNextWithTheInputBoxAndTheMessages) {
    storePrefs("English");
    writeServerProfile(server_.password);
    TfrmMain w;
    selectProfile(w, mrYes);
    openTable(w, "kunden");
    TZMySqlTable& t = w.gridDataSet();
    // The search reads the server's bytes directly where they are the text the grid shows.
    for (int r = 0; r < t.RecordCount(); ++r)
        for (int c = 0; c < t.FieldCount(); ++c) {
            const char* bytes = nullptr;
            qsizetype size = 0;
            ASSERT_TRUE(t.CellUtf8(r, c, bytes, size));
            EXPECT_EQ(bytes ? QString::fromUtf8(bytes, size) : QString(), t.CellText(r, c));
        }
    std::vector<InputRequest> asked;
    std::optional<QString> reply = QString("ANNA");
    const auto presenter = installed(setInputPresenter, [&](const InputRequest& r) {
        asked.push_back(r);
        return reply;
    });
    LastSearchWord = "vorher";
    w.tbtSearchClick();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "Find");
    EXPECT_EQ(asked[0].prompt, "Find what:");
    EXPECT_EQ(asked[0].initial, "vorher");
    EXPECT_EQ(LastSearchWord, "ANNA");
    // Field 0 selected: record 1 from field 1 on, "Anna" in field 1.
    EXPECT_EQ(t.RecNo(), 3);
    EXPECT_EQ(w.grid()->SelectedIndex(), 1);
    // Find next: the same record after field 1 ("Notiz zu anna" is in record 4).
    messages_->clear();
    w.mnuWeitersuchenClick();
    EXPECT_EQ(t.RecNo(), 4);
    EXPECT_EQ(w.grid()->SelectedIndex(), 4);
    w.mnuWeitersuchenClick();
    // Nothing further: position and field restored, "Search complete.".
    EXPECT_EQ(t.RecNo(), 4);
    EXPECT_EQ(w.grid()->SelectedIndex(), 4);
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgNoFurtherMatch, 1));
    EXPECT_EQ(messages_->last().type, mtInformation);
    // Cancel keeps the word; a word found nowhere says "Search finished without result.".
    reply.reset();
    w.tbtSearchClick();
    EXPECT_EQ(LastSearchWord, "ANNA");
    reply = QString("gibt es nicht");
    w.tbtSearchClick();
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgNoMatch, 1));
    EXPECT_EQ(t.RecNo(), 4);
}

TEST_F(BrowseMySqlTest, WrongPasswordShowsTheServersTextAndStaysLocal) {
    storePrefs("Deutsch");
    writeServerProfile("falsch");
    TfrmMain w;
    selectProfile(w, mrYes);
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_TRUE(errors_->texts().front().contains("Access denied")) << errors_->texts().front().toStdString();
    EXPECT_FALSE(w.mySqlMode());
    EXPECT_FALSE(w.connectedImageShown());
    EXPECT_FALSE(child<QToolButton>(w, "tbtNew")->isEnabled());
    EXPECT_TRUE(tableNames(w).isEmpty());
}

TEST_F(BrowseMySqlTest, ATableThatCannotBeOpenedReachesTheErrorDisplay) {
    storePrefs("Deutsch");
    writeServerProfile(server_.password);
    TfrmMain w;
    selectProfile(w, mrYes);
    ASSERT_TRUE(w.mySqlMode());
    admin_.ExecuteDirect("DROP TABLE kunden");
    openTable(w, "kunden");
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_TRUE(errors_->texts().front().contains("kunden")) << errors_->texts().front().toStdString();
    EXPECT_FALSE(w.gridDataSet().Active());
    // The program carries on: another table opens, also one whose name has a blank (the layer
    // quotes every table name).
    openTable(w, "artikel");
    EXPECT_TRUE(w.gridDataSet().Active());
    openTable(w, "mit blank");
    EXPECT_TRUE(w.gridDataSet().Active());
    EXPECT_EQ(w.grid()->gridModel()->columnCount(), 1);
    EXPECT_EQ(errors_->texts().size(), 1);
}

TEST_F(BrowseMySqlTest, SelectingTheProfileWhileConnectedReconnectsAfterTheQuestion) {
    storePrefs("Deutsch");
    writeServerProfile(server_.password);
    TfrmMain w;
    selectProfile(w, mrYes);
    ASSERT_TRUE(w.mySqlMode());
    // The placeholder only disables connect; the connection stays.
    w.serverList()->setCurrentIndex(0);
    w.cboServersChange();
    EXPECT_TRUE(w.mySqlMode());
    EXPECT_FALSE(child<QToolButton>(w, "tbtConnect")->isEnabled());
    // Selecting the profile again disconnects, then asks; No leaves local mode.
    messages_->clear();
    selectProfile(w, mrNo);
    EXPECT_FALSE(w.mySqlMode());
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgConnectNow, 0));
    EXPECT_EQ(w.statusText(), LocalizedMessage(msgDisconnected, 0));
}

TEST_F(BrowseMySqlTest, SpeichernCopiesTheTickedTablesIntoANewAccessFileAndBereitstellenBack) {
    storePrefs("Deutsch");
    const QString mdb = programDir() + "lokal.mdb";
    writeServerProfile(server_.password, mdb, 1); // Office 2000
    TfrmMain w;
    selectProfile(w, mrYes);
    ASSERT_TRUE(w.mySqlMode());
    for (const QString name : {"kunden", "mit blank"})
        w.tableList()->findItems(name, Qt::MatchExactly).front()->setCheckState(Qt::Checked);
    ASSERT_TRUE(child<QToolButton>(w, "tbtSave")->isEnabled());
    const int before = messages_->count();
    child<QToolButton>(w, "tbtSave")->click();
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();

    // "mit blank" has no key and Overwrite is off: said, as the upload says it.
    ASSERT_EQ(messages_->count(), before + 1);
    const MessageRequest& said = messages_->requests().back();
    EXPECT_TRUE(said.text.startsWith(w.mainWindowText(msgNoPrimaryKey) + "\r> mit blank")) << said.text.toStdString();
    EXPECT_EQ(said.helpContext, 600);
    // The file was made and holds the rows; the grid shows its table again.
    ASSERT_TRUE(QFileInfo::exists(mdb));
    EXPECT_TRUE(w.gridDataSet().Active());
    const std::string check = runCommand(std::string(TABLOR_BINARY_DIR) + "/bin/tablor-mdb export " +
                                         shellQuote(mdb.toStdString()) + " kunden");
    EXPECT_EQ(check, "id,name,ort,betrag,notiz\n"
                     "1,\"Müller\",\"Köln\",12.50,\"Stammkunde\"\n"
                     "2,\"Schmidt\",\"BONN\",3.00,\n"
                     "3,\"Anna\",\"Berlin\",99.99,\"zahlt bar\"\n"
                     "4,\"Bernd\",\"Anklam\",0.10,\"Notiz zu anna\"\n");

    // Again, now that the window holds the file open in local mode too: one writer, rows
    // matched by key, nothing to say.
    selectProfile(w, mrYes);
    ASSERT_TRUE(w.mySqlMode());
    ASSERT_TRUE(w.localConnection().Connected());
    w.tableList()->findItems("kunden", Qt::MatchExactly).front()->setCheckState(Qt::Checked);
    const int again = messages_->count();
    child<QToolButton>(w, "tbtSave")->click();
    EXPECT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    EXPECT_EQ(messages_->count(), again);

    // Bereitstellen: in local mode the rows go back onto the server, matched by key.
    admin_.ExecuteDirect("UPDATE kunden SET ort = 'anders'");
    admin_.ExecuteDirect("DELETE FROM kunden WHERE id > 2");
    w.tbtConnectClick(); // disconnects: local mode
    ASSERT_FALSE(w.mySqlMode());
    w.tableList()->findItems("kunden", Qt::MatchExactly).front()->setCheckState(Qt::Checked);
    ASSERT_TRUE(child<QToolButton>(w, "tbtUpload")->isEnabled());
    child<QToolButton>(w, "tbtUpload")->click();
    EXPECT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    EXPECT_EQ(messages_->count(), again);
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(id, ort, IFNULL(notiz, '-') ORDER BY id) FROM kunden"),
              "1KölnStammkunde,2BONN-,3Berlinzahlt bar,4AnklamNotiz zu anna");
}

TEST_F(BrowseMySqlTest, EscapeStopsTheDownloadAfterTheBatchInHandAndSaysHowFarItGot) {
    storePrefs("English");
    const QString mdb = programDir() + "lokal.mdb";
    writeServerProfile(server_.password, mdb, 1);
    admin_.ExecuteDirect("CREATE TABLE viele (id INT PRIMARY KEY, t VARCHAR(40)) SELECT seq AS id, "
                         "CONCAT('row ', seq) AS t FROM seq_1_to_400000");
    TfrmMain w;
    selectProfile(w, mrYes);
    ASSERT_TRUE(w.mySqlMode());
    w.tableList()->findItems("viele", Qt::MatchExactly).front()->setCheckState(Qt::Checked);
    const int before = messages_->count();
    // Waits for the copy's first look at the window's events; a click elsewhere is held back.
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(child<QToolButton>(w, "tbtConnect"),
                                    new QMouseEvent(t, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                                                    t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    Qt::NoModifier));
    QCoreApplication::postEvent(&w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    child<QToolButton>(w, "tbtSave")->click();
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    ASSERT_EQ(messages_->count(), before + 1);
    const QString said = messages_->requests().back().text;
    EXPECT_TRUE(said.startsWith("Cancelled after ")) << said.toStdString();
    EXPECT_TRUE(w.mySqlMode());
    EXPECT_EQ(w.findChild<QToolButton*>("sbCancel"), nullptr);
    EXPECT_TRUE(said.contains("of 400000 rows")) << said.toStdString();
    // The table was made by this copy, so it is gone again.
    EXPECT_FALSE(jet::Database::open(mdb.toStdString()).hasTable("viele"));
}

} // namespace
} // namespace tablor::test
