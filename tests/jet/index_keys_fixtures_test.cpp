// For every index of every real Access file in the shared fixtures: re-encoding each row's key
// gives exactly the bytes Access stored in the index entry that points at the row.
#include "availability.h"
#include "database/database_impl.h"
#include "jet/database.h"
#include "jet/error.h"
#include "index/row_keys.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string hex(const std::vector<uint8_t>& b) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (uint8_t x : b) {
        s += d[x >> 4];
        s += d[x & 15];
    }
    return s;
}

TEST(IndexKeysFixtures, EveryIndexEntryEqualsTheEncodingOfItsRow) {
    const fs::path dir = tablor::test::sharedTestData("mdb");
    if (!fs::exists(dir)) JET_UNAVAILABLE() << "the shared test files are not at " << dir;
    size_t files = 0, indexes = 0, entries = 0;
    std::vector<std::string> skipped;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".mdb") continue;
        std::optional<jet::Database> db;
        try {
            db.emplace(jet::Database::open(e.path()));
        } catch (const jet::Error&) {
            continue; // encoded or unsupported files are the reader's tests' business
        }
        ++files;
        const auto& format = jet::detail::implOf(*db).format();
        for (const auto& entry : db->objects()) {
            if (entry.kind != jet::ObjectKind::Table && entry.kind != jet::ObjectKind::SystemTable) continue;
            std::shared_ptr<const jet::TableDef> def;
            try {
                def = db->table(entry.name);
            } catch (const jet::Error&) {
                continue;
            }
            for (const auto& index : def->indexes) {
                bool encodable = !index.columns.empty();
                for (const auto& ic : index.columns) {
                    const int at = def->findColumn(ic.columnName);
                    if (at < 0) {
                        encodable = false;
                        continue;
                    }
                    const auto type = def->columns[static_cast<size_t>(at)].type;
                    if (type == jet::ColumnType::Binary || type == jet::ColumnType::Ole ||
                        static_cast<uint8_t>(type) == 0x0D || static_cast<uint8_t>(type) == 0x11)
                        encodable = false;
                }
                if (!encodable) {
                    skipped.push_back(e.path().filename().string() + ":" + def->name + "." + index.name);
                    continue;
                }
                ++indexes;
                jet::IndexCursor cur = db->indexScan(def, index);
                while (cur.next()) {
                    const auto row = db->readRow(*def, cur.entry().row);
                    ASSERT_TRUE(row.has_value()) << e.path().filename() << " " << def->name << "." << index.name;
                    const auto key = jet::detail::rowKey(format, *def, index, *row);
                    ASSERT_EQ(hex(key), hex(cur.entry().key))
                        << e.path().filename() << ": table " << def->name << ", index " << index.name << ", row "
                        << cur.entry().row.page << ":" << int(cur.entry().row.slot);
                    ++entries;
                }
            }
        }
    }
    EXPECT_GT(files, 20u);
    EXPECT_GT(indexes, 100u);
    EXPECT_GT(entries, 5000u);
    std::cout << files << " files, " << indexes << " indexes, " << entries << " entries re-encoded; " << skipped.size()
              << " indexes over Binary columns left out\n";
}

} // namespace
