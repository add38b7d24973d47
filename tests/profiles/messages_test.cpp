// The two-language message table: completeness and the exact texts callers rely on.
#include "profiles/localizedmessages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace tablor;

TEST(LocalizedMessagesTable, HasTwentySevenKeysInOrderWithBothLanguages) {
    static_assert(LocalizedMessageCount == 27);
    std::set<std::string> names;
    for (const LocalizedText& row : LocalizedMessages) {
        EXPECT_NE(std::string(row.german), "") << row.key;
        EXPECT_NE(std::string(row.english), "") << row.key;
        names.insert(row.key);
    }
    EXPECT_EQ(names.size(), 27u);
    EXPECT_STREQ(LocalizedMessages[msgFind].key, "msgFind");
    EXPECT_STREQ(LocalizedMessages[msgSelectProfileItem].key, "msgSelectProfileItem");
    EXPECT_STREQ(LocalizedMessages[msgCheckingDb].key, "msgCheckingDb");
}

TEST(LocalizedMessagesTable, LooksUpByLanguageIndex) {
    EXPECT_EQ(LocalizedMessage(msgSelectProfileItem, 0), QString::fromUtf8("<Profil wählen>"));
    EXPECT_EQ(LocalizedMessage(msgSelectProfileItem, 1), "<Select Profile>");
    EXPECT_EQ(LocalizedMessage(msgNewServer, 0), "<Neuer MySQL Server>");
    EXPECT_EQ(LocalizedMessage(msgNewServer, 1), "<New MySQL Server>");
    EXPECT_EQ(LocalizedMessage(msgSaveChanges, 0), QString::fromUtf8("Sollen die Änderungen gespeichert werden?"));
    EXPECT_EQ(LocalizedMessage(msgCopying, 1), "Copy");
    EXPECT_EQ(LocalizedMessage(msgErroneousRecords, 1), "erroneous records.");
}

TEST(LocalizedMessagesTable, SubstitutesTheProfileName) {
    EXPECT_EQ(LocalizedMessage(msgDeleteProfile, 0, "Test"),
              QString::fromUtf8("Möchten Sie das Profil \"Test\" wirklich löschen?"));
    EXPECT_EQ(LocalizedMessage(msgDeleteProfile, 1, "50%s off"),
              "Do you really want to delete the profile \"50%s off\"");
    EXPECT_EQ(LocalizedMessage(msgStructureMismatch, 1, "kunden"),
              "The table structure of \"kunden\" is not identical. Please change copy options or "
              "check structure manually.");
}

TEST(LocalizedMessagesTable, FirstRunTextBreaksWithACarriageReturn) {
    const QString de = LocalizedMessage(msgFirstRun, 0);
    EXPECT_TRUE(de.startsWith("Herzlich willkommen!\rAnscheinend"));
    EXPECT_TRUE(de.endsWith(QString::fromUtf8("Möchten Sie jetzt zur Serververwaltung wechseln?")));
    const QString en = LocalizedMessage(msgFirstRun, 1);
    EXPECT_EQ(en, "Welcome!\rThis seems to be the first time you run this application. You should have "
                  "at least one server profile. Would you like to open the server management now?");
}
