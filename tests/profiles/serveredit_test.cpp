// The server setup dialog driven headless: New, Edit, Apply with its validation, Delete, the
// password and format boxes, the modified flag and the close question. Message boxes are
// answered by a MessageBoxRecorder, the file chooser by a stub; server.dat lives in a
// temporary ProgramDir.
#include "profiles/u_serveredit.h"

#include "l10n/translator.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/programdir.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QFileDialog>
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

using namespace tablor;

namespace {

class ServerEdit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setProgramDirOverride(dir.path());
        setLanguage("Deutsch");
        TfrmServeredit::setSaveFileChooser([this](QWidget*, const SaveFileRequest& r) {
            chooserRequests.push_back(r);
            return chooserAnswer;
        });
    }
    void TearDown() override {
        dlg.reset();
        TfrmServeredit::setSaveFileChooser(nullptr);
        setProgramDirOverride(QString());
    }

    static void setLanguage(const QString& name) {
        TPrefs p;
        p.FLanguage = name;
        p.Save();
    }
    QString datPath() const { return dir.filePath("server.dat"); }
    ServerProfile profile(const QString& name, const QString& mdb) {
        ServerProfile p;
        p.ProfileName = name;
        p.ServerName = name + ".example.org";
        p.Port = 3306;
        p.DbName = "db_" + name;
        p.UserName = "user";
        p.Password = "pw_" + name;
        p.MdbPath = mdb;
        p.AccessFormat = 1;
        return p;
    }
    void writeProfiles(std::initializer_list<ServerProfile> profiles) {
        ProfileList list;
        for (const ServerProfile& p : profiles) list.append(p);
        SaveProfiles(list, datPath());
    }
    std::vector<ServerProfile> readProfiles() {
        ProfileList list;
        LoadProfiles(list, datPath());
        std::vector<ServerProfile> out;
        for (const auto& r : list) out.push_back(*r);
        return out;
    }
    QByteArray datBytes() {
        QFile f(datPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }
    void open() { dlg = std::make_unique<TfrmServeredit>(); }

    template <typename T>
    T* w(const char* name) {
        T* found = dlg->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* edit(const char* name) { return w<QLineEdit>(name); }
    QCheckBox* check(const char* name) { return w<QCheckBox>(name); }
    QPushButton* button(const char* name) { return w<QPushButton>(name); }
    QListWidget* list() { return w<QListWidget>("lstServer"); }
    void select(int row) { list()->setCurrentRow(row); }
    void type(QLineEdit* e, const QString& text) {
        e->clear();
        // Qt Test types ASCII keys only; other characters arrive as an input-method commit.
        bool ascii = true;
        for (QChar c : text) ascii = ascii && c.unicode() < 128;
        if (ascii) {
            QTest::keyClicks(e, text);
        } else {
            e->insert(text);
        }
    }

    QTemporaryDir dir;
    std::unique_ptr<TfrmServeredit> dlg;
    MessageBoxRecorder boxes{mrCancel};
    std::vector<SaveFileRequest> chooserRequests;
    QString chooserAnswer;
};

} // namespace

TEST_F(ServerEdit, OpensWithoutServerDatEmptyAndDisabled) {
    open();
    EXPECT_EQ(list()->count(), 0);
    EXPECT_FALSE(dlg->fieldsEnabled());
    EXPECT_FALSE(dlg->modified());
    EXPECT_FALSE(button("btnApply")->isEnabled());
    for (const char* name : {"txtProfilname", "txtServername", "txtPort", "txtDB_Name", "txtUsername", "txtPass1",
                             "txtPass2", "txtMdbPath"}) {
        EXPECT_FALSE(edit(name)->isEnabled()) << name;
        EXPECT_TRUE(edit(name)->text().isEmpty()) << name;
    }
    for (const char* name : {"chkHidePW", "chkOverwrite", "chkOffice97", "chkOffice2000"})
        EXPECT_FALSE(check(name)->isEnabled()) << name;
    EXPECT_FALSE(button("btnOpen")->isEnabled());
    EXPECT_TRUE(button("btnNew")->isEnabled());
    EXPECT_TRUE(button("btnDel")->isEnabled());
    EXPECT_TRUE(check("chkOffice2000")->isChecked());
    EXPECT_FALSE(check("chkOffice97")->isChecked());
    EXPECT_TRUE(check("chkHidePW")->isChecked());
    EXPECT_EQ(dlg->property("helpContext").toInt(), 700);
    EXPECT_EQ(dlg->palette().color(QPalette::Window), QColor(255, 180, 40));
    EXPECT_GE(dlg->width(), 376);
    EXPECT_GE(dlg->height(), 345);
    EXPECT_EQ(list()->width(), 153);
    EXPECT_FALSE(QFile::exists(datPath()));
}

TEST_F(ServerEdit, TextsFollowTheStoredLanguage) {
    open();
    EXPECT_EQ(dlg->windowTitle(), "Server Setup");
    EXPECT_EQ(button("btnCancel")->text(), QString::fromUtf8("Schließen"));
    EXPECT_EQ(button("btnApply")->text(), QString::fromUtf8("Übernehmen"));
    EXPECT_EQ(w<QLabel>("lblPass2")->text(), QString::fromUtf8("Kennwort bestätigen"));
    EXPECT_EQ(w<QTabWidget>("PageControl1")->tabText(0), "Grundeinstellung");
    EXPECT_EQ(dlg->findChild<QAction*>("popDel")->text(), QString::fromUtf8("Profil löschen"));
    dlg.reset();

    setLanguage("English");
    open();
    EXPECT_EQ(button("btnCancel")->text(), "Close");
    EXPECT_EQ(w<QLabel>("lblUsername")->text(), "Login");
    EXPECT_EQ(w<QTabWidget>("PageControl1")->tabText(1), "Advanced settings");
    EXPECT_EQ(check("chkOverwrite")->text(), "Drop tables before updating");
    dlg->translator()->switchLanguage("Deutsch");
    EXPECT_EQ(w<QLabel>("Label1")->text(), "Enfernte Server verwalten");
    EXPECT_EQ(dlg->saveFileRequest().title, QString::fromUtf8("Öffnen..."));
}

TEST_F(ServerEdit, EmptyStoredLanguageFallsBackToGermanAndOpens) {
    setLanguage("");
    open();
    EXPECT_EQ(button("btnCancel")->text(), QString::fromUtf8("Schließen"));
    // Messages follow LanguageIndex 0 and get matching German buttons.
    dlg->btnNewClick();
    EXPECT_EQ(edit("txtProfilname")->text(), "<Neuer MySQL Server>");
    edit("txtProfilname")->clear();
    dlg->btnApplyClick();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().captions, QStringList{"OK"});
    EXPECT_EQ(boxes.last().title, "Information");
    EXPECT_EQ(boxes.last().language, "Deutsch");
}

TEST_F(ServerEdit, NewThenApplyStoresTheDefaultsWithAGeneratedPath) {
    open();
    dlg->btnNewClick();
    EXPECT_TRUE(dlg->fieldsEnabled());
    EXPECT_TRUE(dlg->modified());
    EXPECT_TRUE(button("btnApply")->isEnabled());
    EXPECT_EQ(edit("txtPort")->text(), "3306");
    EXPECT_EQ(edit("txtProfilname")->text(), "<Neuer MySQL Server>");
    EXPECT_TRUE(edit("txtProfilname")->hasFocus() || !dlg->isVisible());
    ASSERT_TRUE(dlg->btnApplyClick());
    EXPECT_FALSE(dlg->modified());
    EXPECT_FALSE(button("btnApply")->isEnabled());
    EXPECT_EQ(boxes.count(), 0);
    ASSERT_EQ(list()->count(), 1);
    EXPECT_EQ(list()->item(0)->text(), "<Neuer MySQL Server>");
    EXPECT_TRUE(list()->item(0)->isSelected());

    const auto saved = readProfiles();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].ProfileName, "<Neuer MySQL Server>");
    EXPECT_EQ(saved[0].Port, 3306);
    EXPECT_EQ(saved[0].AccessFormat, 1);
    EXPECT_FALSE(saved[0].Overwrite);
    EXPECT_TRUE(saved[0].MdbPath.startsWith(dir.path() + "/{"));
    EXPECT_TRUE(saved[0].MdbPath.endsWith("}.mdb"));
    EXPECT_TRUE(dlg->currentRecord()->MdbPath.isEmpty());
}

TEST_F(ServerEdit, NewInEnglishUsesTheEnglishName) {
    setLanguage("English");
    open();
    dlg->btnNewClick();
    EXPECT_EQ(edit("txtProfilname")->text(), "<New MySQL Server>");
}

TEST_F(ServerEdit, ApplyStoresEveryFieldAndCutsLongValues) {
    open();
    dlg->show();
    dlg->btnNewClick();
    type(edit("txtProfilname"), QString::fromUtf8("Büro"));
    type(edit("txtServername"), "db.local");
    type(edit("txtPort"), "abc");
    type(edit("txtDB_Name"), "lager");
    type(edit("txtUsername"), QString(300, u'u'));
    type(edit("txtPass1"), "s3cret");
    type(edit("txtPass2"), "s3cret");
    w<QTabWidget>("PageControl1")->setCurrentIndex(1);
    const QString longPath = "/tmp/" + QString(1995, u'p');
    type(edit("txtMdbPath"), longPath);
    EXPECT_EQ(edit("txtMdbPath")->text().size(), 2000);
    QTest::mouseClick(check("chkOverwrite"), Qt::LeftButton);
    QTest::mouseClick(check("chkOffice97"), Qt::LeftButton);
    ASSERT_TRUE(dlg->btnApplyClick());
    EXPECT_EQ(boxes.count(), 0);

    const auto saved = readProfiles();
    ASSERT_EQ(saved.size(), 1u);
    const ServerProfile& p = saved[0];
    EXPECT_EQ(p.ProfileName, QString::fromUtf8("Büro"));
    EXPECT_EQ(p.ServerName, "db.local");
    EXPECT_EQ(p.Port, 3306);
    EXPECT_EQ(p.DbName, "lager");
    EXPECT_EQ(p.UserName, QString(255, u'u'));
    EXPECT_EQ(p.Password, "s3cret");
    EXPECT_EQ(p.MdbPath, longPath.left(1025));
    EXPECT_TRUE(p.Overwrite);
    EXPECT_EQ(p.AccessFormat, 0);
    EXPECT_EQ(datBytes().size(), 2312);
}

TEST_F(ServerEdit, ApplyWithoutAProfileNameShowsTheMessageAndSavesNothing) {
    writeProfiles({profile("a", "/nonexistent/a.mdb")});
    const QByteArray before = datBytes();
    open();
    dlg->btnNewClick();
    edit("txtProfilname")->clear();
    EXPECT_FALSE(dlg->btnApplyClick());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, LocalizedMessage(msgProfileNameMissing, 0));
    EXPECT_EQ(boxes.last().type, mtInformation);
    EXPECT_EQ(boxes.last().buttons, TMsgDlgButtons(mbOK));
    EXPECT_EQ(dlg->profiles().size(), 1);
    EXPECT_TRUE(dlg->modified());
    EXPECT_EQ(datBytes(), before);
}

TEST_F(ServerEdit, DifferingPasswordsShowTheMessageAndSaveNothing) {
    writeProfiles({profile("a", "/nonexistent/a.mdb")});
    const QByteArray before = datBytes();
    open();
    select(0);
    dlg->popEditClick();
    type(edit("txtPass1"), "one");
    type(edit("txtPass2"), "two");
    EXPECT_FALSE(dlg->btnApplyClick());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, "Die Kennwörter stimmen nicht überein.");
    EXPECT_EQ(dlg->profiles().at(0)->Password, "pw_a");
    EXPECT_EQ(datBytes(), before);
}

TEST_F(ServerEdit, UncheckedHidePasswordKeepsTheRetypeFieldInStep) {
    open();
    dlg->show();
    dlg->btnNewClick();
    QCheckBox* hide = check("chkHidePW");
    EXPECT_TRUE(edit("txtPass2")->isVisible());
    EXPECT_EQ(edit("txtPass1")->echoMode(), QLineEdit::Password);
    dlg->btnApplyClick();
    ASSERT_FALSE(dlg->modified());

    QTest::mouseClick(hide, Qt::LeftButton);
    EXPECT_FALSE(hide->isChecked());
    EXPECT_FALSE(dlg->modified()) << "the click keeps the flag";
    EXPECT_FALSE(edit("txtPass2")->isVisible());
    EXPECT_FALSE(w<QLabel>("lblPass2")->isVisible());
    EXPECT_EQ(edit("txtPass1")->echoMode(), QLineEdit::Normal);

    type(edit("txtPass1"), "plain");
    EXPECT_EQ(edit("txtPass2")->text(), "plain");
    EXPECT_TRUE(dlg->modified());
    ASSERT_TRUE(dlg->btnApplyClick());
    EXPECT_EQ(boxes.count(), 0) << "no mismatch message";
    EXPECT_EQ(readProfiles().at(0).Password, "plain");

    type(edit("txtPass1"), "x");
    QTest::mouseClick(hide, Qt::LeftButton);
    EXPECT_TRUE(dlg->modified()) << "the click keeps a set flag too";
    EXPECT_TRUE(edit("txtPass2")->isVisible());
}

TEST_F(ServerEdit, FormatBoxesAreExclusiveAndMarkTheProfileModified) {
    writeProfiles({profile("a", "/nonexistent/a.mdb")});
    open();
    dlg->show();
    select(0);
    dlg->popEditClick();
    w<QTabWidget>("PageControl1")->setCurrentIndex(1);
    ASSERT_FALSE(dlg->modified());
    QCheckBox* o97 = check("chkOffice97");
    QCheckBox* o2000 = check("chkOffice2000");
    QTest::mouseClick(o97, Qt::LeftButton);
    EXPECT_TRUE(o97->isChecked());
    EXPECT_FALSE(o2000->isChecked());
    EXPECT_TRUE(dlg->modified());
    QTest::mouseClick(o97, Qt::LeftButton); // unchecking one checks the other
    EXPECT_FALSE(o97->isChecked());
    EXPECT_TRUE(o2000->isChecked());
    QTest::mouseClick(o2000, Qt::LeftButton);
    EXPECT_TRUE(o97->isChecked());
    EXPECT_FALSE(o2000->isChecked());
}

TEST_F(ServerEdit, EditFillsTheFieldsFromTheSelectedProfile) {
    ServerProfile b = profile("b", "/data/b.mdb");
    b.Port = 3310;
    b.Overwrite = true;
    b.AccessFormat = 0;
    writeProfiles({profile("a", "/data/a.mdb"), b});
    open();
    ASSERT_EQ(list()->count(), 2);
    EXPECT_EQ(list()->item(1)->text(), "b");
    select(1);
    dlg->popEditClick();
    EXPECT_EQ(dlg->currentRecord(), dlg->profiles().at(1));
    EXPECT_EQ(edit("txtProfilname")->text(), "b");
    EXPECT_EQ(edit("txtServername")->text(), "b.example.org");
    EXPECT_EQ(edit("txtPort")->text(), "3310");
    EXPECT_EQ(edit("txtDB_Name")->text(), "db_b");
    EXPECT_EQ(edit("txtUsername")->text(), "user");
    EXPECT_EQ(edit("txtPass1")->text(), "pw_b");
    EXPECT_EQ(edit("txtPass2")->text(), "pw_b");
    EXPECT_EQ(edit("txtMdbPath")->text(), "/data/b.mdb");
    EXPECT_TRUE(check("chkOverwrite")->isChecked());
    EXPECT_TRUE(check("chkOffice97")->isChecked());
    EXPECT_FALSE(check("chkOffice2000")->isChecked());
    EXPECT_TRUE(dlg->fieldsEnabled());
    EXPECT_FALSE(dlg->modified());
    EXPECT_FALSE(button("btnApply")->isEnabled());

    type(edit("txtServername"), "changed");
    EXPECT_TRUE(dlg->modified());
    ASSERT_TRUE(dlg->btnApplyClick());
    const auto saved = readProfiles();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0], profile("a", "/data/a.mdb"));
    EXPECT_EQ(saved[1].ServerName, "changed");
}

TEST_F(ServerEdit, DoubleClickEdits) {
    writeProfiles({profile("a", "/data/a.mdb"), profile("b", "/data/b.mdb")});
    open();
    dlg->show();
    QListWidget* l = list();
    const QRect r = l->visualItemRect(l->item(1));
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(l->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(edit("txtProfilname")->text(), "b");
}

TEST_F(ServerEdit, EditingAnotherProfileWithPendingChangesAndNoDiscardsThem) {
    writeProfiles({profile("a", "/data/a.mdb"), profile("b", "/data/b.mdb")});
    const QByteArray before = datBytes();
    open();
    select(0);
    dlg->popEditClick();
    type(edit("txtServername"), "pending");
    select(1);
    boxes.answer(mrNo);
    dlg->popEditClick();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, "Sollen die Änderungen gespeichert werden?");
    EXPECT_EQ(boxes.last().type, mtConfirmation);
    EXPECT_EQ(boxes.last().buttons, TMsgDlgButtons(mbYes | mbNo));
    EXPECT_EQ(boxes.last().defaultButton, mrYes);
    EXPECT_EQ(edit("txtProfilname")->text(), "b");
    EXPECT_EQ(dlg->profiles().at(0)->ServerName, "a.example.org");
    EXPECT_EQ(datBytes(), before);
}

TEST_F(ServerEdit, EditingAnotherProfileWithPendingChangesAndYesSavesThenOpensTheChosenOne) {
    writeProfiles({profile("a", "/data/a.mdb"), profile("b", "/data/b.mdb")});
    open();
    select(0);
    dlg->popEditClick();
    type(edit("txtServername"), "saved");
    select(1);
    boxes.answer(mrYes);
    dlg->popEditClick();
    EXPECT_EQ(readProfiles().at(0).ServerName, "saved");
    EXPECT_EQ(edit("txtProfilname")->text(), "b");
    EXPECT_EQ(dlg->currentRecord(), dlg->profiles().at(1));
    EXPECT_FALSE(dlg->modified());
}

TEST_F(ServerEdit, EditStopsWhenTheSaveStopsOnAValidationMessage) {
    writeProfiles({profile("a", "/data/a.mdb"), profile("b", "/data/b.mdb")});
    open();
    select(0);
    dlg->popEditClick();
    edit("txtProfilname")->clear();
    select(1);
    boxes.answer(mrYes);
    dlg->popEditClick();
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.last().text, LocalizedMessage(msgProfileNameMissing, 0));
    EXPECT_EQ(dlg->currentRecord(), dlg->profiles().at(0));
    EXPECT_TRUE(edit("txtProfilname")->text().isEmpty());
    EXPECT_TRUE(dlg->modified());
}

TEST_F(ServerEdit, DeleteAskedWithNoKeepsEverything) {
    QFile mdb(dir.filePath("a.mdb"));
    ASSERT_TRUE(mdb.open(QIODevice::WriteOnly));
    mdb.close();
    writeProfiles({profile("a", dir.filePath("a.mdb"))});
    open();
    dlg->btnDelClick(); // nothing selected
    EXPECT_EQ(boxes.count(), 0);
    select(0);
    boxes.answer(mrNo);
    dlg->btnDelClick();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, QString::fromUtf8("Möchten Sie das Profil \"a\" wirklich löschen?"));
    EXPECT_EQ(boxes.last().defaultButton, mrNo);
    EXPECT_EQ(boxes.last().buttons, TMsgDlgButtons(mbYes | mbNo));
    EXPECT_EQ(dlg->profiles().size(), 1);
    EXPECT_TRUE(QFile::exists(dir.filePath("a.mdb")));
}

TEST_F(ServerEdit, DeleteRemovesTheLocalFileAtOnceAndTheProfileOnApply) {
    QFile mdb(dir.filePath("a.mdb"));
    ASSERT_TRUE(mdb.open(QIODevice::WriteOnly));
    mdb.close();
    writeProfiles({profile("a", dir.filePath("a.mdb")), profile("b", "/nonexistent/b.mdb")});
    const QByteArray before = datBytes();
    open();
    select(0);
    dlg->popEditClick();
    select(0);
    boxes.answer(mrYes);
    dlg->btnDelClick();
    EXPECT_FALSE(QFile::exists(dir.filePath("a.mdb")));
    EXPECT_EQ(dlg->profiles().size(), 1);
    EXPECT_EQ(list()->count(), 1);
    EXPECT_EQ(dlg->currentRecord(), nullptr);
    EXPECT_FALSE(dlg->fieldsEnabled());
    EXPECT_TRUE(edit("txtProfilname")->text().isEmpty()) << "the current record's fields are cleared";
    EXPECT_TRUE(dlg->modified());
    EXPECT_EQ(datBytes(), before) << "server.dat changes only on Apply";

    // Apply with the fields disabled writes the list as it is.
    ASSERT_TRUE(dlg->btnApplyClick());
    const auto saved = readProfiles();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].ProfileName, "b");
}

TEST_F(ServerEdit, DeleteThenCloseWithNoKeepsServerDatButTheFileIsGone) {
    QFile mdb(dir.filePath("a.mdb"));
    ASSERT_TRUE(mdb.open(QIODevice::WriteOnly));
    mdb.close();
    writeProfiles({profile("a", dir.filePath("a.mdb"))});
    const QByteArray before = datBytes();
    open();
    dlg->show();
    select(0);
    boxes.answer(mrYes);
    dlg->btnDelClick();
    boxes.answer(mrNo);
    button("btnCancel")->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(datBytes(), before);
    EXPECT_FALSE(QFile::exists(dir.filePath("a.mdb")));
}

TEST_F(ServerEdit, DeleteKeepsAFileThatAnotherProfileStillUses) {
    QFile mdb(dir.filePath("shared.mdb"));
    ASSERT_TRUE(mdb.open(QIODevice::WriteOnly));
    mdb.close();
    writeProfiles({profile("a", dir.filePath("shared.mdb")), profile("b", dir.filePath("shared.mdb"))});
    open();
    select(0);
    boxes.answer(mrYes);
    dlg->btnDelClick();
    EXPECT_EQ(dlg->profiles().size(), 1);
    EXPECT_TRUE(QFile::exists(dir.filePath("shared.mdb")));
}

TEST_F(ServerEdit, CloseWithoutChangesAsksNothing) {
    writeProfiles({profile("a", "/x.mdb")});
    open();
    dlg->show();
    button("btnCancel")->click();
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(ServerEdit, CloseQuestionCancelKeepsTheDialogOpen) {
    open();
    dlg->show();
    dlg->btnNewClick();
    boxes.answer(mrCancel);
    dlg->close(); // the window's close box
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().buttons, TMsgDlgButtons(mbYes | mbNo | mbCancel));
    EXPECT_EQ(boxes.last().defaultButton, mrYes);
    EXPECT_EQ(boxes.last().text, "Sollen die Änderungen gespeichert werden?");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(QFile::exists(datPath()));
}

TEST_F(ServerEdit, CloseQuestionNoClosesWithoutSaving) {
    writeProfiles({profile("a", "/x.mdb")});
    const QByteArray before = datBytes();
    open();
    dlg->show();
    select(0);
    dlg->popEditClick();
    type(edit("txtDB_Name"), "other");
    boxes.answer(mrNo);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(datBytes(), before);
}

TEST_F(ServerEdit, CloseQuestionYesSavesAndClosesUnlessValidationStops) {
    open();
    dlg->show();
    dlg->btnNewClick();
    edit("txtProfilname")->clear();
    boxes.answer(mrYes);
    button("btnCancel")->click();
    EXPECT_TRUE(dlg->isVisible()) << "the name is missing";
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.last().text, LocalizedMessage(msgProfileNameMissing, 0));

    type(edit("txtProfilname"), "neu");
    boxes.answer(mrYes);
    button("btnCancel")->click();
    EXPECT_FALSE(dlg->isVisible());
    ASSERT_EQ(readProfiles().size(), 1u);
    EXPECT_EQ(readProfiles().at(0).ProfileName, "neu");
}

TEST_F(ServerEdit, AFailedSaveIsReportedAndKeepsTheChanges) {
    writeProfiles({profile("a", "/x.mdb")});
    open();
    dlg->show();
    select(0);
    dlg->popEditClick();
    type(edit("txtServername"), "new.host");
    // A folder where server.dat was makes the final rename fail.
    ASSERT_TRUE(QFile::remove(datPath()));
    ASSERT_TRUE(QDir(dir.path()).mkdir("server.dat"));
    button("btnApply")->click();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().type, mtCustom);
    EXPECT_EQ(boxes.last().title, "Tablor 2.0");
    EXPECT_EQ(boxes.last().captions, QStringList{"OK"});
    EXPECT_TRUE(boxes.last().text.contains("server.dat")) << boxes.last().text.toStdString();
    EXPECT_TRUE(dlg->modified());
    EXPECT_EQ(dlg->profiles().at(0)->ServerName, "new.host");

    boxes.answer(mrYes); // closing: save? yes -> fails again -> the dialog stays open
    button("btnCancel")->click();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(boxes.count(), 3);
    EXPECT_EQ(boxes.last().type, mtCustom);
}

TEST_F(ServerEdit, UnreadableServerDatStopsTheDialogFromOpening) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("server.dat"));
    EXPECT_THROW(open(), ProfileFileError);
}

TEST_F(ServerEdit, FileChooserFillsThePathOrLeavesIt) {
    open();
    dlg->btnNewClick();
    chooserAnswer = "/home/u/backup.mdb";
    button("btnOpen")->click();
    ASSERT_EQ(chooserRequests.size(), 1u);
    EXPECT_EQ(chooserRequests[0].title, QString::fromUtf8("Öffnen..."));
    EXPECT_EQ(chooserRequests[0].filter, "Access Datenbanken (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*");
    EXPECT_EQ(chooserRequests[0].defaultExt, "mdb");
    EXPECT_EQ(chooserRequests[0].fileName, "backup.mdb");
    EXPECT_EQ(edit("txtMdbPath")->text(), "/home/u/backup.mdb");
    chooserAnswer.clear();
    button("btnOpen")->click();
    EXPECT_EQ(edit("txtMdbPath")->text(), "/home/u/backup.mdb");
    dlg->translator()->switchLanguage("English");
    chooserAnswer = "/y.mdb";
    button("btnOpen")->click();
    EXPECT_EQ(chooserRequests.back().title, "Open...");
    EXPECT_EQ(chooserRequests.back().filter, "Access files (*.mdb)|*.mdb|All files (*.*)|*.*");
}

TEST_F(ServerEdit, ListShowsDuplicateNamesInFileOrder) {
    writeProfiles({profile("same", "/1.mdb"), profile("other", "/2.mdb"), profile("same", "/3.mdb")});
    open();
    ASSERT_EQ(list()->count(), 3);
    EXPECT_EQ(list()->item(0)->text(), "same");
    EXPECT_EQ(list()->item(2)->text(), "same");
    select(2);
    dlg->popEditClick();
    EXPECT_EQ(edit("txtMdbPath")->text(), "/3.mdb");
}

TEST_F(ServerEdit, CharactersTheFileCannotHoldStopApplyWithAMessage) {
    open();
    dlg->btnNewClick();
    type(edit("txtProfilname"), "ok");
    type(edit("txtMdbPath"), QString::fromUtf8("/home/Дмитрий/a.mdb"));
    EXPECT_FALSE(dlg->btnApplyClick());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, QString::fromUtf8("Das Feld \"Datenbankpfad\" enthält Zeichen, die in der "
                                                   "Profildatei nicht gespeichert werden können."));
    EXPECT_EQ(w<QTabWidget>("PageControl1")->currentWidget()->objectName(), "tabExtra");
    EXPECT_FALSE(QFile::exists(datPath()));
    // Umlauts and the euro sign are Windows-1252 and pass.
    type(edit("txtMdbPath"), QString::fromUtf8("/home/jürgen/€.mdb"));
    EXPECT_TRUE(dlg->btnApplyClick());
    EXPECT_EQ(readProfiles().at(0).MdbPath, QString::fromUtf8("/home/jürgen/€.mdb"));
}

TEST_F(ServerEdit, OwnLanguageWinsOverTheMarkedWindowsLanguage) {
    QWidget main;
    main.setObjectName("frmMain");
    static constexpr TextPair none[] = {{"", "windowTitle", "Haupt", "Main"}};
    TTranslator mainTexts(&main, "Deutsch", none);
    mainTexts.setTranslateApplication(true);
    mainTexts.switchLanguage("English");
    setLanguage("Deutsch");
    open();
    EXPECT_EQ(button("btnNew")->text(), "Neu");
    // While the main window carries the mark, its switch reaches the open dialog too.
    mainTexts.switchLanguage("English");
    EXPECT_EQ(button("btnNew")->text(), "New");
    dlg.reset();
    setLanguage("");
    open(); // nothing stored: German, the language of LanguageIndex 0
    EXPECT_EQ(button("btnNew")->text(), "Neu");
}

TEST_F(ServerEdit, DeletingAnotherProfileAsksAboutPendingChangesFirst) {
    writeProfiles({profile("a", "/nonexistent/a.mdb"), profile("b", "/nonexistent/b.mdb")});
    open();
    select(0);
    dlg->popEditClick();
    type(edit("txtServername"), "kept.host");
    select(1);
    boxes.answer(mrYes); // save the changes to "a"
    boxes.answer(mrYes); // delete "b"
    dlg->btnDelClick();
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.requests()[0].text, LocalizedMessage(msgSaveChanges, 0));
    EXPECT_EQ(boxes.requests()[1].text, LocalizedMessage(msgDeleteProfile, 0, "b"));
    const auto saved = readProfiles(); // "a" saved before the deletion, "b" still in the file
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].ServerName, "kept.host");
    ASSERT_EQ(dlg->profiles().size(), 1);
    EXPECT_EQ(dlg->profiles().at(0)->ServerName, "kept.host");

    // Deleting the profile that is being edited asks only the deletion.
    select(0);
    boxes.answer(mrNo); // the deletion is pending: Edit asks about it; No keeps it in memory
    dlg->popEditClick();
    ASSERT_EQ(boxes.count(), 3);
    EXPECT_EQ(edit("txtProfilname")->text(), "a");
    boxes.clear();
    type(edit("txtServername"), "doomed");
    select(0);
    boxes.answer(mrYes);
    dlg->btnDelClick();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(dlg->profiles().size(), 0);
}

TEST_F(ServerEdit, ClosingTheSaveQuestionOfEditChangesNothing) {
    writeProfiles({profile("a", "/nonexistent/a.mdb"), profile("b", "/nonexistent/b.mdb")});
    open();
    select(0);
    dlg->popEditClick();
    type(edit("txtServername"), "typed");
    select(1);
    boxes.answer(mrCancel); // what the box's close button answers
    dlg->popEditClick();
    EXPECT_EQ(edit("txtServername")->text(), "typed");
    EXPECT_EQ(dlg->currentRecord(), dlg->profiles().at(0));
    EXPECT_TRUE(dlg->modified());
}

TEST_F(ServerEdit, PasswordsAreMaskedWithAsterisks) {
    open();
    EXPECT_EQ(edit("txtPass1")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit("txtPass2")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit("txtPass1")->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit("txtPass1")),
              '*');
}

TEST_F(ServerEdit, RealSaveFileDialogIsSetUpAsTheChooserWants) {
    TfrmServeredit::setSaveFileChooser(nullptr);
    open();
    dlg->show();
    dlg->btnNewClick();
    QStringList filters;
    QString title, suffix;
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd || !fd->isVisible() || seen) return;
        seen = true;
        poll.stop();
        filters = fd->nameFilters();
        title = fd->windowTitle();
        suffix = fd->defaultSuffix();
        fd->selectFile(dir.filePath("chosen"));
        QMetaObject::invokeMethod(fd, "accept");
    });
    poll.start();
    button("btnOpen")->click();
    ASSERT_TRUE(seen);
    EXPECT_EQ(title, QString::fromUtf8("Öffnen..."));
    EXPECT_EQ(filters, (QStringList{"Access Datenbanken (*.mdb)", "Alle Dateien (*)"}));
    EXPECT_EQ(suffix, "mdb");
    EXPECT_EQ(edit("txtMdbPath")->text(), dir.filePath("chosen.mdb"));
}

TEST_F(ServerEdit, ControlsCarryTheirNames) {
    open();
    for (const char* name : {"Label1",    "lstServer",  "tabBasic",    "tabExtra",     "txtProfilname", "txtServername",
                             "txtPort",   "txtDB_Name", "txtUsername", "txtPass1",     "txtPass2",      "lblPass2",
                             "chkHidePW", "txtMdbPath", "btnOpen",     "chkOverwrite", "chkOffice97",   "chkOffice2000",
                             "btnNew",    "btnDel",     "btnApply",    "btnCancel"}) {
        EXPECT_NE(dlg->findChild<QWidget*>(name), nullptr) << name;
    }
    for (const char* name : {"popEdit", "popNew", "popDel"}) EXPECT_NE(dlg->findChild<QAction*>(name), nullptr) << name;
    auto* menu = dlg->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->defaultAction(), dlg->findChild<QAction*>("popEdit"));
}

TEST_F(ServerEdit, ContextMenuItemsRunTheirCommands) {
    writeProfiles({profile("a", "/nonexistent/a.mdb")});
    open();
    select(0);
    dlg->findChild<QAction*>("popEdit")->trigger();
    EXPECT_EQ(edit("txtProfilname")->text(), "a");
    dlg->findChild<QAction*>("popNew")->trigger();
    EXPECT_EQ(edit("txtProfilname")->text(), "<Neuer MySQL Server>");
    EXPECT_EQ(dlg->currentRecord(), nullptr);
    select(0);
    boxes.answer(mrNo);  // the new profile's typed fields: not kept
    boxes.answer(mrYes); // delete "a"
    dlg->findChild<QAction*>("popDel")->trigger();
    EXPECT_EQ(dlg->profiles().size(), 0);
}
