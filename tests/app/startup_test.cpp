// Tests of the program start: the first-run question and the server management it opens, the
// start timer and the start dialog with its choices and its check.
#include "app_fixture.h"

#include "app/u_main.h"
#include "app/u_startup.h"
#include "profiles/localizedmessages.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace tablor::test {
namespace {

class StartupTest : public AppTest {};

TEST_F(StartupTest, FirstRunYesOpensServerManagementThenTheStartDialog500msAfterItCloses) {
    storePrefs("Deutsch", false);
    messages_->answer(mrYes);
    TfrmMain w;
    ModalWatcher watcher;
    qint64 serverClosedAt = -1;
    watcher.on("tablor::TfrmServeredit", [&](QDialog* d) {
        QTimer::singleShot(100, d, [&, d] {
            serverClosedAt = watcher.elapsedMs();
            d->reject();
        });
    });
    watcher.on("tablor::TfrmStartup", [](QDialog* d) { d->reject(); });
    w.show();
    ASSERT_TRUE(waitUntil([&] { return watcher.count("tablor::TfrmStartup") == 1; }, 8000));

    ASSERT_GE(messages_->count(), 1);
    const MessageRequest& question = messages_->requests().front();
    EXPECT_EQ(question.text, LocalizedMessage(msgFirstRun, 0));
    EXPECT_EQ(question.type, mtConfirmation);
    EXPECT_EQ(question.buttons, static_cast<TMsgDlgButtons>(mbYes | mbNo));
    EXPECT_EQ(question.defaultButton, mrYes);
    EXPECT_EQ(question.language, "Deutsch");

    ASSERT_EQ(watcher.seen().size(), 2u);
    EXPECT_EQ(watcher.seen()[0].className, "tablor::TfrmServeredit");
    EXPECT_EQ(watcher.seen()[1].className, "tablor::TfrmStartup");
    ASSERT_GE(serverClosedAt, 0);
    const qint64 delay = watcher.seen()[1].atMs - serverClosedAt;
    EXPECT_GE(delay, 450) << "the start dialog came too early";
    EXPECT_LE(delay, 3000) << "the start dialog came too late";
    EXPECT_TRUE(TPrefs().StartUpDialog);
    EXPECT_TRUE(w.findChild<QAction*>("mnuStartup")->isChecked());
}

TEST_F(StartupTest, VeryFirstStartWithoutAnySettingsAsksInGerman) {
    messages_->answer(mrNo);
    TfrmMain w;
    w.FormShow();
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgFirstRun, 0));
    // German buttons for the German text, although no language name is stored yet.
    EXPECT_EQ(messages_->last().language, "Deutsch");
    EXPECT_EQ(messages_->last().captions, (QStringList{"&Ja", "&Nein"}));
    EXPECT_EQ(w.translator()->language(), "Deutsch");
}

TEST_F(StartupTest, FirstRunQuestionInEnglish) {
    storePrefs("English", false);
    messages_->answer(mrNo);
    TfrmMain w;
    w.FormShow();
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgFirstRun, 1));
    EXPECT_EQ(messages_->last().language, "English");
}

TEST_F(StartupTest, FirstRunNoLeavesTheStartDialogPreferenceAsItWas) {
    storePrefs("Deutsch", false);
    messages_->answer(mrNo);
    {
        TfrmMain w;
        w.FormShow();
        EXPECT_EQ(messages_->count(), 1);
        EXPECT_FALSE(TPrefs().StartUpDialog);
        EXPECT_FALSE(w.startupTimer()->isActive());
        EXPECT_FALSE(w.findChild<QAction*>("mnuStartup")->isChecked());
        // Declining leaves the program running with only the placeholder entry.
        EXPECT_EQ(w.serverList()->count(), 1);
    }
    storePrefs("Deutsch", true);
    messages_->clear();
    messages_->answer(mrNo);
    TfrmMain w;
    w.FormShow();
    EXPECT_EQ(messages_->count(), 1);
    EXPECT_TRUE(w.startupTimer()->isActive());
    EXPECT_EQ(w.startupTimer()->interval(), 500);
    EXPECT_TRUE(w.startupTimer()->isSingleShot());
    EXPECT_TRUE(w.findChild<QAction*>("mnuStartup")->isChecked());
    w.startupTimer()->stop();
}

TEST_F(StartupTest, WithServerDatThereIsNoQuestion) {
    storePrefs("Deutsch", false);
    writeProfiles({"Firma"});
    TfrmMain w;
    w.FormShow();
    EXPECT_EQ(messages_->count(), 0);
    EXPECT_FALSE(w.startupTimer()->isActive());
}

TEST_F(StartupTest, ServerManagementRefillsTheQuickAccessList) {
    storePrefs("Deutsch");
    writeProfiles({"Firma"});
    TfrmMain w;
    ASSERT_EQ(w.serverList()->count(), 2);
    ModalWatcher watcher;
    watcher.on("tablor::TfrmServeredit", [&](QDialog* d) {
        // Meanwhile another profile was saved (as the dialog's Apply does).
        writeProfiles({"Firma", "Lager", "Archiv"});
        d->reject();
    });
    w.findChild<QToolButton*>("tbtPrefs")->click();
    EXPECT_EQ(watcher.count("tablor::TfrmServeredit"), 1);
    ASSERT_EQ(w.serverList()->count(), 4);
    EXPECT_EQ(w.serverList()->itemText(0), "<Profil wählen>");
    EXPECT_EQ(w.serverList()->itemText(3), "Archiv");
    EXPECT_EQ(w.serverList()->currentIndex(), 0);
}

TEST_F(StartupTest, StartDialogAtOpen) {
    storePrefs("Deutsch");
    writeProfiles({"Firma", "Lager"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    EXPECT_EQ(d.windowTitle(), "Startdialog");
    EXPECT_TRUE(d.rdoWizard->isChecked());
    EXPECT_FALSE(d.cboServer->isEnabled());
    EXPECT_FALSE(d.cboServer->isEditable());
    ASSERT_EQ(d.cboServer->count(), 3);
    EXPECT_EQ(d.cboServer->itemText(0), "<Profil wählen>");
    EXPECT_EQ(d.cboServer->itemText(2), "Lager");
    EXPECT_EQ(d.cboServer->itemData(2), w.serverList()->itemData(2)); // the same profile record
    EXPECT_EQ(d.cboServer->currentIndex(), 0);
    EXPECT_FALSE(d.chkStart->isChecked());
    EXPECT_EQ(d.Start->text(), "Start");
    EXPECT_EQ(d.palette().color(QPalette::Window), QColor(255, 180, 40));
    EXPECT_TRUE(d.windowFlags() & Qt::Tool);
}

TEST_F(StartupTest, TheWizardChoiceOpensTheWizard) {
    storePrefs("Deutsch", true);
    writeProfiles({"Firma"});
    TfrmMain w;
    ModalWatcher watcher;
    watcher.on("tablor::TfrmStartup", [](QDialog* d) {
        auto* startup = static_cast<TfrmStartup*>(d);
        startup->rdoWizard->click();
        startup->Start->click();
    });
    watcher.on("tablor::TfrmWizard", [](QDialog* d) { d->reject(); });
    w.tmrStartupTimer();
    EXPECT_EQ(watcher.count("tablor::TfrmStartup"), 1);
    EXPECT_EQ(watcher.count("tablor::TfrmWizard"), 1);
}

TEST_F(StartupTest, RadioButtonsEnableTheProfileListOnlyForConnecting) {
    storePrefs("Deutsch");
    writeProfiles({"Firma"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    d.rdoServer->click();
    EXPECT_TRUE(d.cboServer->isEnabled());
    d.rdoStart->click();
    EXPECT_FALSE(d.cboServer->isEnabled());
    d.rdoServer->click();
    d.rdoWizard->click();
    EXPECT_FALSE(d.cboServer->isEnabled());
}

TEST_F(StartupTest, ConnectingWithThePlaceholderSelectedAsksForAProfileAndStaysOpen) {
    storePrefs("Deutsch", true);
    writeProfiles({"Firma"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    d.show();
    d.rdoServer->click();
    d.Start->click();
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, "Bitte wählen Sie ein Serverprofil");
    EXPECT_EQ(messages_->last().type, mtInformation);
    EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbOK));
    EXPECT_EQ(messages_->last().defaultButton, 0);
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_TRUE(TPrefs().StartUpDialog);

    d.cboServer->setCurrentIndex(1);
    d.Start->click();
    EXPECT_EQ(messages_->count(), 1);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
}

TEST_F(StartupTest, PlaceholderIsFineForTheOtherChoices) {
    storePrefs("English", false);
    writeProfiles({"Firma"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    d.show();
    d.Start->click(); // the wizard, with the placeholder selected in the disabled list
    EXPECT_EQ(messages_->count(), 0);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    // Start stores "show this dialog" as the opposite of the check box.
    EXPECT_TRUE(TPrefs().StartUpDialog);
}

TEST_F(StartupTest, PlaceholderMessageInEnglish) {
    storePrefs("English");
    writeProfiles({"Firma"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    EXPECT_EQ(d.rdoStart->text(), "Start program");
    d.rdoServer->click();
    d.Start->click();
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, "Please select a server profile");
    EXPECT_EQ(messages_->last().language, "English");
}

TEST_F(StartupTest, ClosingTheDialogSavesNothing) {
    storePrefs("Deutsch", true);
    writeProfiles({"Firma"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    d.show();
    d.chkStart->setChecked(true);
    d.close();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_TRUE(TPrefs().StartUpDialog);
}

TEST_F(StartupTest, EmptyStoredLanguageFallsBackToGermanAndTheEntriesAreStillCopied) {
    storePrefs("");
    writeProfiles({"Firma", "Lager"});
    TfrmMain w;
    TfrmStartup d(w.serverList(), &w);
    EXPECT_TRUE(errors_->texts().isEmpty());
    EXPECT_EQ(d.windowTitle(), "Startdialog");
    EXPECT_EQ(d.cboServer->count(), 3);
}

TEST_F(StartupTest, DialogSetsItsOwnStoredLanguageAfterTakingTheMainWindows) {
    storePrefs("English");
    writeProfiles({});
    TfrmMain w;            // English, and the language source
    storePrefs("Deutsch"); // saved meanwhile by another window
    TfrmStartup d(w.serverList(), &w);
    EXPECT_EQ(d.windowTitle(), "Startdialog");
    EXPECT_EQ(w.findChild<QToolButton*>("tbtOpen")->toolTip(), "Open");
}

TEST_F(StartupTest, TimerChoiceConnectSelectsTheProfileAndOffersToConnect) {
    storePrefs("Deutsch", true);
    writeProfiles({"Firma", "Lager"});
    TfrmMain w;
    messages_->answer(mrNo); // "connect now?"
    ModalWatcher watcher;
    watcher.on("tablor::TfrmStartup", [](QDialog* dialog) {
        auto* d = qobject_cast<TfrmStartup*>(dialog);
        d->rdoServer->click();
        d->cboServer->setCurrentIndex(2);
        d->chkStart->setChecked(true);
        d->Start->click();
    });
    w.FormShow();
    ASSERT_TRUE(w.startupTimer()->isActive());
    ASSERT_TRUE(waitUntil([&] { return watcher.count("tablor::TfrmStartup") == 1 && messages_->count() == 1; }));
    EXPECT_EQ(w.serverList()->currentIndex(), 2);
    EXPECT_TRUE(w.findChild<QToolButton*>("tbtConnect")->isEnabled());
    EXPECT_EQ(messages_->last().text, LocalizedMessage(msgConnectNow, 0));
    EXPECT_EQ(messages_->last().type, mtConfirmation);
    EXPECT_EQ(messages_->last().defaultButton, mrYes);
    // "Don't show this dialog again": the main window reloads the preference.
    ASSERT_TRUE(waitUntil([&] { return !w.findChild<QAction*>("mnuStartup")->isChecked(); }));
    EXPECT_FALSE(TPrefs().StartUpDialog);
    EXPECT_FALSE(w.startupTimer()->isActive());
}

TEST_F(StartupTest, TimerChoiceStartProgramDoesNothingFurther) {
    storePrefs("Deutsch", true);
    writeProfiles({"Firma"});
    TfrmMain w;
    ModalWatcher watcher;
    watcher.on("tablor::TfrmStartup", [](QDialog* dialog) {
        auto* d = qobject_cast<TfrmStartup*>(dialog);
        d->rdoStart->click();
        d->Start->click();
    });
    w.FormShow();
    ASSERT_TRUE(waitUntil([&] { return watcher.count("tablor::TfrmStartup") == 1; }));
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(messages_->count(), 0);
    EXPECT_EQ(w.serverList()->currentIndex(), 0);
    EXPECT_TRUE(w.findChild<QAction*>("mnuStartup")->isChecked());
}

} // namespace
} // namespace tablor::test
