// The help: both help files hold every topic the program opens, page for page alike; the help
// command, F1 and the Help button of the copy messages open the right topic in the current
// language; a missing or damaged help file is reported.
#include "../app/app_fixture.h"

#include "about/u_about.h"
#include "app/u_main.h"
#include "app/u_startup.h"
#include "help/helpbook.h"
#include "help/helpcontexts.h"
#include "help/helpdesk.h"
#include "help/helpwindow.h"
#include "help/shell.h"
#include "profiles/localizedmessages.h"
#include "profiles/u_serveredit.h"
#include "transfer/u_wizard.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace tablor::test {
namespace {

QString builtHelp(int language) { return QStringLiteral(TABLOR_BINARY_DIR "/bin/") + helpFileName(language); }

TEST(HelpFiles, BothLanguagesHaveEveryTopicTheProgramOpensInTheSameContents) {
    const auto de = HelpBook::open(builtHelp(0));
    const auto en = HelpBook::open(builtHelp(1));
    EXPECT_TRUE(de->problems().isEmpty()) << de->problems().join('\n').toStdString();
    EXPECT_TRUE(en->problems().isEmpty()) << en->problems().join('\n').toStdString();
    EXPECT_EQ(de->topics().front().id, IntroductionTopics[0]);
    EXPECT_EQ(en->topics().front().id, IntroductionTopics[1]);
    // The English help is the German one translated: the same tree, numbers and windows.
    ASSERT_EQ(de->topics().size(), en->topics().size());
    for (std::size_t i = 0; i < de->topics().size(); ++i) {
        const HelpTopic& d = de->topics()[i];
        const HelpTopic& e = en->topics()[i];
        EXPECT_EQ(d.level, e.level) << d.id.toStdString();
        EXPECT_EQ(d.contexts, e.contexts) << d.id.toStdString();
        EXPECT_EQ(d.windows, e.windows) << d.id.toStdString();
        EXPECT_NE(d.title, e.title) << d.id.toStdString() << ": not translated";
    }
    for (int context : HelpContexts) {
        EXPECT_NE(de->topicForContext(context), nullptr) << context;
        EXPECT_NE(en->topicForContext(context), nullptr) << context;
    }
    for (const char* window : HelpWindowNames) EXPECT_NE(en->topicForWindow(window), nullptr) << window;
    // Search: every word must occur; case and umlauts do not matter.
    const auto hits = de->search("JOURNALDATEI Strom");
    ASSERT_FALSE(hits.empty());
    for (const HelpTopic* t : hits) EXPECT_TRUE(t->plainText.contains("journaldatei")) << t->id.toStdString();
    EXPECT_TRUE(de->search("Journaldatei xyzzy").empty());
    EXPECT_EQ(en->search("journal").size(), de->search("journal").size());
}

class HelpTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        installHelpKey(qApp);
    }
    void TearDown() override {
        if (helpWindow()) helpWindow()->close();
        AppTest::TearDown();
    }
    static QString shownTopic() {
        return helpWindow() && helpWindow()->isVisible() ? helpWindow()->currentTopicId() : QString();
    }
    static QString bookFile() {
        return currentHelpBook() ? QFileInfo(currentHelpBook()->path()).fileName() : QString();
    }
    QString topicFor(int language, int context) {
        return HelpBook::open(builtHelp(language))->topicForContext(context)->id;
    }
    QString topicFor(int language, const char* window) {
        return HelpBook::open(builtHelp(language))->topicForWindow(window)->id;
    }
};

TEST_F(HelpTest, HelpCommandFollowsTheLanguageMenu) {
    storePrefs("Deutsch");
    TfrmMain w;
    w.findChild<QAction*>("mnuHelt")->trigger();
    EXPECT_EQ(shownTopic(), "Einleitung");
    EXPECT_EQ(bookFile(), "tablor_help_de.hlp");
    w.mnuEnglishClick();
    EXPECT_EQ(applicationHelpFile(), w.helpFile());
    helpWindow()->close();
    w.findChild<QToolButton*>("tbtHelp")->click();
    EXPECT_EQ(shownTopic(), "Introduction");
    EXPECT_EQ(bookFile(), "tablor_help_en.hlp");
    EXPECT_EQ(helpWindow()->windowTitle(), "Tablor Help");
}

TEST_F(HelpTest, F1InEveryWindowOpensItsTopicInTheCurrentLanguage) {
    for (const char* language : {"Deutsch", "English"}) {
        storePrefs(language);
        const int index = QString(language) == "English" ? 1 : 0;
        TfrmMain w;
        w.show();
        struct Case {
            QWidget* window;
            QString expected;
        };
        TfrmServeredit setup(&w);
        TfrmStartup startup(w.serverList(), &w);
        TfrmAbout about(&w);
        TfrmWizard wizard(w.serverList(), nullptr, &w);
        std::unique_ptr<QDialog> copyMessage(createMessageDialog(
            describeMessage("x", mtInformation, mbOK | mbHelp, 0, language, TfrmMain::CopyHelpContext), &w));
        std::unique_ptr<QDialog> plainMessage(
            createMessageDialog(describeMessage("x", mtInformation, mbOK, 0, language, 0), &w));
        const Case cases[] = {{&w, topicFor(index, TfrmMain::HelpContext)},
                              {&setup, topicFor(index, TfrmServeredit::HelpContext)},
                              {&startup, topicFor(index, "frmStartup")},
                              {&about, topicFor(index, "frmAbout")},
                              {&wizard, topicFor(index, "frmWizard")},
                              {copyMessage.get(), topicFor(index, TfrmMain::CopyHelpContext)},
                              {plainMessage.get(), topicFor(index, TfrmMain::HelpContext)}};
        for (const Case& c : cases) {
            if (helpWindow()) helpWindow()->close();
            c.window->show();
            QTest::keyClick(c.window, Qt::Key_F1);
            EXPECT_EQ(shownTopic(), c.expected) << c.window->objectName().toStdString() << " " << language;
            EXPECT_EQ(bookFile(), helpFileName(index));
            c.window->hide();
        }
        // The numbers of windows still to come (the image viewer) open their topics too.
        for (int context : HelpContexts) {
            ASSERT_TRUE(showHelpContext(context));
            EXPECT_EQ(shownTopic(), topicFor(index, context)) << context;
        }
    }
}

TEST_F(HelpTest, HelpButtonOfACopyMessageOpensTheCopyMessagesTopic) {
    storePrefs("English");
    TfrmMain w;
    std::unique_ptr<QDialog> box(createMessageDialog(
        describeMessage("x", mtInformation, mbOK | mbHelp, 0, "English", TfrmMain::CopyHelpContext), &w));
    box->show(); // modal: the help opens as its child, or it could take no input
    box->findChild<QPushButton*>("Help")->click();
    EXPECT_EQ(shownTopic(), topicFor(1, TfrmMain::CopyHelpContext));
    EXPECT_TRUE(box->isVisible()); // Help does not close the box
    EXPECT_EQ(helpWindow()->parentWidget(), box.get());
    // Closing the box leaves the help open on its own.
    box->hide();
    box.reset();
    ASSERT_NE(helpWindow(), nullptr);
    EXPECT_TRUE(helpWindow()->isVisible());
    EXPECT_EQ(helpWindow()->parentWidget(), nullptr);
}

TEST_F(HelpTest, MissingOrDamagedHelpIsReportedAndNothingOpens) {
    // No help of that name anywhere.
    setApplicationHelpFile(programDir() + "tablor_help_xx.hlp", 0);
    EXPECT_FALSE(showHelpTopic("Einleitung"));
    ASSERT_EQ(messages_->requests().size(), 1u);
    EXPECT_EQ(messages_->requests()[0].text, missingHelpMessage(0, "tablor_help_xx.hlp", QString()));
    for (const QString& place : helpFileCandidates("tablor_help_xx.hlp"))
        EXPECT_TRUE(messages_->requests()[0].text.contains(place)) << place.toStdString();
    EXPECT_EQ(messages_->requests()[0].type, mtError);

    // A file of the right name in ProgramDir that is not a help file.
    QFile damaged(programDir() + "tablor_help_en.hlp");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a help file");
    damaged.close();
    setApplicationHelpFile(programDir() + "tablor_help_en.hlp", 1);
    EXPECT_FALSE(showHelpContext(100));
    ASSERT_EQ(messages_->requests().size(), 2u);
    EXPECT_TRUE(messages_->requests()[1].text.startsWith("The help \"tablor_help_en.hlp\" cannot be read"))
        << messages_->requests()[1].text.toStdString();
    EXPECT_EQ(shownTopic(), QString());
}

TEST_F(HelpTest, WebSiteCommandAndAboutBoxGoThroughTheDesktopOpener) {
    QList<QUrl> opened;
    const UrlOpener previous = setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    TfrmMain w;
    w.mnuVisitSiteClick();
    ModalWatcher watcher;
    watcher.on("tablor::TfrmAbout", [](QDialog* d) { d->accept(); });
    w.mnuAboutClick();
    EXPECT_EQ(watcher.count("tablor::TfrmAbout"), 1);
    setUrlOpener(previous);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QString::fromLatin1(ProductWebSite))});
}

TEST_F(HelpTest, SearchListsTopicsAndShowsTheChosenOne) {
    storePrefs("Deutsch");
    TfrmMain w;
    w.mnuHeltClick();
    helpWindow()->search("Primärschlüssel");
    QListWidget* results = helpWindow()->results();
    ASSERT_GT(results->count(), 0);
    results->setCurrentRow(0);
    emit results->itemActivated(results->item(0));
    EXPECT_EQ(shownTopic(), results->item(0)->data(Qt::UserRole).toString());
    EXPECT_NE(shownTopic(), "Einleitung");
    helpWindow()->browser()->backward();
    EXPECT_EQ(shownTopic(), "Einleitung");
    helpWindow()->search("xyzzy");
    ASSERT_EQ(results->count(), 1);
    EXPECT_EQ(results->item(0)->flags(), Qt::NoItemFlags); // "nothing found" is not a topic
}

} // namespace
} // namespace tablor::test
