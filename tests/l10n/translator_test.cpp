// Tests of the localisation engine: switching, the unknown-language error, the language source
// mark and the language a new window starts in.
#include "l10n/translator.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

using namespace tablor;

// A small window designed in German: a label, an action with caption and hint, a menu.
constexpr std::array kGermanWindowTexts{
    TextPair{"", "windowTitle", "Fenster", "Window"}, TextPair{"lblHello", "text", "Hallo", "Hello"},
    TextPair{"actOpen", "text", "Öffnen", "Open"},    TextPair{"actOpen", "toolTip", "Datei öffnen", "Open a file"},
    TextPair{"mnuFile", "title", "Datei", "File"},    TextPair{"lblKeep", "text", "Nur Deutsch", ""},
};

struct GermanWindow {
    std::unique_ptr<QWidget> widget = std::make_unique<QWidget>();
    QLabel* hello;
    QLabel* keep;
    QAction* open;
    QMenu* menu;
    TTranslator* translator;

    GermanWindow() {
        widget->setObjectName("frmTest");
        hello = new QLabel("Hallo", widget.get());
        hello->setObjectName("lblHello");
        keep = new QLabel("Nur Deutsch", widget.get());
        keep->setObjectName("lblKeep");
        open = new QAction("Öffnen", widget.get());
        open->setObjectName("actOpen");
        menu = new QMenu("Datei", widget.get());
        menu->setObjectName("mnuFile");
        widget->setWindowTitle("Fenster");
        translator = new TTranslator(widget.get(), "Deutsch", kGermanWindowTexts);
    }
};

// A window designed in English, like the server setup dialog.
constexpr std::array kEnglishWindowTexts{
    TextPair{"btnClose", "text", "Schließen", "Close"},
};

struct EnglishWindow {
    std::unique_ptr<QWidget> widget = std::make_unique<QWidget>();
    QLabel* close;
    TTranslator* translator;

    EnglishWindow() {
        close = new QLabel("Close", widget.get());
        close->setObjectName("btnClose");
        translator = new TTranslator(widget.get(), "English", kEnglishWindowTexts);
    }
};

TEST(TranslatorSwitch, ShowsEveryTextInTheChosenLanguageAndBack) {
    GermanWindow w;
    EXPECT_EQ(w.translator->language(), "Deutsch");
    w.translator->switchLanguage("English");
    EXPECT_EQ(w.widget->windowTitle(), "Window");
    EXPECT_EQ(w.hello->text(), "Hello");
    EXPECT_EQ(w.open->text(), "Open");
    EXPECT_EQ(w.open->toolTip(), "Open a file");
    EXPECT_EQ(w.menu->title(), "File");
    EXPECT_EQ(w.translator->language(), "English");
    EXPECT_EQ(w.translator->languageIndex(), 1);

    w.translator->switchLanguage("Deutsch");
    EXPECT_EQ(w.hello->text(), "Hallo");
    EXPECT_EQ(w.open->toolTip(), "Datei öffnen");
    EXPECT_EQ(w.menu->title(), "Datei");
    EXPECT_EQ(w.translator->languageIndex(), 0);
}

TEST(TranslatorSwitch, EmptyTextLeavesThePropertyUnchanged) {
    GermanWindow w;
    w.translator->switchLanguage("English");
    EXPECT_EQ(w.keep->text(), "Nur Deutsch");
}

TEST(TranslatorSwitch, UnknownOrEmptyNameFailsAndChangesNothing) {
    GermanWindow w;
    try {
        w.translator->switchLanguage("Klingon");
        FAIL() << "no error for an unknown language";
    } catch (const UnknownLanguage& e) {
        EXPECT_STREQ(e.what(), "Unknown language 'Klingon'");
    }
    EXPECT_THROW(w.translator->switchLanguage(""), UnknownLanguage);
    EXPECT_THROW(w.translator->switchLanguage("english"), UnknownLanguage);
    EXPECT_EQ(w.translator->language(), "Deutsch");
    EXPECT_EQ(w.hello->text(), "Hallo");
}

TEST(TranslatorSwitch, LanguageChangedIsSignalled) {
    GermanWindow w;
    QString seen;
    QObject::connect(w.translator, &TTranslator::languageChanged, [&](const QString& n) { seen = n; });
    w.translator->switchLanguage("English");
    EXPECT_EQ(seen, "English");
}

TEST(TranslatorSwitch, AddedSettersAndTextsFollowTheLanguage) {
    GermanWindow w;
    QComboBox combo;
    combo.addItem("<Profil wählen>");
    w.translator->addSetter([&](const QString& t) { combo.setItemText(0, t); }, "<Profil wählen>", "<Select Profile>");
    QLabel extra;
    w.translator->addText(&extra, "text", "Zusatz", "Extra");
    w.translator->switchLanguage("English");
    EXPECT_EQ(combo.itemText(0), "<Select Profile>");
    EXPECT_EQ(extra.text(), "Extra");
    // Added while English is shown: applied in English at once.
    QLabel late;
    w.translator->addText(&late, "text", "Spät", "Late");
    EXPECT_EQ(late.text(), "Late");
}

TEST(TranslatorTable, MissingControlOrPropertyIsReportedWhenTheWindowIsBuilt) {
    QWidget window;
    constexpr std::array missing{TextPair{"lblNone", "text", "a", "b"}};
    EXPECT_THROW(TTranslator(&window, "Deutsch", missing), TextTableError);
    auto* label = new QLabel(&window);
    label->setObjectName("lblThere");
    constexpr std::array badProperty{TextPair{"lblThere", "noSuchProperty", "a", "b"}};
    EXPECT_THROW(TTranslator(&window, "Deutsch", badProperty), TextTableError);
    EXPECT_TRUE(TTranslator::instances().empty());
}

TEST(TranslatorMark, MarkedWindowSwitchesEveryOpenWindowAtOnce) {
    GermanWindow main;
    EnglishWindow dialog;
    main.translator->setTranslateApplication(true);
    main.translator->switchLanguage("English");
    EXPECT_EQ(main.hello->text(), "Hello");
    EXPECT_EQ(dialog.close->text(), "Close");
    main.translator->switchLanguage("Deutsch");
    EXPECT_EQ(main.hello->text(), "Hallo");
    EXPECT_EQ(dialog.close->text(), "Schließen");
    EXPECT_EQ(dialog.translator->language(), "Deutsch");
}

TEST(TranslatorMark, UnmarkedWindowSwitchesOnlyItself) {
    GermanWindow main;
    EnglishWindow dialog;
    dialog.translator->switchLanguage("Deutsch");
    main.translator->switchLanguage("English");
    EXPECT_EQ(main.hello->text(), "Hello");
    EXPECT_EQ(dialog.close->text(), "Schließen");
}

TEST(TranslatorMark, NewWindowTakesTheMarkedWindowsLanguage) {
    GermanWindow main;
    main.translator->switchLanguage("English");
    main.translator->setTranslateApplication(true);
    GermanWindow second;
    EXPECT_EQ(second.translator->language(), "English");
    EXPECT_EQ(second.hello->text(), "Hello");

    main.translator->switchLanguage("Deutsch");
    EnglishWindow dialog;
    EXPECT_EQ(dialog.translator->language(), "Deutsch");
    EXPECT_EQ(dialog.close->text(), "Schließen");
}

TEST(TranslatorMark, WithoutMarkANewWindowKeepsItsDesignLanguage) {
    GermanWindow main;
    main.translator->switchLanguage("English");
    EnglishWindow dialog;
    GermanWindow second;
    EXPECT_EQ(dialog.translator->language(), "English");
    EXPECT_EQ(second.translator->language(), "Deutsch");
    EXPECT_EQ(second.hello->text(), "Hallo");
}

TEST(TranslatorMark, TheFirstMarkedWindowIsTheSource) {
    GermanWindow first;
    EnglishWindow second;
    first.translator->setTranslateApplication(true);
    second.translator->setTranslateApplication(true);
    EXPECT_EQ(TTranslator::markedInstance(), first.translator);
    GermanWindow third;
    EXPECT_EQ(third.translator->language(), "Deutsch");
}

TEST(TranslatorMark, WindowThatSetsItsOwnLanguageDoesSoAfterTakingTheMarkedOne) {
    GermanWindow main;
    main.translator->setTranslateApplication(true);
    main.translator->switchLanguage("English");
    EnglishWindow dialog;                         // takes English from the main window
    dialog.translator->switchLanguage("Deutsch"); // then its own stored language
    EXPECT_EQ(dialog.close->text(), "Schließen");
    EXPECT_EQ(main.hello->text(), "Hello");
}

TEST(TranslatorMark, ClosedWindowsLeaveTheRegistry) {
    GermanWindow main;
    main.translator->setTranslateApplication(true);
    {
        EnglishWindow dialog;
        EXPECT_EQ(TTranslator::instances().size(), 2u);
    }
    EXPECT_EQ(TTranslator::instances().size(), 1u);
    main.translator->switchLanguage("English"); // must not touch the closed window
    EXPECT_EQ(main.hello->text(), "Hello");
}

} // namespace
