// Index upkeep on trees Access made: node pages with tail pages, several levels, leaf
// chains, prefix compression, descending and compound keys, and logical indexes sharing one
// physical index. Each table loses a third of its rows, gets copies of the rest with fresh
// keys, loses every row and gets the copies again; the file must check clean at each step.
#include "writer_test_support.h"

#include "jet/relationships.h"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;

namespace {

struct Case {
    const char* file; // under the shared test data
    const char* table;
};

// The row with every column of a unique index made new: numbers moved past the table's
// range, text given a prefix no Access row starts with.
std::vector<Value> withFreshKeys(const TableDef& def, std::vector<Value> row, int n) {
    for (const IndexDef& ix : def.indexes) {
        if (!ix.isPrimaryKey() && !ix.isUnique()) continue;
        for (const IndexColumn& ic : ix.columns) {
            const int at = def.findColumn(ic.columnName);
            if (at < 0) continue;
            Value& v = row[static_cast<size_t>(at)];
            const ColumnDef& c = def.columns[static_cast<size_t>(at)];
            if (v.kind() == Value::Kind::Long) v = Value::longInt(1000000 + n);
            else if (v.kind() == Value::Kind::Integer) v = Value::integer(static_cast<int16_t>(20000 + n));
            else if (v.kind() == Value::Kind::Text)
                v = Value::text(("~" + std::to_string(n) + v.asText()).substr(0, std::max<size_t>(c.length / 2, 1)));
        }
    }
    return row;
}

// This test is about index trees, not relationships: the copy's relationships are marked as
// not enforced (grbit 0x2, a Long in the fixed part of each MSysRelationships row), so that
// fresh keys and deletes of parents are allowed.
void stopEnforcingRelationships(const fs::path& file) {
    std::vector<RowId> rows;
    size_t fixedOffset = 0;
    uint32_t pageSize = 0;
    {
        Database db = Database::open(file);
        ASSERT_FALSE(db.isPageEncoded());
        pageSize = db.pageSize();
        RowCursor cursor = db.scan("MSysRelationships");
        const int grbit = cursor.table().findColumn("grbit");
        ASSERT_GE(grbit, 0);
        fixedOffset = cursor.table().columns[static_cast<size_t>(grbit)].fixedOffset;
        while (cursor.next()) rows.push_back(cursor.rowId());
    }
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (const RowId& row : rows) {
        const size_t page = static_cast<size_t>(row.page) * pageSize;
        const size_t slot = page + 14 + 2u * row.slot; // Jet 4 data page: the slot table at 14
        const size_t at = page + ((bytes[slot] | bytes[slot + 1] << 8) & 0x1FFF) + 2 + fixedOffset;
        bytes[at] |= 0x02;
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    for (const Relationship& r : Database::open(file).relationships()) ASSERT_FALSE(r.enforced()) << r.name;
}

std::vector<std::pair<RowId, std::vector<Value>>> rowsOf(DatabaseWriter& w, const std::string& table) {
    std::vector<std::pair<RowId, std::vector<Value>>> rows;
    RowCursor cur = w.database().scan(table);
    while (cur.next()) rows.emplace_back(cur.rowId(), cur.values());
    return rows;
}

TEST(WriterAccessIndexes, DeleteInsertAndDeleteAllKeepAccessTreesClean) {
    const Case cases[] = {
        {"mdb/northwind_jet4_statdata.mdb", "Order Details"},
        {"mdb/northwind_jet4_statdata.mdb", "Products"},
        {"mdb/jackcess_compIndexTestV2000.mdb", "Table1"},
        {"mdb-real/kbfakt5.mdb", "KUNDFAHR"},
        {"mdb-real/kbfakt5.mdb", "RECH2"},
        {"mdb-real/kbfakt5.mdb", "ARTSTAMM"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.table);
        const fs::path source = tablor::test::sharedTestData(c.file);
        if (!fs::exists(source)) JET_UNAVAILABLE() << source << " is missing";
        const fs::path copy = dir.path / "copy.mdb";
        fs::remove(copy);
        fs::copy_file(source, copy);
        fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
        stopEnforcingRelationships(copy);
        std::vector<std::vector<Value>> copies;
        {
            DatabaseWriter w = DatabaseWriter::open(copy);
            TableWriter t = w.table(c.table);
            const auto rows = rowsOf(w, c.table);
            ASSERT_GT(rows.size(), 10u);
            for (size_t i = 0; i < rows.size(); i += 3) t.erase(rows[i].first);
            int n = 0;
            for (const auto& [id, values] : rows) copies.push_back(withFreshKeys(t.definition(), values, ++n));
            for (const auto& row : copies) t.insert(row);
        }
        expectClean(copy);
        {
            DatabaseWriter w = DatabaseWriter::open(copy);
            TableWriter t = w.table(c.table);
            for (const auto& [id, values] : rowsOf(w, c.table)) t.erase(id);
        }
        expectClean(copy);
        EXPECT_EQ(Database::open(copy).table(c.table)->storedRowCount, 0u);
        {
            DatabaseWriter w = DatabaseWriter::open(copy);
            TableWriter t = w.table(c.table);
            for (const auto& row : copies) t.insert(row);
        }
        expectClean(copy);
    }
}

} // namespace
