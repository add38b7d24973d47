// DataSetTest.cpp — the data set's cursor, edit states, events, Locate, sort and random
// access, driven through a small in-memory implementation; value conversions of fields.
#include "db/DataSet.h"
#include "db/DbError.h"
#include "support/memdataset.h"

#include <gtest/gtest.h>

using namespace tablor;

namespace {

using tablor::test::MemDataSet;

struct Recorder : TDataSetObserver {
    std::vector<TDataChange> changes;
    void dataSetChanged(TDataSet&, TDataChange c, int) override { changes.push_back(c); }
};

class DataSetTest : public ::testing::Test {
protected:
    MemDataSet ds;
    std::vector<std::string> events;

    void SetUp() override {
        ds.cols = {{"id", TFieldType::ftInteger},
                   {"name", TFieldType::ftString},
                   {"amount", TFieldType::ftFloat},
                   {"when", TFieldType::ftDateTime}};
        auto row = [](int id, const char* name, double amount) {
            return std::vector<QVariant>{QVariant(qlonglong(id)), name ? QVariant(QString::fromUtf8(name)) : QVariant(),
                                         QVariant(amount), QVariant()};
        };
        ds.rows = {row(1, "Zeta", 1.5), row(2, "alpha", 2.5), row(3, nullptr, 0.5), row(4, "Beta", 9),
                   row(5, "alpha", 3)};
        auto rec = [this](const char* name) { return [this, name](TDataSet*) { events.push_back(name); }; };
        ds.AfterScroll = rec("AfterScroll");
        ds.BeforeScroll = rec("BeforeScroll");
        ds.AfterInsert = rec("AfterInsert");
        ds.AfterEdit = rec("AfterEdit");
        ds.AfterPost = rec("AfterPost");
        ds.AfterCancel = rec("AfterCancel");
        ds.AfterDelete = rec("AfterDelete");
        ds.AfterClose = rec("AfterClose");
        ds.Open();
        events.clear();
    }
    int count(const char* name) const { return static_cast<int>(std::count(events.begin(), events.end(), name)); }
};

TEST_F(DataSetTest, WalksRowsWithBofEofAndRecNo) {
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_TRUE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 1);
    std::vector<qint64> ids;
    for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(ds.FieldByName("ID")->AsLargeInt());
    EXPECT_EQ(ids, (std::vector<qint64>{1, 2, 3, 4, 5}));
    EXPECT_EQ(ds.RecNo(), 5);
    ds.Prior();
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_FALSE(ds.Eof());
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    ds.setRecNo(2);
    EXPECT_EQ(ds.Fields(1)->AsString(), "alpha");
    ds.setRecNo(99); // clamped to the last row
    EXPECT_EQ(ds.RecNo(), 5);
}

TEST_F(DataSetTest, EmptyAndClosedDataSets) {
    MemDataSet empty;
    empty.cols = {{"a", TFieldType::ftInteger}};
    EXPECT_EQ(empty.RecNo(), 0);
    EXPECT_THROW(empty.First(), EDatabaseError);
    empty.Open();
    EXPECT_TRUE(empty.Bof());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.RecNo(), 0);
    EXPECT_TRUE(empty.Fields(0)->IsNull());
    EXPECT_THROW(empty.Delete(), EDatabaseError);
    empty.Edit(); // an empty data set appends instead
    EXPECT_EQ(empty.State(), TDataSetState::dsInsert);
    empty.Fields(0)->setAsInteger(7);
    empty.Post();
    EXPECT_EQ(empty.RecordCount(), 1);
    EXPECT_EQ(empty.Fields(0)->AsInteger(), 7);
}

TEST_F(DataSetTest, ScrollEventsFireOnCursorMovesOnly) {
    ds.Next();
    EXPECT_EQ(count("BeforeScroll"), 1);
    EXPECT_EQ(count("AfterScroll"), 1);
    events.clear();
    // Random access reads any row without moving the cursor or firing events.
    EXPECT_EQ(ds.CellText(3, 1), "Beta");
    EXPECT_TRUE(ds.CellIsNull(2, 1));
    EXPECT_EQ(ds.CellValue(4, 0).toLongLong(), 5);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_THROW(ds.CellText(5, 0), EDatabaseError);
    EXPECT_THROW(ds.CellText(0, 4), EDatabaseError);
}

TEST_F(DataSetTest, EditPostCancelAndTheEditBuffer) {
    ds.setRecNo(2);
    EXPECT_THROW(ds.Fields(1)->setAsString("x"), EDatabaseError); // not in edit state
    ds.Edit();
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    ds.Fields(1)->setAsString(QStringLiteral("Gamma"));
    EXPECT_EQ(ds.Fields(1)->AsString(), "Gamma");
    EXPECT_EQ(ds.CellText(1, 1), "Gamma");        // the grid sees the buffer on the current row
    EXPECT_EQ(ds.rows[1][1].toString(), "alpha"); // storage unchanged until Post
    ds.Cancel();
    EXPECT_EQ(ds.Fields(1)->AsString(), "alpha");
    EXPECT_EQ(count("AfterCancel"), 1);

    ds.Edit();
    ds.Fields(1)->setAsString(QStringLiteral("Gamma"));
    ds.failNextPost = true;
    EXPECT_THROW(ds.Post(), EDatabaseError);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit); // a failed post keeps the edit
    EXPECT_EQ(ds.Fields(1)->AsString(), "Gamma");
    ds.Post();
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.rows[1][1].toString(), "Gamma");
    EXPECT_EQ(count("AfterPost"), 1);
}

TEST_F(DataSetTest, AppendAddsAtTheEndAndCancelDropsIt) {
    ds.setRecNo(3);
    ds.Append();
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    EXPECT_EQ(ds.RecNo(), 6);
    EXPECT_EQ(ds.VisibleRowCount(), 6);
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_TRUE(ds.Fields(0)->IsNull());
    ds.Cancel();
    EXPECT_EQ(ds.RecNo(), 3); // back where the cursor was
    EXPECT_EQ(ds.VisibleRowCount(), 5);

    ds.Append();
    ds.Fields(0)->setAsString(QStringLiteral("6"));
    ds.Fields(1)->setAsString(QStringLiteral("new"));
    ds.Next(); // moving the cursor posts the pending row first
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 6);
    EXPECT_EQ(ds.CellValue(5, 0).toLongLong(), 6);
    EXPECT_EQ(count("AfterInsert"), 2);
}

TEST_F(DataSetTest, DeleteKeepsACurrentRow) {
    ds.Last();
    ds.Delete();
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_EQ(ds.Fields(0)->AsInteger(), 4);
    ds.First();
    ds.Delete();
    EXPECT_EQ(ds.Fields(0)->AsInteger(), 2);
    EXPECT_EQ(count("AfterDelete"), 2);
}

TEST_F(DataSetTest, LocateFindsTheFirstExactMatch) {
    EXPECT_TRUE(ds.Locate("name", QStringLiteral("alpha")));
    EXPECT_EQ(ds.RecNo(), 2);                                 // rows 2 and 5 hold "alpha"
    EXPECT_FALSE(ds.Locate("name", QStringLiteral("ALPHA"))); // exact, case counts
    EXPECT_EQ(ds.RecNo(), 2);                                 // unchanged when not found
    EXPECT_TRUE(ds.Locate("id", QStringLiteral("4")));
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_TRUE(ds.Locate("id", 3));
    EXPECT_TRUE(ds.Locate("name", QVariant()));
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_THROW(ds.Locate("nope", 1), EDatabaseError);
}

TEST_F(DataSetTest, SortKeepsTheCurrentRecordCurrent) {
    ds.setRecNo(4); // Beta
    ds.setSortedFields(QStringLiteral("`name`"));
    EXPECT_EQ(ds.Fields(1)->AsString(), "Beta");
    std::vector<qint64> ids;
    for (int r = 0; r < ds.RecordCount(); ++r) ids.push_back(ds.CellValue(r, 0).toLongLong());
    EXPECT_EQ(ids, (std::vector<qint64>{3, 4, 1, 2, 5})); // null first; "Beta" < "Zeta" < "alpha" in this fake
    ds.setSortedFields(QStringLiteral("[name]"));
    EXPECT_EQ(ds.SortedFields(), "[name]");
    EXPECT_THROW(ds.setSortedFields(QStringLiteral("`missing`")), EDatabaseError);
    ds.setSortedFields(QString());
    EXPECT_EQ(ds.CellValue(0, 0).toLongLong(), 1);
    EXPECT_EQ(ds.Fields(1)->AsString(), "Beta");
}

TEST_F(DataSetTest, DisableControlsSilencesObserversUntilEnabled) {
    Recorder r;
    ds.addObserver(&r);
    ds.DisableControls();
    ds.DisableControls();
    ds.Next();
    ds.Next();
    EXPECT_TRUE(r.changes.empty());
    EXPECT_EQ(count("AfterScroll"), 2); // data set events still fire
    ds.EnableControls();
    EXPECT_TRUE(r.changes.empty());
    ds.EnableControls();
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_EQ(r.changes[0], TDataChange::Reset);
    ds.Next();
    EXPECT_EQ(r.changes.back(), TDataChange::CurrentChanged);
    ds.removeObserver(&r);
}

TEST_F(DataSetTest, FieldConversionsCheckTheKind) {
    ds.Edit();
    TField* id = ds.Fields(0);
    EXPECT_THROW(id->setAsString(QStringLiteral("12x")), EDatabaseError);
    id->setAsString(QStringLiteral(" 42 "));
    EXPECT_EQ(id->AsInteger(), 42);
    EXPECT_THROW(id->setAsFloat(1.5), EDatabaseError);
    TField* amount = ds.Fields(2);
    amount->setAsString(QStringLiteral("12345678901234567890.12")); // kept as text: no rounding
    EXPECT_EQ(amount->AsString(), "12345678901234567890.12");
    EXPECT_DOUBLE_EQ(amount->AsFloat(), 12345678901234567890.12);
    EXPECT_THROW(amount->setAsString(QStringLiteral("1,5")), EDatabaseError);
    TField* when = ds.Fields(3);
    when->setAsString(QStringLiteral("2024-02-29 13:14:15"));
    EXPECT_EQ(when->AsDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15), Qt::UTC));
    EXPECT_THROW(when->setAsString(QStringLiteral("2023-02-29")), EDatabaseError);
    when->Clear();
    EXPECT_TRUE(when->IsNull());
    ds.Fields(1)->Assign(*ds.Fields(0));
    EXPECT_EQ(ds.Fields(1)->AsString(), "42");
    ds.Fields(0)->Assign(*ds.Fields(3)); // null copies as null
    EXPECT_TRUE(ds.Fields(0)->IsNull());
    ds.Cancel();
}

TEST(DateTimeDays, MatchTheProgramsDateNumbers) {
    EXPECT_EQ(DateTimeFromDays(0), QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(DateTimeFromDays(45000.75), QDateTime(QDate(2023, 3, 15), QTime(18, 0), Qt::UTC));
    EXPECT_EQ(DateTimeFromDays(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC));
    EXPECT_DOUBLE_EQ(DaysFromDateTime(QDateTime(QDate(2023, 3, 15), QTime(18, 0), Qt::UTC)), 45000.75);
    EXPECT_DOUBLE_EQ(DaysFromDateTime(DateTimeFromDays(-1.25)), -1.25);
}

TEST(FieldKinds, GroupingsUsedByTheCallers) {
    EXPECT_TRUE(IsFloatKind(TFieldType::ftFloat));
    EXPECT_TRUE(IsFloatKind(TFieldType::ftBCD));
    EXPECT_FALSE(IsFloatKind(TFieldType::ftInteger));
    EXPECT_TRUE(IsDateTimeKind(TFieldType::ftTime));
    EXPECT_TRUE(IsBlobKind(TFieldType::ftOraBlob));
    EXPECT_FALSE(IsBlobKind(TFieldType::ftGraphic)); // the image viewer does not open graphics
    EXPECT_TRUE(IsMemoKind(TFieldType::ftFmtMemo));
    EXPECT_TRUE(IsBinaryKind(TFieldType::ftVarBytes));
    EXPECT_FALSE(IsTextKind(TFieldType::ftBlob));
    EXPECT_EQ(FieldTypeName(TFieldType::ftGUID), "ftGUID");
}

} // namespace
