// Jet SQL on every real fixture through the engine: for each table with an ascending index
// whose first column is an integer, currency or date column, paging with TOP 50 ... WHERE k > n
// and single-key lookups agree with a full scan; COUNT(*) agrees with the scan too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <map>

#include "../availability.h"
#include "eval.h"
#include "jet/sql/csv.h"
#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"
#include "jet/sql/parser.h"
#include "support/files.h"

namespace fs = std::filesystem;
using namespace jet::sql;

namespace {

fs::path fixtureDir() { return tablor::test::sharedTestData("mdb"); }

std::vector<std::string> fixtures() {
    std::vector<std::string> names;
    if (!fs::exists(fixtureDir())) return {"(none)"};
    for (const auto& e : fs::directory_iterator(fixtureDir()))
        if (e.path().extension() == ".mdb") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string bracket(const std::string& n) { return "[" + n + "]"; }

std::string literal(const Value& v) {
    if (v.isDateTime()) {
        // Whole seconds are what a date literal can say; the fixtures' dates have no fractions.
        return "#" + dateTimeToString(v.asDateTime()) + "#";
    }
    return valueToText(v);
}

} // namespace

class SqlOnFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlOnFixture, PagingAndLookupsAgreeWithAFullScan) {
    if (GetParam() == "(none)") JET_UNAVAILABLE() << "the shared test data folder " << fixtureDir() << " is absent";
    std::string codePage = GetParam() == "ucanaccess_charsetGBK.mdb" ? "GBK" : "";
    std::shared_ptr<Database> db;
    try {
        db = openEngineDatabase(fixtureDir() / GetParam(), EngineOptions{false, codePage});
    } catch (const std::exception& e) {
        GTEST_SKIP() << "the engine does not open " << GetParam() << ": " << e.what();
    }
    Connection connection(db);
    int checkedIndexes = 0;
    for (const std::string& tableName : db->tableNames()) {
        auto table = db->openTable(tableName);
        ASSERT_TRUE(table);
        // Full scan, once, and COUNT(*).
        std::vector<Row> all;
        {
            Result r = connection.execute("SELECT * FROM " + bracket(tableName));
            while (r.rows().next()) all.push_back(r.rows().row());
        }
        Result count = connection.execute("SELECT COUNT(*) FROM " + bracket(tableName));
        ASSERT_TRUE(count.rows().next());
        EXPECT_EQ(count.rows().row()[0].asInt(), static_cast<std::int64_t>(all.size())) << tableName;

        std::vector<bool> done(table->columns().size(), false);
        for (const IndexInfo& ix : table->indexes()) {
            if (!ix.seekable) continue;
            std::size_t k = ix.columns[0];
            if (done[k]) continue;
            done[k] = true;
            ++checkedIndexes;
            const std::string key = bracket(table->columns()[k].name);
            SCOPED_TRACE(GetParam() + " " + tableName + "." + key);

            // What the scan says, sorted by key; rows with a Null key never match a comparison.
            std::vector<const Row*> expected;
            for (const Row& row : all)
                if (!row[k].isNull()) expected.push_back(&row);
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const Row* a, const Row* b) { return detail::orderValues((*a)[k], (*b)[k]) < 0; });

            // Paging as the wizard does, with >= after the first page when keys repeat.
            if (ix.unique || ix.primaryKey) {
                std::vector<Row> paged;
                std::string where = "";
                for (int guard = 0; guard < 100000; ++guard) {
                    Result page = connection.execute("SELECT TOP 50 * FROM " + bracket(tableName) + where);
                    std::size_t n = 0;
                    while (page.rows().next()) {
                        paged.push_back(page.rows().row());
                        ++n;
                    }
                    if (n == 0) break;
                    where = " WHERE " + key + " > " + literal(paged.back()[k]);
                    if (paged.size() == n) {
                        // The first page had no WHERE: it came in table order. Start again by key.
                        paged.clear();
                        Result first = connection.execute("SELECT TOP 50 * FROM " + bracket(tableName) + " WHERE " +
                                                          key + " >= " + literal((*expected.front())[k]));
                        while (first.rows().next()) paged.push_back(first.rows().row());
                        where = " WHERE " + key + " > " + literal(paged.back()[k]);
                    }
                }
                ASSERT_EQ(paged.size(), expected.size());
                for (std::size_t i = 0; i < paged.size(); ++i)
                    ASSERT_EQ(csvRow(paged[i], {}), csvRow(*expected[i], {})) << "row " << i;
            }

            // Lookups of a few keys: first, middle, last.
            if (expected.empty()) continue;
            for (std::size_t at : {std::size_t{0}, expected.size() / 2, expected.size() - 1}) {
                const Value& v = (*expected[at])[k];
                if (v.isDateTime()) {
                    DateTime back;
                    if (!parseDateLiteral(dateTimeToString(v.asDateTime()), back) || back.days != v.asDateTime().days)
                        continue; // a fraction of a second: no date literal names it exactly
                }
                Result r =
                    connection.execute("SELECT * FROM " + bracket(tableName) + " WHERE " + key + " = " + literal(v));
                std::size_t matches = 0;
                while (r.rows().next()) {
                    EXPECT_EQ(*detail::compareValues(r.rows().row()[k], v), 0);
                    ++matches;
                }
                std::size_t want =
                    static_cast<std::size_t>(std::count_if(expected.begin(), expected.end(), [&](const Row* row) {
                        return *detail::compareValues((*row)[k], v) == 0;
                    }));
                EXPECT_EQ(matches, want) << "key " << literal(v);
            }
        }
    }
    RecordProperty("indexes_checked", checkedIndexes);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SqlOnFixture, ::testing::ValuesIn(fixtures()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = fs::path(param.param).stem().string();
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// Paging continues the index cursor the previous page left; any other seek must still
// start from the index itself: going back, jumping ahead, other keys in between.
TEST(SqlOnFixtureFile, SeeksAfterPagingStartWhereTheyShould) {
    fs::path file = fixtureDir() / "northwind_jet4_statdata.mdb";
    if (!fs::exists(file)) JET_UNAVAILABLE() << "the shared test data folder " << fixtureDir() << " is absent";
    Connection c(openEngineDatabase(file));
    auto ids = [&](const std::string& sql) {
        std::vector<std::int64_t> out;
        Result r = c.execute(sql);
        while (r.rows().next()) out.push_back(r.rows().row()[0].asInt());
        return out;
    };
    EXPECT_EQ(ids("SELECT TOP 3 * FROM [Orders] WHERE OrderID > 0"), (std::vector<std::int64_t>{10248, 10249, 10250}));
    EXPECT_EQ(ids("SELECT TOP 3 * FROM [Orders] WHERE OrderID > 10250"),
              (std::vector<std::int64_t>{10251, 10252, 10253}));
    // Back to an earlier key: not where the kept cursor stands.
    EXPECT_EQ(ids("SELECT TOP 2 * FROM [Orders] WHERE OrderID > 10248"), (std::vector<std::int64_t>{10249, 10250}));
    // A lookup of the very key the kept cursor stopped on.
    EXPECT_EQ(ids("SELECT * FROM [Orders] WHERE OrderID = 10250"), (std::vector<std::int64_t>{10250}));
    // Ahead, past several leaf pages.
    EXPECT_EQ(ids("SELECT TOP 2 * FROM [Orders] WHERE OrderID >= 11076"), (std::vector<std::int64_t>{11076, 11077}));
    EXPECT_TRUE(ids("SELECT TOP 2 * FROM [Orders] WHERE OrderID > 11077").empty());
    // Another index of the same table in between, then the key again.
    EXPECT_EQ(ids("SELECT COUNT(*) FROM [Orders] WHERE EmployeeID = 5"), (std::vector<std::int64_t>{42}));
    EXPECT_EQ(ids("SELECT OrderID FROM [Orders] WHERE EmployeeID = 5 AND OrderID > 10300 ORDER BY OrderID").front(),
              10320);
    EXPECT_EQ(ids("SELECT TOP 1 * FROM [Orders] WHERE OrderID > 10251"), (std::vector<std::int64_t>{10252}));
}
