// LocalizedMessageDlg: titles, captions, order, default button, Escape, close box and help, on
// the request description and on the real dialog driven by keys.
#include "profiles/localizedmessagedlg.h"
#include "support/scoped_hook.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tablor;

namespace {

// Runs `interact` on the box once it is shown by the real LocalizedMessageDlg and returns what
// the call returned.
int runReal(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int def, const QString& language, int help,
            const std::function<void(QDialog*)>& interact) {
    bool ran = false;
    QTimer poll; // looks for the box until it is shown, then acts once
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || ran) return;
        ran = true;
        poll.stop();
        interact(box);
    });
    poll.start();
    const int result = LocalizedMessageDlg(text, type, buttons, def, language, help);
    EXPECT_TRUE(ran);
    return result;
}

QStringList buttonTexts(QDialog* box) {
    QStringList out;
    for (QPushButton* b : box->findChildren<QPushButton*>()) out << b->text();
    return out;
}

} // namespace

TEST(MessageDescription, GermanYesNoConfirmationWithDefaultNo) {
    const MessageRequest r = describeMessage("?", mtConfirmation, mbYes | mbNo, mrNo, "Deutsch", 0);
    EXPECT_EQ(r.title, QString::fromUtf8("Bestätigung"));
    EXPECT_EQ(r.captions, (QStringList{"&Ja", "&Nein"}));
    EXPECT_EQ(r.effectiveDefault, mrNo);
    EXPECT_EQ(r.escapeResult, mrNo);
}

TEST(MessageDescription, EnglishWhenTheLanguageIsNotExactlyDeutsch) {
    for (const QString lang : {"English", "", "deutsch", "Klingonisch"}) {
        const MessageRequest r = describeMessage("?", mtConfirmation, mbYes | mbNo, mrNo, lang, 0);
        EXPECT_EQ(r.title, "Confirmation") << lang.toStdString();
        EXPECT_EQ(r.captions, (QStringList{"&Yes", "&No"})) << lang.toStdString();
    }
    const MessageRequest info = describeMessage("x", mtInformation, mbOK, 0, "English", 0);
    EXPECT_EQ(info.title, "Information");
    EXPECT_EQ(info.captions, QStringList{"OK"});
}

TEST(MessageDescription, TitlesOfEveryType) {
    auto title = [](TMsgDlgType t, const char* lang) { return describeMessage("", t, mbOK, 0, lang, 0).title; };
    EXPECT_EQ(title(mtWarning, "Deutsch"), "Warnung");
    EXPECT_EQ(title(mtWarning, "English"), "Warning");
    EXPECT_EQ(title(mtError, "Deutsch"), "Fehler");
    EXPECT_EQ(title(mtError, "English"), "Error");
    EXPECT_EQ(title(mtInformation, "Deutsch"), "Information");
    EXPECT_EQ(title(mtCustom, "Deutsch"), "Tablor 2.0");
    EXPECT_EQ(title(mtCustom, "English"), "Tablor 2.0");
}

TEST(MessageDescription, AllButtonsInTableOrderWithResultsAndBothCaptionSets) {
    const TMsgDlgButtons all =
        mbYes | mbNo | mbOK | mbCancel | mbAbort | mbRetry | mbIgnore | mbAll | mbNoToAll | mbYesToAll | mbHelp;
    const MessageRequest de = describeMessage("", mtCustom, all, 0, "Deutsch", 0);
    EXPECT_EQ(de.captions, (QStringList{"&Ja", "&Nein", "OK", "Abbrechen", "&Abbrechen", "&Wiederholen", "&Ignorieren",
                                        "&Alle", "&Alle Nein", "A&lle Ja", "&Hilfe"}));
    EXPECT_EQ(de.results, (std::vector<int>{6, 7, 1, 2, 3, 4, 5, 8, 9, 10, 0}));
    const MessageRequest en = describeMessage("", mtCustom, all, 0, "English", 0);
    EXPECT_EQ(en.captions, (QStringList{"&Yes", "&No", "OK", "&Cancel", "&Cancel", "Wiederholen", "Ignorieren", "Alle",
                                        "&No to all", "Yes to &all", "Hilfe"}));
    EXPECT_EQ(englishCaption("Abbruch"), "&Cancel");
    EXPECT_EQ(englishCaption("&Ok&"), "Ok");
}

TEST(MessageDescription, StandardDefaultAndEscapeWhenNotGiven) {
    EXPECT_EQ(describeMessage("", mtWarning, mbOK | mbCancel, 0, "", 0).effectiveDefault, mrOk);
    EXPECT_EQ(describeMessage("", mtWarning, mbYes | mbNo, 0, "", 0).effectiveDefault, mrYes);
    EXPECT_EQ(describeMessage("", mtWarning, mbAbort | mbRetry | mbIgnore, 0, "", 0).effectiveDefault, mrRetry);
    // A default that is not among the buttons falls back too.
    EXPECT_EQ(describeMessage("", mtWarning, mbYes | mbNo, mrCancel, "", 0).effectiveDefault, mrYes);
    EXPECT_EQ(describeMessage("", mtWarning, mbIgnore, 0, "", 0).effectiveDefault, 0);

    EXPECT_EQ(describeMessage("", mtWarning, mbYes | mbNo | mbCancel, 0, "", 0).escapeResult, mrCancel);
    EXPECT_EQ(describeMessage("", mtWarning, mbYes | mbNo, 0, "", 0).escapeResult, mrNo);
    EXPECT_EQ(describeMessage("", mtWarning, mbOK | mbHelp, 0, "", 0).escapeResult, mrOk);
    EXPECT_EQ(describeMessage("", mtWarning, mbAbort | mbRetry | mbIgnore, 0, "", 0).escapeResult, 0);
}

TEST(MessageDialogReal, GermanCaptionsTitleAndEnterAnswersTheDefaultNo) {
    const int r = runReal("Wirklich?", mtConfirmation, mbYes | mbNo, mrNo, "Deutsch", 0, [](QDialog* box) {
        EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Bestätigung"));
        EXPECT_EQ(buttonTexts(box), (QStringList{"&Ja", "&Nein"}));
        auto* no = box->findChild<QPushButton*>("No");
        ASSERT_NE(no, nullptr);
        EXPECT_TRUE(no->isDefault());
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(r, mrNo);
}

TEST(MessageDialogReal, EnglishCaptionsAndButtonsAnswerTheirResults) {
    const int r = runReal("Really?", mtConfirmation, mbYes | mbNo, mrNo, "English", 0, [](QDialog* box) {
        EXPECT_EQ(box->windowTitle(), "Confirmation");
        EXPECT_EQ(buttonTexts(box), (QStringList{"&Yes", "&No"}));
        box->findChild<QPushButton*>("Yes")->click();
    });
    EXPECT_EQ(r, mrYes);
    const int ok = runReal("Done", mtInformation, mbOK, 0, "English", 0, [](QDialog* box) {
        EXPECT_EQ(box->windowTitle(), "Information");
        EXPECT_EQ(buttonTexts(box), QStringList{"OK"});
        QTest::keyClick(box, Qt::Key_Enter);
    });
    EXPECT_EQ(ok, mrOk);
}

TEST(MessageDialogReal, EscapePressesCancelThenNoThenOk) {
    auto escape = [](QDialog* box) { QTest::keyClick(box, Qt::Key_Escape); };
    EXPECT_EQ(runReal("", mtConfirmation, mbYes | mbNo | mbCancel, mrYes, "Deutsch", 0, escape), mrCancel);
    EXPECT_EQ(runReal("", mtConfirmation, mbYes | mbNo, mrYes, "Deutsch", 0, escape), mrNo);
    EXPECT_EQ(runReal("", mtInformation, mbOK, 0, "Deutsch", 0, escape), mrOk);
}

TEST(MessageDialogReal, EscapeDoesNothingWithoutCancelNoOrOkAndTheCloseBoxGivesTwo) {
    const int r = runReal("", mtError, mbAbort | mbRetry | mbIgnore, 0, "Deutsch", 0, [](QDialog* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        EXPECT_TRUE(box->isVisible());
        box->close();
    });
    EXPECT_EQ(r, mrCancel);
}

TEST(MessageDialogReal, HelpButtonAndF1OpenTheContextWithoutClosing) {
    std::vector<int> opened;
    setMessageHelpHandler([&](int context) { opened.push_back(context); });
    const tablor::test::ScopeExit unhook([] { setMessageHelpHandler(nullptr); });
    const int r = runReal("", mtInformation, mbOK | mbHelp, 0, "Deutsch", 700, [&](QDialog* box) {
        EXPECT_EQ(box->property("helpContext").toInt(), 700);
        EXPECT_EQ(box->findChild<QPushButton*>("Help")->text(), "&Hilfe");
        box->findChild<QPushButton*>("Help")->click();
        QTest::keyClick(box, Qt::Key_F1);
        EXPECT_TRUE(box->isVisible());
        box->findChild<QPushButton*>("OK")->click();
    });
    EXPECT_EQ(r, mrOk);
    EXPECT_EQ(opened, (std::vector<int>{700, 700}));
}

TEST(MessageDialogReal, CarriageReturnsShowAsLineBreaks) {
    const MessageRequest req = describeMessage("a\rb", mtInformation, mbOK, 0, "Deutsch", 0);
    std::unique_ptr<QDialog> box(createMessageDialog(req));
    auto* label = box->findChild<QLabel*>("Message");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "a\nb");
}

TEST(MessagePresenterSeam, RecorderAnswersInOrderAndRestoresThePrevious) {
    int outerCalls = 0;
    const auto outer = tablor::test::installed(setMessagePresenter, [&](const MessageRequest&) {
        ++outerCalls;
        return mrIgnore;
    });
    {
        MessageBoxRecorder rec(mrNo);
        rec.answer(mrYes);
        EXPECT_EQ(LocalizedMessageDlg("one", mtWarning, mbYes | mbNo, 0, "Deutsch", 5), mrYes);
        EXPECT_EQ(LocalizedMessageDlg("two", mtWarning, mbYes | mbNo, 0, "English", 0), mrNo);
        ASSERT_EQ(rec.count(), 2);
        EXPECT_EQ(rec.requests()[0].text, "one");
        EXPECT_EQ(rec.requests()[0].helpContext, 5);
        EXPECT_EQ(rec.requests()[0].title, "Warnung");
        EXPECT_EQ(rec.last().captions, (QStringList{"&Yes", "&No"}));
    }
    EXPECT_EQ(LocalizedMessageDlg("three", mtWarning, mbOK, 0, "", 0), mrIgnore);
    EXPECT_EQ(outerCalls, 1);
}
