// The field editors on Access tables: the scenarios on a copy of the Access-made Northwind
// (Jet 4), the main window's double-click and edit command opening them, every Northwind photo
// (Jet 3 and Jet 4) shown through Access's OLE wrapper, and a memo that cannot be read.
#include "../app/app_fixture.h"
#include "support/memdataset.h"
#include "app/u_main.h"
#include "editor_scenarios.h"
#include "editors/u_imageedit.h"
#include "editors/u_memoedit.h"
#include "support/files.h"
#include "support/scoped_hook.h"
#include "codecs/imagecodecs.h"
#include "db/ADODB.h"
#include "db/DbError.h"
#include "db/JetConnectionString.h"

#include <QTemporaryDir>

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tablor::test {
namespace {

const QString Fixtures = tablor::test::sharedTestDataPath("mdb/");

class EditorsAccessTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!QFile::exists(Fixtures + "northwind_jet4_statdata.mdb")) {
            if (qEnvironmentVariable("CI") == "true") FAIL() << "the shared Access fixtures are missing in CI";
            GTEST_SKIP() << "the shared Access fixtures are missing";
        }
        storePrefs("Deutsch");
    }
    // Opens `table` of `file` in the window's grid as a double-click in the table list does.
    void openTable(TfrmMain& w, const QString& file, const QString& table) {
        w.OpenLocalDb(file);
        const auto found = w.tableList()->findItems(table, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        w.tableList()->setCurrentItem(found.first());
        w.clbTabellenDblClick();
        ASSERT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
        ASSERT_TRUE(w.localTable()->Active());
    }
};

TEST_F(EditorsAccessTest, ViewerAndMemoEditorOnNorthwindEmployees) {
    TfrmMain w;
    openTable(w, copyOf("northwind_jet4_statdata.mdb"), "Employees");
    TADOTable& t = *w.localTable();
    const int photo = t.FieldByName("Photo")->Index(), notes = t.FieldByName("Notes")->Index();
    // Row 1 a GIF and two lines of notes, row 2 a ZIP; row 3 keeps the photo Access stored.
    t.First();
    t.Edit();
    t.Fields(photo)->setAsBytes(scenarioGif());
    t.Fields(notes)->setAsString(QStringLiteral("Erste Zeile\r\nzweite Zeile"));
    t.Post();
    t.Next();
    t.Edit();
    t.Fields(photo)->setAsBytes(scenarioZip());
    t.Post();
    const auto reopen = [&] {
        t.Close();
        t.Open();
    };
    runViewerScenario(t, photo, reopen);
    runMemoScenario(t, notes, reopen);
}

TEST_F(EditorsAccessTest, DoubleClickAndTheEditCommandOpenTheEditors) {
    TfrmMain w;
    openTable(w, copyOf("northwind_jet4_statdata.mdb"), "Employees");
    TADOTable& t = *w.localTable();
    ModalWatcher watcher;
    QString sizeShown;
    watcher.on("tablor::TfrmBildedit", [&](QDialog* d) {
        sizeShown = static_cast<TfrmBildedit*>(d)->sizeLabelText();
        d->findChild<QPushButton*>(QStringLiteral("btnFwd"))->click(); // paging moves the grid's record
        d->reject();
    });
    watcher.on("tablor::TfrmMemotext",
               [&](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click(); });
    t.First();
    w.grid()->setSelectedIndex(t.FieldByName("Photo")->Index());
    w.dbgMainDblClick();
    EXPECT_EQ(watcher.count("tablor::TfrmBildedit"), 1);
    EXPECT_FALSE(sizeShown.isEmpty());
    EXPECT_EQ(t.RecNo(), 2);
    // The edit command on a memo field opens the memo editor, then leaves the grid editing.
    w.grid()->setSelectedIndex(t.FieldByName("Notes")->Index());
    w.tbtEditClick();
    EXPECT_EQ(watcher.count("tablor::TfrmMemotext"), 1);
    EXPECT_TRUE(w.editImageShown());
    EXPECT_TRUE(errors_->texts().isEmpty()) << errors_->texts().join("|").toStdString();
    w.tbtEditClick(); // posts
    // Blob cells describe what they hold in the window's language.
    const int photo = t.FieldByName("Photo")->Index();
    t.First();
    t.Edit();
    t.Fields(photo)->setAsBytes(scenarioZip());
    t.Post();
    EXPECT_TRUE(w.grid()->gridModel()->cellDisplayText(0, photo).startsWith(QString::fromUtf8("(Binärdaten, ")));
    EXPECT_TRUE(w.grid()->gridModel()->cellDisplayText(1, photo).startsWith(QString::fromUtf8("(BMP ")));
    w.mnuEnglishClick();
    EXPECT_TRUE(w.grid()->gridModel()->cellDisplayText(0, photo).startsWith(QString::fromUtf8("(Binary data, ")));
}

TEST_F(EditorsAccessTest, EveryNorthwindPhotoShowsThroughTheOleWrapper) {
    for (const char* file : {"mdbtestdata_nwind_jet3.mdb", "northwind_jet4_statdata.mdb"}) {
        SCOPED_TRACE(file);
        TfrmMain w;
        openTable(w, Fixtures + file, "Employees");
        TADOTable& t = *w.localTable();
        TfrmBildedit viewer(t, t.FieldByName("Photo")->Index(), nullptr);
        int shown = 0;
        for (t.First(); !t.Eof(); t.Next()) {
            viewer.LoadPicture();
            EXPECT_FALSE(viewer.binary()) << "record " << t.RecNo();
            shown += viewer.binary() ? 0 : 1;
        }
        EXPECT_EQ(shown, 9);
    }
}

// A value that cannot be read: an empty, disabled text box, and Apply cannot replace the
// stored value with the empty text. (Putting a data set into edit state reads every value,
// so a value that fails there stops the editor before it opens; the editor guards itself all
// the same.)
class UnreadableMemo : public MemDataSet {
public:
    using MemDataSet::MemDataSet;

protected:
    QVariant storedValue(int row, int col) const override {
        if (col == 1) throw EDatabaseError(QStringLiteral("the value cannot be read"));
        return MemDataSet::storedValue(row, col);
    }
    QString storedText(int row, int col) const override {
        if (col == 1) throw EDatabaseError(QStringLiteral("the value cannot be read"));
        return MemDataSet::storedText(row, col);
    }
};

// A text the Access 97 file cannot hold (its code page lacks the characters) is not saved, and
// the user is told so: the record keeps its notes, the grid is not left editing.
TEST_F(EditorsAccessTest, AMemoTheRecordRefusesIsShownNotDropped) {
    TfrmMain w;
    const QString file = copyOf("mdbtestdata_nwind_jet3.mdb");
    openTable(w, file, "Employees");
    TADOTable& t = *w.localTable();
    t.First();
    const QString before = t.FieldByName("Notes")->AsString();
    ModalWatcher watcher;
    watcher.on("tablor::TfrmMemotext", [&](QDialog* d) {
        d->findChild<QPlainTextEdit*>(QStringLiteral("mmText"))->setPlainText(QStringLiteral("汉字"));
        d->findChild<QPushButton*>(QStringLiteral("btnApply"))->click();
    });
    w.grid()->setSelectedIndex(t.FieldByName("Notes")->Index());
    w.dbgMainDblClick();
    ASSERT_EQ(watcher.count("tablor::TfrmMemotext"), 1);
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_TRUE(errors_->texts().front().contains(QStringLiteral("code page")))
        << errors_->texts().front().toStdString();
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    t.Close();
    t.Open();
    EXPECT_EQ(t.FieldByName("Notes")->AsString(), before);
}

// A picture the file refuses (here: it is read-only) goes up to be shown after the edit is
// cancelled; the record keeps its photo.
TEST_F(EditorsAccessTest, APictureTheRecordRefusesIsShownNotDropped) {
    QTemporaryDir dir;
    const QString bmp = dir.filePath("neu.bmp");
    {
        QFile f(bmp);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const std::vector<std::uint8_t> bytes =
            encodeBmp24(DecodedPicture{4, 3, std::vector<std::uint32_t>(12, 0xFF2080C0u)});
        f.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    }
    const QString file = copyOf("northwind_jet4_statdata.mdb");
    QFile::setPermissions(file, QFile::ReadOwner);
    TADOConnection cn;
    cn.ConnectionString = JetOpenConnectionString(file);
    cn.Open();
    TADOTable t;
    t.setConnection(&cn);
    t.setTableName(QStringLiteral("Employees"));
    t.Open();
    const QByteArray before = t.FieldByName("Photo")->AsBytes();
    const auto chooser =
        installed(TfrmBildedit::setOpenPictureChooser, [&](QWidget*, const OpenPictureRequest&) { return bmp; });
    TfrmBildedit viewer(t, t.FieldByName("Photo")->Index(), nullptr);
    viewer.LoadPicture();
    viewer.btnChangeClick();
    EXPECT_THROW(viewer.btnApplyClick(), EDatabaseError);
    EXPECT_FALSE(viewer.findChild<QPushButton*>(QStringLiteral("btnApply"))->isEnabled());
    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(t.FieldByName("Photo")->AsBytes(), before);
}

TEST_F(EditorsAccessTest, AnUnreadableMemoCannotBeOverwritten) {
    UnreadableMemo ds({{"id", TFieldType::ftInteger}, {"Notiz", TFieldType::ftMemo}}, {{1, QStringLiteral("alt")}});
    ds.Open();
    ModalWatcher watcher;
    bool applyEnabled = true, textEnabled = true;
    watcher.on("tablor::TfrmMemotext", [&](QDialog* d) {
        applyEnabled = d->findChild<QPushButton*>(QStringLiteral("btnApply"))->isEnabled();
        textEnabled = d->findChild<QPlainTextEdit*>(QStringLiteral("mmText"))->isEnabled();
        d->findChild<QPushButton*>(QStringLiteral("btnApply"))->click();
        d->reject();
    });
    TMemoedit editor;
    editor.setDataSet(&ds);
    // Not put into edit state, so that the editor reads the stored value, which fails.
    EXPECT_EQ(editor.Edit(ds.Fields(1), true), QDialog::Rejected);
    EXPECT_FALSE(applyEnabled);
    EXPECT_FALSE(textEnabled);
    EXPECT_EQ(ds.rows[0][1].toString(), "alt");
}

} // namespace
} // namespace tablor::test
