// Tests of large Access tables: opened without reading every row, then browsed, written and
// changed under a partial listing. The files are made with the engine's writer in a temp dir.
#include "db/ADODB.h"
#include "db/AccessFile.h"
#include "db/JetConnectionString.h"

#include "jet/database.h"
#include "jet/writer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tablor;

namespace {

QString makeBigFile(const QTemporaryDir& dir, int rows) {
    const QString path = dir.filePath(QStringLiteral("big.mdb"));
    auto w = jet::DatabaseWriter::create(std::filesystem::path(path.toStdString()));
    jet::TableSpec tableSpec;
    tableSpec.name = "big";
    tableSpec.columns = {{"id", jet::ColumnType::Long},
                         {"name", jet::ColumnType::Text, 40},
                         {"amount", jet::ColumnType::Double},
                         {"day", jet::ColumnType::DateTime},
                         {"note", jet::ColumnType::Text, 60}};
    tableSpec.indexes = {{"PrimaryKey", {"id"}, {}, true, true, false}};
    w.createTable(tableSpec);
    auto t = w.table("big");
    for (int i = 0; i < rows; ++i) {
        // Stored in reverse id order, so that index order and stored order differ.
        const int id = rows - 1 - i;
        std::vector<jet::Value> row{jet::Value::longInt(id), jet::Value::text("Name " + std::to_string(id)),
                                    jet::Value::dbl(id * 1.5), jet::Value::dateTime({40000.0 + id % 1000}),
                                    jet::Value::text("note " + std::to_string(id * 7))};
        t.insert(row);
    }
    w.flush();
    return path;
}

struct BigTable : ::testing::Test {
    static constexpr int kRows = 200000;
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        master = makeBigFile(*dir, kRows);
    }
    static void TearDownTestSuite() { delete dir; }
    // Each test works on its own copy.
    void SetUp() override {
        path = work.filePath(QStringLiteral("big.mdb"));
        ASSERT_TRUE(QFile::copy(master, path));
        cn.ConnectionString = JetOpenConnectionString(path);
        cn.Open();
        tbl.setConnection(&cn);
        tbl.setTableName(QStringLiteral("big"));
    }
    static inline QTemporaryDir* dir = nullptr;
    static inline QString master;
    QTemporaryDir work;
    QString path;
    TADOConnection cn;
    TADOTable tbl;
};

} // namespace

TEST_F(BigTable, FirstRowsShowInAFractionOfAFullScan) {
    // A full scan through the engine, every value decoded.
    QElapsedTimer full;
    full.start();
    {
        auto db = jet::Database::open(std::filesystem::path(path.toStdString()));
        auto c = db.scan("big");
        size_t n = 0;
        while (c.next()) n += c.values().size();
        ASSERT_EQ(n, size_t(kRows) * 5);
    }
    const qint64 fullNs = full.nsecsElapsed();

    QElapsedTimer first;
    first.start();
    tbl.Open();
    QString shown;
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < tbl.FieldCount(); ++c) shown += tbl.CellText(r, c);
    const qint64 firstNs = first.nsecsElapsed();
    EXPECT_EQ(tbl.RecordCount(), kRows);
    EXPECT_EQ(tbl.CellText(0, 1), QStringLiteral("Name %1").arg(kRows - 1));
    EXPECT_LT(double(firstNs), 0.1 * double(fullNs))
        << "first rows " << firstNs / 1000 << " us, full scan " << fullNs / 1000 << " us";
}

TEST_F(BigTable, BrowsingToTheEndAndSortingByTheKeySeeEveryRow) {
    tbl.Open();
    tbl.Last();
    EXPECT_EQ(tbl.RecNo(), kRows);
    EXPECT_EQ(tbl.FieldByName(QStringLiteral("id"))->AsInteger(), 0);
    EXPECT_EQ(tbl.RecordCount(), kRows);
    tbl.setSortedFields(QStringLiteral("[id]"));
    EXPECT_TRUE(tbl.SortedByIndex());
    for (int r : {0, 1, 777, kRows - 1}) EXPECT_EQ(tbl.CellValue(r, 0).toInt(), r);
    EXPECT_EQ(tbl.FieldByName(QStringLiteral("id"))->AsInteger(), 0); // the current row stayed current
}

TEST_F(BigTable, WritesOnAPartlyListedTableNeitherLoseNorRepeatRows) {
    tbl.Open();
    tbl.Append();
    tbl.FieldByName(QStringLiteral("id"))->setAsInteger(kRows);
    tbl.FieldByName(QStringLiteral("name"))->setAsString(QStringLiteral("appended"));
    tbl.Post();
    EXPECT_EQ(tbl.RecordCount(), kRows + 1);
    EXPECT_EQ(tbl.RecNo(), kRows + 1);
    EXPECT_EQ(tbl.FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("appended"));
    tbl.First();
    tbl.Delete();
    EXPECT_EQ(tbl.RecordCount(), kRows);
    tbl.Close();

    tbl.Open();
    int appended = 0, firstGone = 0;
    for (int r = 0; r < tbl.RecordCount(); ++r) {
        const int id = tbl.CellValue(r, 0).toInt();
        appended += id == kRows;
        firstGone += id == kRows - 1;
    }
    EXPECT_EQ(tbl.RecordCount(), kRows);
    EXPECT_EQ(appended, 1);
    EXPECT_EQ(firstGone, 0);
}

TEST_F(BigTable, AStatementThatDeletesRowsUnderAPartialListingIsSeen) {
    tbl.Open();
    ASSERT_EQ(tbl.CellValue(0, 0).toInt(), kRows - 1);
    int resets = 0;
    struct Watch : TDataSetObserver {
        int* resets;
        void dataSetChanged(TDataSet&, TDataChange c, int) override { *resets += c == TDataChange::Reset; }
    } watch;
    watch.resets = &resets;
    tbl.addObserver(&watch);
    EXPECT_EQ(cn.Execute(QStringLiteral("DELETE FROM [big] WHERE [id] >= %1").arg(kRows - 100)), 100);
    tbl.Last();
    EXPECT_EQ(tbl.RecordCount(), kRows - 100);
    EXPECT_EQ(tbl.CellValue(0, 0).toInt(), kRows - 101);
    EXPECT_GE(resets, 1); // views were told to re-read
    tbl.removeObserver(&watch);
}
