// The search scan: the order field by field and record by record after the selected field,
// the lower-casing of A to Z only, and the start rules of search and find next.
#include "app/findingrid.h"
#include "support/memdataset.h"

#include <gtest/gtest.h>

namespace tablor::test {
namespace {

std::unique_ptr<MemDataSet> people() {
    auto ds = std::make_unique<MemDataSet>(
        std::vector<MemDataSet::Col>{
            {"Id", TFieldType::ftInteger}, {"Name", TFieldType::ftString}, {"Ort", TFieldType::ftString}},
        std::vector<std::vector<QVariant>>{
            {1, "Anna", "Köln"}, {2, "Bernd", "ÖSTERREICH Anna"}, {3, "Carla", "Bonn"}, {4, "anna", "Bremen"}});
    ds->Open();
    return ds;
}

TEST(LowerAsciiLetters, ChangesOnlyAToZ) {
    EXPECT_EQ(lowerAsciiLetters("AbC Ä Ö Ü ß É"), "abc Ä Ö Ü ß É");
    EXPECT_TRUE(containsWord("KÖLN", lowerAsciiLetters("kÖln")));
    // An upper-case umlaut does not match its lower-case form.
    EXPECT_FALSE(containsWord("KÖLN", lowerAsciiLetters("köln")));
    EXPECT_FALSE(containsWord("anything", QString()));
    EXPECT_FALSE(containsWord("", "a"));
}

TEST(ScanForWord, SearchFromStartBeginsAfterTheSelectedFieldOfTheFirstRecord) {
    auto ds = people();
    ds->setRecNo(3);
    // Field 0 selected: the scan starts with field 1 of record 1.
    FindOutcome r = scanForWord(*ds, "ANNA", 1, true);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(r.field, 1);
    // Field 1 selected: record 1 is searched from field 2 on, so the next is record 2, field 2.
    r = scanForWord(*ds, "anna", 2, true);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(r.field, 2);
}

TEST(ScanForWord, LastFieldSelectedSkipsTheWholeFirstRecord) {
    auto ds = people();
    FindOutcome r = scanForWord(*ds, "anna", 3, true);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(r.field, 2);
}

TEST(ScanForWord, FindNextContinuesInTheSameRecordThenGoesOn) {
    auto ds = people();
    ds->setRecNo(2);
    // Selected field 1 of record 2: look at field 2 of the same record first.
    FindOutcome r = scanForWord(*ds, "ANNA", 2, false);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(r.field, 2);
    // From there (field 2 selected: start beyond the last field) the next record follows.
    r = scanForWord(*ds, "ANNA", 3, false);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 4);
    EXPECT_EQ(r.field, 1);
    // Nothing after the last match: no wrap-around.
    r = scanForWord(*ds, "ANNA", 2, false);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.field, 0);
}

TEST(ScanForWord, NumbersAreSearchedAsTextAndEmptyWordsNeverMatch) {
    auto ds = people();
    FindOutcome r = scanForWord(*ds, "3", 0, true);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(r.field, 0);
    EXPECT_FALSE(scanForWord(*ds, "", 0, true).found);
    EXPECT_FALSE(scanForWord(*ds, "köln ", 0, true).found);
}

TEST(ScanForWord, FromStartPostsAPendingEdit) {
    auto ds = people();
    ds->setRecNo(3);
    ds->Edit();
    ds->FieldByName("Name")->setAsString("Zora");
    FindOutcome r = scanForWord(*ds, "zora", 0, true);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(ds->RecNo(), 3);
}

} // namespace
} // namespace tablor::test

namespace tablor::test {
namespace {

TEST(ContainsWordUtf8, AgreesWithTheTextForm) {
    const QStringList texts = {
        "Köln", "KÖLN", "Straße", "STRASSE", "Ärzte-Praxis Özdemir", "12345.67", "2024-05-02 09:15:00", "", "a", "Zoë"};
    const QStringList words = {"köln", "KÖ", "ö", "Ö", "straße", "SS", "praxis Ö", "45.6", "05-02 09", "", "ë", "zoË"};
    for (const QString& t : texts)
        for (const QString& w : words) {
            const QString lw = lowerAsciiLetters(w);
            const QByteArray u = t.toUtf8();
            EXPECT_EQ(containsWord(t, lw), containsWordUtf8(u.constData(), u.size(), lw.toUtf8()))
                << t.toStdString() << " / " << w.toStdString();
        }
    EXPECT_FALSE(containsWordUtf8(nullptr, 0, "a"));
}

} // namespace
} // namespace tablor::test
