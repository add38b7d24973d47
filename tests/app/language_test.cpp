// Tests of the languages: the main window's language at creation with its fallback, and the
// Language menu switching every open window, the check marks, the stored preference, the
// quick-access placeholder and the help file.
#include "app_fixture.h"

#include "app/u_main.h"
#include "app/u_startup.h"
#include "profiles/programdir.h"
#include "profiles/u_serveredit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace tablor::test {
namespace {

class LanguageTest : public AppTest {
protected:
    static QAction* action(TfrmMain& w, const char* name) { return w.findChild<QAction*>(name); }
    static bool deutschChecked(TfrmMain& w) { return action(w, "mnuDeutsch")->isChecked(); }
    static bool englishChecked(TfrmMain& w) { return action(w, "mnuEnglish")->isChecked(); }
};

TEST_F(LanguageTest, StoredEnglishShowsTheMainWindowInEnglish) {
    storePrefs("English");
    writeProfiles({"Firma"});
    TfrmMain w;
    EXPECT_EQ(w.translator()->language(), "English");
    EXPECT_TRUE(englishChecked(w));
    EXPECT_FALSE(deutschChecked(w));
    EXPECT_EQ(w.findChild<QToolButton*>("tbtSave")->toolTip(), "Download");
    EXPECT_EQ(w.findChild<QLabel*>("Label1")->text(), "Quick access");
    EXPECT_EQ(action(w, "mnuServerAdmin")->text(), "Manage servers...");
    EXPECT_EQ(w.serverList()->itemText(0), "<Select Profile>");
    EXPECT_EQ(w.serverList()->itemText(1), "Firma");
    EXPECT_EQ(w.helpFile(), ProgramDir() + "tablor_help_en.hlp");
    EXPECT_TRUE(w.translator()->translateApplication());
    EXPECT_TRUE(errors_->texts().isEmpty());
}

TEST_F(LanguageTest, EmptyOrUnknownStoredLanguageFallsBackToGermanSilently) {
    for (const char* stored : {"", "Klingon"}) {
        storePrefs(QString::fromUtf8(stored));
        writeProfiles({});
        TfrmMain w;
        EXPECT_EQ(w.translator()->language(), "Deutsch") << stored;
        EXPECT_TRUE(deutschChecked(w)) << stored;
        EXPECT_FALSE(englishChecked(w)) << stored;
        EXPECT_EQ(w.findChild<QToolButton*>("tbtSave")->toolTip(), "Lokal speichern");
        EXPECT_EQ(w.serverList()->itemText(0), "<Profil wählen>");
        EXPECT_EQ(w.helpFile(), ProgramDir() + "tablor_help_de.hlp");
        EXPECT_EQ(w.messageLanguage(), "Deutsch");
        EXPECT_TRUE(errors_->texts().isEmpty()) << stored;
        EXPECT_EQ(messages_->count(), 0) << stored;
    }
}

TEST_F(LanguageTest, MenuSwitchesEveryOpenWindowAndBack) {
    storePrefs("Deutsch");
    writeProfiles({"Firma", "Lager"});
    TfrmMain w;
    TfrmStartup startup(w.serverList(), &w);
    startup.show();
    ASSERT_EQ(startup.windowTitle(), "Startdialog");

    action(w, "mnuEnglish")->trigger();
    EXPECT_EQ(w.findChild<QToolButton*>("tbtOpen")->toolTip(), "Open");
    EXPECT_EQ(action(w, "mnuBild")->text(), "Image preview");
    EXPECT_EQ(w.findChild<QMenu*>("Extras1")->title(), "Options");
    // The other open window follows at once.
    EXPECT_EQ(startup.windowTitle(), "Start dialog");
    EXPECT_EQ(startup.rdoServer->text(), "Connect to a server");
    EXPECT_EQ(startup.chkStart->text(), "Don't show this dialog again");
    EXPECT_TRUE(englishChecked(w));
    EXPECT_FALSE(deutschChecked(w));
    EXPECT_EQ(TPrefs().FLanguage, "English");
    EXPECT_EQ(w.languageIndex(), 1);
    EXPECT_EQ(w.helpFile(), ProgramDir() + "tablor_help_en.hlp");

    action(w, "mnuDeutsch")->trigger();
    EXPECT_EQ(w.findChild<QToolButton*>("tbtOpen")->toolTip(), "Öffnen");
    EXPECT_EQ(startup.windowTitle(), "Startdialog");
    EXPECT_EQ(startup.rdoServer->text(), "Mit einem Server verbinden");
    EXPECT_TRUE(deutschChecked(w));
    EXPECT_FALSE(englishChecked(w));
    EXPECT_EQ(TPrefs().FLanguage, "Deutsch");
    EXPECT_EQ(w.helpFile(), ProgramDir() + "tablor_help_de.hlp");
}

TEST_F(LanguageTest, MenuAlsoSwitchesTheServerSetupDialog) {
    storePrefs("Deutsch");
    writeProfiles({"Firma"});
    TfrmMain w;
    TfrmServeredit setup(&w); // designed in English, shown in the main window's language
    setup.show();
    auto* heading = setup.findChild<QLabel*>("Label1");
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->text(), "Enfernte Server verwalten");
    action(w, "mnuEnglish")->trigger();
    EXPECT_EQ(heading->text(), "Remote server management");
    EXPECT_EQ(setup.translator()->language(), "English");
    action(w, "mnuDeutsch")->trigger();
    EXPECT_EQ(heading->text(), "Enfernte Server verwalten");
}

TEST_F(LanguageTest, ChoosingTheCheckedItemAgainKeepsExactlyOneCheckMark) {
    storePrefs("English");
    writeProfiles({});
    TfrmMain w;
    action(w, "mnuEnglish")->trigger(); // a click unchecks a checked item by itself
    EXPECT_TRUE(englishChecked(w));
    EXPECT_FALSE(deutschChecked(w));
    action(w, "mnuDeutsch")->trigger();
    action(w, "mnuDeutsch")->trigger();
    EXPECT_TRUE(deutschChecked(w));
    EXPECT_FALSE(englishChecked(w));
}

TEST_F(LanguageTest, SwitchingKeepsTheSelectedProfileAndChangesOnlyThePlaceholder) {
    storePrefs("Deutsch");
    writeProfiles({"Firma", "Lager"});
    TfrmMain w;
    w.serverList()->setCurrentIndex(2);
    action(w, "mnuEnglish")->trigger();
    EXPECT_EQ(w.serverList()->currentIndex(), 2);
    EXPECT_EQ(w.serverList()->itemText(0), "<Select Profile>");
    EXPECT_EQ(w.serverList()->itemText(1), "Firma");
    EXPECT_EQ(w.serverList()->itemText(2), "Lager");
    action(w, "mnuDeutsch")->trigger();
    EXPECT_EQ(w.serverList()->itemText(0), "<Profil wählen>");
    EXPECT_EQ(w.serverList()->currentIndex(), 2);
}

TEST_F(LanguageTest, WindowsOpenedAfterASwitchShowTheChosenLanguage) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    action(w, "mnuEnglish")->trigger();
    // The start dialog would set its own stored language anyway; a window without one shows the
    // main window's language because the main window stays the language source.
    EXPECT_TRUE(w.translator()->translateApplication());
    QWidget later;
    auto* label = new QLabel("Hallo", &later);
    label->setObjectName("lblHello");
    static constexpr TextPair texts[] = {{"lblHello", "text", "Hallo", "Hello"}};
    auto* translator = new TTranslator(&later, "Deutsch", texts);
    EXPECT_EQ(translator->language(), "English");
    EXPECT_EQ(label->text(), "Hello");
}

TEST_F(LanguageTest, TheWizardShowsTheMainWindowsLanguageAndWordsItsMessagesInIt) {
    storePrefs("English");
    writeProfiles({});
    TfrmMain w;
    messages_->clear();
    ModalWatcher watcher;
    QString title;
    watcher.on("tablor::TfrmWizard", [&](QDialog* d) {
        title = d->windowTitle();
        auto* next = d->findChild<QPushButton*>("btnWeiter");
        next->click(); // to Access to MySQL
        next->click(); // nothing chosen
        d->reject();
    });
    action(w, "mnuWizard")->trigger();
    EXPECT_EQ(title, "Database wizard");
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().language, "English");
    EXPECT_EQ(messages_->last().text, "Please select a source and a target database.");
}

} // namespace
} // namespace tablor::test
