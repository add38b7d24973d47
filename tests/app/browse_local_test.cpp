// The main window in local mode on copies of real Access files: opening a profile's file and
// any file with Open, the table list, opening a table, sorting, the record commands written to
// the file, search, and the failures (missing, damaged, read-only files).
#include "app/inputbox.h"
#include "app/u_main.h"
#include "app_fixture.h"
#include "print/u_printselect.h"
#include "profiles/localizedmessages.h"
#include "profiles/profilelist.h"
#include "support/scoped_hook.h"
#include "support/files.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QListWidget>
#include <QToolButton>

namespace tablor::test {
namespace {

const QString Fixtures = tablor::test::sharedTestDataPath("mdb/");

class BrowseLocalTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!QFile::exists(Fixtures + "meza_test.mdb")) GTEST_SKIP() << "the shared Access fixtures are missing";
        storePrefs("Deutsch");
    }
    void writeLocalProfile(const QString& mdbPath) {
        ProfileList list;
        ServerProfile p;
        p.ProfileName = "Lokal";
        p.ServerName = "127.0.0.1";
        p.Port = 1; // nothing listens there
        p.MdbPath = mdbPath;
        list.append(p);
        SaveProfiles(list);
    }
    QStringList tableNames(TfrmMain& w) {
        QStringList names;
        for (int i = 0; i < w.tableList()->count(); ++i) names << w.tableList()->item(i)->text();
        return names;
    }
    static QByteArray hashOf(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
};

TEST_F(BrowseLocalTest, SelectingAProfileOpensItsFileAtOnceAndListsItsTables) {
    const QString path = copyOf("meza_test.mdb");
    writeLocalProfile(path);
    TfrmMain w;
    messages_->answer(mrNo);
    w.serverList()->setCurrentIndex(1);
    w.cboServersChange();
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    EXPECT_FALSE(w.mySqlMode());
    EXPECT_TRUE(w.localConnection().Connected());
    EXPECT_EQ(tableNames(w), QStringList{"merchant_taylors"});
    EXPECT_EQ(w.statusText(), LocalizedMessage(msgDisconnected, 0));
    // The first table is opened by its bare name; record commands on with the connection.
    ASSERT_TRUE(w.localTable()->Active());
    EXPECT_EQ(w.localTable()->TableName(), "merchant_taylors");
    EXPECT_FALSE(w.showsMainDataSource());
    EXPECT_EQ(w.grid()->gridModel()->rowCount(), 20);
    EXPECT_TRUE(child<QToolButton>(w, "tbtNew")->isEnabled());
    // Ticks enable the upload in local mode.
    w.tableList()->item(0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(child<QToolButton>(w, "tbtUpload")->isEnabled());
    EXPECT_FALSE(child<QToolButton>(w, "tbtSave")->isEnabled());
    // Connecting to a server that is not there: its text, the list keeps the local entries.
    w.tbtConnectClick();
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_FALSE(w.mySqlMode());
    EXPECT_EQ(tableNames(w), QStringList{"merchant_taylors"});
    EXPECT_TRUE(w.showsMainDataSource());
    EXPECT_FALSE(w.gridDataSet().Active());
}

TEST_F(BrowseLocalTest, DoubleClickSortAppendEditDeleteAndSearchWriteToTheFile) {
    const QString path = copyOf("meza_test.mdb");
    TfrmMain w;
    w.OpenLocalDb(path);
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    w.tableList()->setCurrentRow(0);
    w.clbTabellenDblClick();
    ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    TADOTable& t = *w.localTable();
    EXPECT_EQ(t.TableName(), "[merchant_taylors]");
    for (int c = 0; c < w.grid()->gridModel()->columnCount(); ++c) EXPECT_LE(w.grid()->columnWidth(c), 70);

    // Sort by Surname in square brackets; the current record stays current.
    t.setRecNo(5);
    const QString current = t.FieldByName("Surname")->AsString();
    w.dbgMainTitleClick(1);
    EXPECT_EQ(t.SortedFields(), "[Surname]");
    EXPECT_EQ(t.FieldByName("Surname")->AsString(), current);
    for (int r = 1; r < t.RecordCount(); ++r)
        EXPECT_LE(QString::compare(t.CellText(r - 1, 1), t.CellText(r, 1), Qt::CaseInsensitive), 0);

    // Append and post.
    w.tbtNewClick();
    EXPECT_TRUE(w.editImageShown());
    t.FieldByName("Id No")->setAsInteger(9001);
    t.FieldByName("Surname")->setAsString("Größmann");
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(w.editImageShown());
    EXPECT_EQ(t.RecordCount(), 21);

    // Search finds the new row (field 0 selected: from field 1 on).
    QString word = "GRÖSS";
    const auto presenter = installed(setInputPresenter, [&](const InputRequest&) { return std::optional(word); });
    w.tbtSearchClick();
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgNoMatch, 0)); // "ö" vs "Ö": no match
    word = "GRö";
    w.tbtSearchClick();
    EXPECT_EQ(t.FieldByName("Surname")->AsString(), "Größmann");
    EXPECT_EQ(w.grid()->SelectedIndex(), 1);

    // Edit and post.
    w.grid()->setSelectedIndex(2);
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsEdit);
    t.FieldByName("Forenames")->setAsString("Jürgen");
    w.tbtEditClick();
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);

    // Another connection sees both in the file.
    {
        TADOConnection other;
        other.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
        other.Open();
        TADOTable check;
        check.setConnection(&other);
        check.setTableName("merchant_taylors");
        check.Open();
        ASSERT_TRUE(check.Locate("Id No", 9001));
        EXPECT_EQ(check.FieldByName("Forenames")->AsString(), "Jürgen");
    }

    // Delete with Yes.
    messages_->answer(mrYes);
    w.tbtDeleteClick();
    EXPECT_EQ(t.RecordCount(), 20);
    EXPECT_FALSE(t.Locate("Id No", 9001));
    EXPECT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
}

TEST_F(BrowseLocalTest, OpenCommandOpensAnyFileAndSelectsThePlaceholder) {
    const QString path = copyOf("psc_mohandas_jpeg_blobs_jet4.mdb");
    writeLocalProfile(copyOf("meza_test.mdb"));
    TfrmMain w;
    w.serverList()->setCurrentIndex(1);
    std::vector<OpenFileRequest> asked;
    const auto presenter = installed(setOpenFilePresenter, [&](const OpenFileRequest& r) {
        asked.push_back(r);
        return std::optional<QString>(path);
    });
    w.tbtOpenClick();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].filters, (QStringList{"Access Datenbank (*.mdb)", "Alle Dateien (*)"}));
    EXPECT_EQ(asked[0].defaultSuffix, "mdb");
    EXPECT_EQ(w.serverList()->currentIndex(), 0);
    EXPECT_EQ(messages_->count(), 0); // no quick-access reaction, no connect question
    EXPECT_EQ(tableNames(w), QStringList{"images"});
    ASSERT_TRUE(w.localTable()->Active());
    // With the preview on, the JPEG pictures are drawn in the grid.
    w.findChild<QAction*>("mnuBild")->trigger();
    TGridModel* m = w.grid()->gridModel();
    const int pictureColumn = w.localTable()->FieldByName("A_Image")->Index();
    const QImage picture = m->data(m->index(0, pictureColumn), TGridModel::PictureRole).value<QImage>();
    EXPECT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 10);
}

TEST_F(BrowseLocalTest, MissingDamagedAndReadOnlyFiles) {
    TfrmMain w;
    // Missing: local mode, nothing open, no message.
    w.OpenLocalDb(programDir() + "gibtesnicht.mdb");
    EXPECT_TRUE(errors_->texts().isEmpty());
    EXPECT_EQ(messages_->count(), 0);
    EXPECT_FALSE(w.localConnection().Connected());
    EXPECT_TRUE(tableNames(w).isEmpty());
    EXPECT_EQ(w.statusText(), LocalizedMessage(msgDisconnected, 0));

    // Damaged: the engine's message in the error display; the list stays empty.
    const QString damaged = programDir() + "kaputt.mdb";
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    w.OpenLocalDb(damaged);
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_FALSE(errors_->texts().front().isEmpty());
    EXPECT_TRUE(tableNames(w).isEmpty());
    EXPECT_FALSE(w.localConnection().Connected());

    // Read-only: browsing works, writing fails silently and the file stays as it was.
    const QString readOnly = copyOf("meza_test.mdb");
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = hashOf(readOnly);
    w.OpenLocalDb(readOnly);
    ASSERT_EQ(errors_->texts().size(), 1) << errors_->texts().join("|").toStdString();
    ASSERT_TRUE(w.localTable()->Active());
    // Append starts a record in memory; its post is refused and the record dropped, silently.
    w.tbtNewClick();
    ASSERT_EQ(w.localTable()->State(), TDataSetState::dsInsert);
    w.localTable()->FieldByName("Id No")->setAsInteger(77);
    w.tbtEditClick();
    EXPECT_EQ(w.localTable()->State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(w.editImageShown());
    EXPECT_EQ(w.localTable()->RecordCount(), 20);
    EXPECT_EQ(errors_->texts().size(), 1);
    EXPECT_EQ(messages_->count(), 0);
    messages_->answer(mrYes);
    w.tbtDeleteClick();
    EXPECT_EQ(hashOf(readOnly), before);
    EXPECT_EQ(w.localTable()->RecordCount(), 20);
}

TEST_F(BrowseLocalTest, AnAccdbFileIsRefusedWithTheEnginesMessage) {
    // An Access 2007 file: the version byte of the header says ACE.
    const QString path = copyOf("meza_test.mdb");
    const QString accdb = programDir() + "neu.accdb";
    QFile::rename(path, accdb);
    {
        QFile f(accdb);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(0x14);
        f.write(QByteArray(1, '\x02'));
    }
    TfrmMain w;
    w.OpenLocalDb(accdb);
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_FALSE(errors_->texts().front().isEmpty());
    EXPECT_TRUE(tableNames(w).isEmpty());
    EXPECT_FALSE(w.localConnection().Connected());
    // The program carries on: a good file opens afterwards.
    w.OpenLocalDb(copyOf("meza_test.mdb"));
    EXPECT_EQ(tableNames(w), QStringList{"merchant_taylors"});
}

TEST_F(BrowseLocalTest, PrintHandsTheGridsDataSetOver) {
    TfrmMain w;
    w.OpenLocalDb(copyOf("meza_test.mdb"));
    // The print column selection opens, one entry per field of the grid's table.
    int entries = -1;
    ModalWatcher watcher;
    watcher.on("tablor::TfrmColSelect", [&](QDialog* d) {
        entries = static_cast<TfrmColSelect*>(d)->clbSpalten->count();
        d->reject();
    });
    w.tbtPrintClick();
    EXPECT_EQ(entries, w.localTable()->FieldCount());
    TDataSet* handed = nullptr;
    setPrintRoutine([&](TDataSet* ds) { handed = ds; });
    w.tbtPrintClick();
    setPrintRoutine({});
    EXPECT_EQ(handed, w.localTable());
    EXPECT_EQ(messages_->count(), 0);
}

} // namespace
} // namespace tablor::test
