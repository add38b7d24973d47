// Index B-trees of every fixture: walking an index yields every row exactly once, in key
// order; each entry's key equals the encoding of its row's values (index_keys); number and
// date keys decode to the row's values; seeking finds each key.
#include "fixtures.h"
#include "database/database_impl.h"
#include "index/index_key_decode.h"
#include "index/row_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace jet::test {
namespace {

std::string hex(const std::vector<uint8_t>& b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t x : b) {
        s += digits[x >> 4];
        s += digits[x & 15];
        s += ' ';
    }
    return s;
}

class IndexWalk : public ::testing::TestWithParam<std::string> {};

TEST_P(IndexWalk, EveryRowOnceInKeyOrderAndNumberKeysMatchTheRows) {
    JET_REQUIRE_FIXTURE(path, GetParam());
    auto db = Database::open(path);
    size_t indexesWalked = 0, keysDecoded = 0, keysEncoded = 0, keyMismatches = 0;
    std::vector<std::string> tables = db.tableNames();
    for (const auto& e : db.objects()) {
        if (e.kind == ObjectKind::SystemTable) tables.push_back(e.name);
    }
    for (const auto& name : tables) {
        auto def = db.table(name);
        // The rows and where they are.
        std::map<uint32_t, std::vector<Value>> rows;
        auto c = db.scan(def);
        while (c.next()) rows[c.rowId().packed()] = c.values();

        std::set<uint32_t> physicalDone;
        for (const auto& ix : def->indexes) {
            if (!physicalDone.insert(ix.physicalNumber).second) continue;
            SCOPED_TRACE(name + "." + ix.name);
            ++indexesWalked;
            std::vector<const ColumnDef*> cols;
            std::vector<bool> asc;
            std::vector<int> at;
            for (const auto& ic : ix.columns) {
                for (size_t i = 0; i < def->columns.size(); ++i) {
                    if (def->columns[i].number == ic.columnNumber) {
                        cols.push_back(&def->columns[i]);
                        at.push_back(static_cast<int>(i));
                    }
                }
                asc.push_back(ic.ascending);
            }
            std::set<uint32_t> seen;
            std::vector<uint8_t> prev;
            auto walk = db.indexScan(def, ix);
            bool first = true;
            while (walk.next()) {
                const auto& entry = walk.entry();
                if (!first) {
                    EXPECT_FALSE(
                        std::lexicographical_compare(entry.key.begin(), entry.key.end(), prev.begin(), prev.end()));
                }
                first = false;
                prev = entry.key;
                EXPECT_TRUE(seen.insert(entry.row.packed()).second) << "row listed twice";
                auto row = rows.find(entry.row.packed());
                ASSERT_NE(row, rows.end())
                    << "entry points at page " << entry.row.page << " slot " << int(entry.row.slot);
                // The key Access stored equals our encoding of the row's values.
                bool binaryColumn = false;
                for (const auto* col : cols) binaryColumn |= col->type == ColumnType::Binary;
                std::vector<uint8_t> expected;
                if (binaryColumn) {
                    // index_keys has no encoding for Binary columns (only system tables
                    // index them); nothing to compare.
                } else {
                    try {
                        expected = detail::rowKey(detail::implOf(db).format(), *def, ix, row->second);
                    } catch (const std::exception& e) {
                        ADD_FAILURE() << "cannot encode the key: " << e.what();
                    }
                }
                if (!binaryColumn && expected != entry.key && ++keyMismatches <= 3) {
                    std::string values;
                    for (size_t k = 0; k < cols.size(); ++k)
                        values += row->second[static_cast<size_t>(at[k])].toString() + "|";
                    ADD_FAILURE() << "key of row " << entry.row.page << ":" << int(entry.row.slot) << " (" << values
                                  << ") differs from the encoding of its values:\n stored  " << hex(entry.key)
                                  << "\n encoded " << hex(expected);
                }
                ++keysEncoded;
                if (cols.size() == ix.columns.size()) {
                    if (auto decoded = detail::decodeNumericKey(entry.key, cols, asc)) {
                        for (size_t k = 0; k < cols.size(); ++k) {
                            EXPECT_EQ((*decoded)[k], row->second[static_cast<size_t>(at[k])]) << cols[k]->name;
                        }
                        ++keysDecoded;
                    }
                }
            }
            if (!ix.ignoresNulls()) {
                EXPECT_EQ(seen.size(), rows.size());
            }
        }
    }
    RecordProperty("indexes", static_cast<int>(indexesWalked));
    RecordProperty("keys_decoded", static_cast<int>(keysDecoded));
    RecordProperty("keys_encoded", static_cast<int>(keysEncoded));
    EXPECT_EQ(keyMismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, IndexWalk, ::testing::ValuesIn(allFixtures()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                             std::string n = p.param.substr(0, p.param.size() - 4);
                             for (auto& ch : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return n;
                         });

TEST(JetIndex, LongPrimaryKeysDecodeToTheirRows) {
    // Northwind's Orders: a Long primary key over 830 rows in a multi-level tree.
    JET_REQUIRE_FIXTURE(path, "northwind_jet4_statdata.mdb");
    auto db = Database::open(path);
    auto def = db.table("Orders");
    const IndexDef* pk = nullptr;
    for (const auto& ix : def->indexes) {
        if (ix.isPrimaryKey()) pk = &ix;
    }
    ASSERT_NE(pk, nullptr);
    std::vector<const ColumnDef*> cols{&def->columns[static_cast<size_t>(def->findColumn(pk->columns[0].columnName))]};
    auto walk = db.indexScan(def, *pk);
    std::vector<int32_t> ids;
    while (walk.next()) {
        auto v = detail::decodeNumericKey(walk.entry().key, cols, {true});
        ASSERT_TRUE(v.has_value());
        ids.push_back(v->at(0).asLong());
    }
    EXPECT_EQ(ids.size(), 830u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(ids.front(), 10248);
}

TEST(JetIndex, FindByValues) {
    JET_REQUIRE_FIXTURE(path, "northwind_jet4_statdata.mdb");
    auto db = Database::open(path);
    auto orders = db.table("Orders");
    const IndexDef* pk = nullptr;
    for (const auto& ix : orders->indexes) {
        if (ix.isPrimaryKey()) pk = &ix;
    }
    ASSERT_NE(pk, nullptr);
    const Value id = Value::longInt(10300);
    auto found = db.indexFindValues(orders, *pk, std::span<const Value>(&id, 1));
    ASSERT_EQ(found.size(), 1u);
    auto row = db.readRow(*orders, found[0]);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ((*row)[static_cast<size_t>(orders->findColumn("OrderID"))].asLong(), 10300);
    const Value missing = Value::longInt(1);
    EXPECT_TRUE(db.indexFindValues(orders, *pk, std::span<const Value>(&missing, 1)).empty());

    // A text index: customers by company name (sort codes from index_keys).
    auto customers = db.table("Customers");
    const IndexDef* byName = customers->findIndex("CompanyName");
    ASSERT_NE(byName, nullptr);
    const Value name = Value::text("Antonio Moreno Taquer\u00EDa");
    auto hits = db.indexFindValues(customers, *byName, std::span<const Value>(&name, 1));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ((*db.readRow(*customers, hits[0]))[0].asText(), "ANTON");
}

TEST(JetIndex, SeekFindsEveryKey) {
    for (const char* name :
         {"jackcess_compIndexTestV1997.mdb", "jackcess_compIndexTestV2000.mdb", "jackcess_testIndexCodesV1997.mdb"}) {
        SCOPED_TRACE(name);
        JET_REQUIRE_FIXTURE(path, name);
        auto db = Database::open(path);
        auto def = db.table(db.tableNames().at(0));
        for (const auto& ix : def->indexes) {
            std::vector<IndexEntry> entries;
            auto walk = db.indexScan(def, ix);
            while (walk.next()) entries.push_back(walk.entry());
            ASSERT_FALSE(entries.empty());
            for (size_t i = 0; i < entries.size(); i += 7) {
                auto found = db.indexFind(def, ix, entries[i].key);
                EXPECT_NE(std::find(found.begin(), found.end(), entries[i].row), found.end());
            }
            // A key above every entry finds nothing; the empty key starts at the first.
            std::vector<uint8_t> high(8, 0xFF);
            EXPECT_TRUE(db.indexFind(def, ix, high).empty());
            auto fromStart = db.indexSeek(def, ix, {});
            ASSERT_TRUE(fromStart.next());
            EXPECT_EQ(fromStart.entry().row, entries.front().row);
        }
    }
}

} // namespace
} // namespace jet::test
