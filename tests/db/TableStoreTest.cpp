// The row cache of a stored table against the engine's own reading of the file: rows read
// in any order (past the cache's size and ahead of the lazy listing), and a random run of
// writes mirrored in a plain vector, then checked again on a fresh open.
#include "db/AccessFile.h"
#include "db/TableStore.h"

#include "jet/database.h"
#include "jet/writer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace tablor;

namespace {

using Row = std::vector<jet::Value>;

// More rows than the store lists at open and than it keeps decoded.
constexpr int kRows = 25000;

jet::Value nameOf(int id, int version) { return jet::Value::text("Name " + std::to_string(id * 7 + version)); }

QString makeFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("store.mdb"));
    auto w = jet::DatabaseWriter::create(std::filesystem::path(path.toStdString()));
    jet::TableSpec design;
    design.name = "t";
    design.columns = {
        {"id", jet::ColumnType::Long}, {"name", jet::ColumnType::Text, 40}, {"amount", jet::ColumnType::Double}};
    design.indexes = {{"PrimaryKey", {"id"}, {}, true, true, false}};
    w.createTable(design);
    auto t = w.table("t");
    for (int i = 0; i < kRows; ++i) {
        const int id = kRows - 1 - i; // stored against key order, so index order differs from storage order
        const Row row{jet::Value::longInt(id), nameOf(id, 0), jet::Value::dbl(id * 0.5)};
        t.insert(row);
    }
    w.flush();
    return path;
}

// Every row as the engine reads it, in storage order.
std::vector<Row> engineRows(const QString& path) {
    auto db = jet::Database::open(std::filesystem::path(path.toStdString()));
    auto c = db.scan("t");
    std::vector<Row> rows;
    while (c.next()) rows.push_back(c.values());
    return rows;
}

std::vector<Row> byId(std::vector<Row> rows) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a[0].asLong() < b[0].asLong(); });
    return rows;
}

std::vector<Row> storeRows(TableStore& store) {
    std::vector<Row> rows;
    for (int r = 0; r < store.count(); ++r) rows.push_back(store.row(r));
    return rows;
}

} // namespace

TEST(TableStore, ReadsEveryRowAsTheEngineDoesInAnyOrder) {
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    const std::vector<Row> expected = engineRows(path);
    ASSERT_EQ(expected.size(), size_t(kRows));

    TableStore store(AccessFile::open(path), QStringLiteral("t"));
    EXPECT_FALSE(store.complete()); // a table this large is listed as far as it is read
    EXPECT_EQ(store.count(), kRows);
    std::vector<int> order(kRows);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(19));
    for (int r : order) ASSERT_EQ(store.row(r), expected[static_cast<size_t>(r)]) << "row " << r;
    EXPECT_TRUE(store.complete());
    EXPECT_EQ(store.count(), kRows);
}

TEST(TableStore, RandomWritesMatchAModelAndReachTheFile) {
    QTemporaryDir dir;
    const QString path = makeFile(dir);
    std::vector<Row> model = engineRows(path);
    {
        TableStore store(AccessFile::open(path), QStringLiteral("t"));
        std::mt19937 random(7);
        int nextId = kRows;
        for (int step = 0; step < 150; ++step) {
            const int r = static_cast<int>(random() % model.size());
            // Read first, so that a write must also mend what the cache holds.
            ASSERT_EQ(store.row(r), model[static_cast<size_t>(r)]) << "before step " << step;
            switch (random() % 3) {
            case 0: {
                Row row{jet::Value::longInt(nextId), nameOf(nextId, 0), jet::Value::dbl(-step)};
                ++nextId;
                store.insert(row);
                model.push_back(row);
                break;
            }
            case 1: {
                Row row = model[static_cast<size_t>(r)];
                row[1] = nameOf(row[0].asLong(), step + 1);
                row[2] = jet::Value::dbl(step * 3.25);
                store.update(r, row);
                model[static_cast<size_t>(r)] = row;
                break;
            }
            default: store.erase(r); model.erase(model.begin() + r);
            }
            ASSERT_EQ(store.count(), static_cast<int>(model.size())) << "after step " << step;
        }
        ASSERT_EQ(storeRows(store), model);

        // Sorting by the key walks the primary key index and keeps track of the current row.
        const int current = static_cast<int>(model.size() / 3);
        const Row currentRow = store.row(current);
        bool byIndex = false;
        const int moved = store.sort(0, current, byIndex);
        EXPECT_TRUE(byIndex);
        EXPECT_EQ(store.row(moved), currentRow);
        EXPECT_EQ(storeRows(store), byId(model));
        store.sort(-1, -1, byIndex);
        EXPECT_EQ(storeRows(store), model);
    }
    EXPECT_EQ(byId(engineRows(path)), byId(model));
    TableStore reopened(AccessFile::open(path), QStringLiteral("t"));
    EXPECT_EQ(byId(storeRows(reopened)), byId(model));
}
