// TPrefs against a settings folder of the test's own (never the real user's settings).
#include "profiles/prefs.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tablor;

namespace {

class Prefs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        file = dir.path() + "/Ostrander/Tablor.conf";
        ASSERT_EQ(QSettings("Ostrander", "Tablor").fileName(), file);
    }
    // Writes the settings file's text as another program (or a hand) might have left it.
    void writeSettings(const QByteArray& text) {
        QDir().mkpath(dir.path() + "/Ostrander");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
        f.write(text);
    }

    QTemporaryDir dir;
    QString file;
};

} // namespace

TEST_F(Prefs, DefaultsWithoutStoredValues) {
    TPrefs p;
    EXPECT_EQ(p.LanguageIndex, 0);
    EXPECT_TRUE(p.FLanguage.isEmpty());
    EXPECT_FALSE(p.FPreview);
    EXPECT_FALSE(p.StartUpDialog);
    EXPECT_FALSE(QFile::exists(file)) << "loading must not create the settings";
}

TEST_F(Prefs, SaveWritesBooleansAs32BitIntegersUnderSettings) {
    TPrefs p;
    p.FPreview = true;
    p.FLanguage = "English";
    p.StartUpDialog = false;
    p.Save();
    EXPECT_EQ(p.LanguageIndex, 1);
    QSettings raw("Ostrander", "Tablor");
    EXPECT_EQ(raw.value("Settings/FPreview").toString(), "1");
    EXPECT_EQ(raw.value("Settings/FLanguage").toString(), "English");
    EXPECT_EQ(raw.value("Settings/StartUpDialog").toString(), "0");

    TPrefs q;
    EXPECT_TRUE(q.FPreview);
    EXPECT_EQ(q.FLanguage, "English");
    EXPECT_EQ(q.LanguageIndex, 1);
    EXPECT_FALSE(q.StartUpDialog);
}

TEST_F(Prefs, LanguageIndexKeepsItsValueForUnknownNames) {
    writeSettings("[Settings]\nFPreview=0\nFLanguage=English\nStartUpDialog=1\n");
    TPrefs p;
    EXPECT_EQ(p.LanguageIndex, 1);
    EXPECT_TRUE(p.StartUpDialog);
    writeSettings("[Settings]\nFPreview=0\nFLanguage=Klingonisch\nStartUpDialog=1\n");
    p.Load();
    EXPECT_EQ(p.FLanguage, "Klingonisch");
    EXPECT_EQ(p.LanguageIndex, 1);
    TPrefs fresh;
    EXPECT_EQ(fresh.LanguageIndex, 0);
    writeSettings("[Settings]\nFPreview=0\nFLanguage=Deutsch\nStartUpDialog=1\n");
    p.Load();
    EXPECT_EQ(p.LanguageIndex, 0);
}

TEST_F(Prefs, MissingPreviewStopsTheReading) {
    writeSettings("[Settings]\nFLanguage=English\nStartUpDialog=1\n");
    TPrefs p;
    EXPECT_TRUE(p.FLanguage.isEmpty());
    EXPECT_EQ(p.LanguageIndex, 0);
    EXPECT_FALSE(p.StartUpDialog);
}

TEST_F(Prefs, BooleanOfTheWrongTypeStopsTheReadingThere) {
    // "true" is not a 32-bit integer: nothing after FPreview is read.
    writeSettings("[Settings]\nFPreview=true\nFLanguage=English\nStartUpDialog=1\n");
    TPrefs p;
    EXPECT_FALSE(p.FPreview);
    EXPECT_TRUE(p.FLanguage.isEmpty());
    EXPECT_FALSE(p.StartUpDialog);

    // A later wrong type keeps what was read before it.
    writeSettings("[Settings]\nFPreview=1\nFLanguage=English\nStartUpDialog=yes\n");
    TPrefs q;
    EXPECT_TRUE(q.FPreview);
    EXPECT_EQ(q.LanguageIndex, 1);
    EXPECT_FALSE(q.StartUpDialog);

    writeSettings("[Settings]\nFPreview=1\nFLanguage=English\nStartUpDialog=99999999999\n");
    TPrefs r;
    EXPECT_FALSE(r.StartUpDialog);
}

TEST_F(Prefs, ValuesAfterAFailedReadKeepWhatTheObjectHeld) {
    TPrefs p;
    p.FLanguage = "English";
    p.StartUpDialog = true;
    writeSettings("[Settings]\nFPreview=2\nFLanguage=\"a, b\"\nStartUpDialog=0\n");
    p.Load();
    EXPECT_TRUE(p.FPreview); // any non-zero integer is true
    // The quoted text is one string; unquoted "a, b" would be a list.
    EXPECT_EQ(p.FLanguage, "a, b");
    EXPECT_FALSE(p.StartUpDialog);

    p.FLanguage = "English";
    p.StartUpDialog = true;
    writeSettings("[Settings]\nFPreview=0\nFLanguage=a, b\nStartUpDialog=0\n");
    p.Load();
    EXPECT_FALSE(p.FPreview);
    EXPECT_EQ(p.FLanguage, "English") << "a list is not a language name";
    EXPECT_TRUE(p.StartUpDialog) << "reading stopped at the language";
}

TEST_F(Prefs, MissingLanguageReadsAsEmptyAndReadingGoesOn) {
    writeSettings("[Settings]\nFPreview=1\nStartUpDialog=1\n");
    TPrefs p;
    p.FLanguage = "English";
    p.Load();
    EXPECT_TRUE(p.FLanguage.isEmpty());
    EXPECT_TRUE(p.StartUpDialog);
}

TEST_F(Prefs, EachObjectIsASnapshotAndSaveWritesAllItsValues) {
    TPrefs a;
    TPrefs b;
    a.FPreview = true;
    a.FLanguage = "English";
    a.Save();
    b.StartUpDialog = true;
    b.Save(); // b still holds the old preview and language and writes them back
    TPrefs c;
    EXPECT_FALSE(c.FPreview);
    EXPECT_TRUE(c.FLanguage.isEmpty());
    EXPECT_TRUE(c.StartUpDialog);
}

TEST_F(Prefs, SaveIntoAnUnwritablePlaceThrows) {
    // A file where the settings folder should be makes the folder impossible to create.
    QFile blocker(dir.path() + "/Ostrander");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TPrefs p;
    p.FLanguage = "English";
    EXPECT_THROW(p.Save(), PrefsError);
}
