// A new empty database, held against the empty Access 2000 file Microsoft's ADOX made and
// the Access 97 files Access 97 made.
#include "availability.h"
#include "write/database_creator.h"
#include "write/page_builders.h"
#include "database/database_impl.h"
#include "index/index_reader.h"
#include "file/page_file.h"
#include "table/table_def_reader.h"

#include <gtest/gtest.h>

#include "jet/check.h"
#include "jet/error.h"
#include "jet/writer.h"
#include "support/files.h"
#include "support/shell.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace jet::detail;

const fs::path kAdox = tablor::test::sharedTestData("mdb/jackcess_adox_jet4.mdb");

std::vector<std::vector<uint8_t>> readPages(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::vector<uint8_t>> pages;
    std::vector<uint8_t> page(4096);
    while (in.read(reinterpret_cast<char*>(page.data()), 4096)) pages.push_back(page);
    return pages;
}

using tablor::test::runCommand;
using tablor::test::TempDir;

TEST(DatabaseCreator, PagesMatchTheFileAdoxMakes) {
    if (!fs::exists(kAdox)) JET_UNAVAILABLE() << "the shared test files are not at " << kAdox;
    const auto adox = readPages(kAdox);
    ASSERT_EQ(adox.size(), 16u);
    // The creation date of the fixture, so that the dated bytes agree too.
    double created = 0;
    {
        auto hdr = adox[0];
        auto mask = headerMask();
        for (size_t i = 0; i < 128; ++i) hdr[0x18 + i] ^= mask[i];
        std::memcpy(&created, hdr.data() + 0x72, 8);
    }
    const auto ours = buildEmptyJet4Database(created);
    ASSERT_EQ(ours.size(), adox.size());

    // Usage maps, the security table's rows and the empty index roots are byte for byte
    // what ADOX writes.
    for (uint32_t p : {1u, 6u, 10u, 11u, 12u, 13u, 15u}) EXPECT_EQ(ours[p], adox[p]) << "page " << p;
    // The catalog page differs only in the timestamps of the rows (ADOX stamps them a moment
    // after the header date).
    int differing = 0;
    for (size_t i = 0; i < 4096; ++i) differing += ours[14][i] != adox[14][i];
    EXPECT_LE(differing, 8 * 16) << "catalog rows differ beyond their two dates";
    EXPECT_EQ(std::vector<uint8_t>(ours[14].begin(), ours[14].begin() + 30),
              std::vector<uint8_t>(adox[14].begin(), adox[14].begin() + 30));

    // Index pages: the same entries; ours share a key prefix (ADOX does not compress these).
    TempDir dir;
    const fs::path oursFile = dir.path / "ours.mdb";
    {
        std::ofstream out(oursFile, std::ios::binary);
        auto pages = ours;
        auto mask = headerMask();
        for (size_t i = 0; i < 128; ++i) pages[0][0x18 + i] ^= mask[i];
        for (const auto& p : pages) out.write(reinterpret_cast<const char*>(p.data()), 4096);
    }
    DatabaseImpl adoxDb(kAdox, {});
    DatabaseImpl oursDb(oursFile, {});
    for (uint32_t p = 7; p <= 9; ++p) {
        const uint32_t owner = p == 9 ? 3 : 2;
        const auto a = readIndexPage(adoxDb, p, owner);
        const auto b = readIndexPage(oursDb, p, owner);
        ASSERT_EQ(a.entries.size(), b.entries.size()) << "page " << p;
        for (size_t i = 0; i < a.entries.size(); ++i) {
            EXPECT_EQ(a.entries[i].key, b.entries[i].key) << "page " << p << " entry " << i;
            EXPECT_EQ(a.entries[i].row, b.entries[i].row) << "page " << p << " entry " << i;
        }
    }

    // Table definitions: the same columns (number, type, flags, size, place in the row) and
    // the same indexes. ADOX lists columns and indexes by name and leaves stray bytes in
    // fields that only fixed columns use; we list them by number and write zeros there.
    for (uint32_t page = 2; page <= 5; ++page) {
        const auto a = readTableDef(adoxDb, page, "t");
        const auto b = readTableDef(oursDb, page, "t");
        ASSERT_EQ(a->columns.size(), b->columns.size()) << "definition page " << page;
        EXPECT_EQ(a->storedRowCount, b->storedRowCount);
        EXPECT_EQ(a->tableType, b->tableType);
        EXPECT_EQ(a->maxColumns, b->maxColumns);
        EXPECT_EQ(a->usageMap, b->usageMap);
        EXPECT_EQ(a->freeSpaceMap, b->freeSpaceMap);
        for (const auto& ca : a->columns) {
            const int at = b->findColumn(ca.name);
            ASSERT_GE(at, 0) << ca.name;
            const auto& cb = b->columns[static_cast<size_t>(at)];
            EXPECT_EQ(ca.type, cb.type) << ca.name;
            EXPECT_EQ(ca.number, cb.number) << ca.name;
            EXPECT_EQ(ca.flags, cb.flags) << ca.name;
            EXPECT_EQ(ca.extFlags, cb.extFlags) << ca.name;
            EXPECT_EQ(ca.length, cb.length) << ca.name;
            if (ca.isFixed()) EXPECT_EQ(ca.fixedOffset, cb.fixedOffset) << ca.name;
            else EXPECT_EQ(ca.varIndex, cb.varIndex) << ca.name;
        }
        ASSERT_EQ(a->indexes.size(), b->indexes.size());
        for (const auto& ia : a->indexes) {
            const auto* ib = b->findIndex(ia.name);
            ASSERT_NE(ib, nullptr) << ia.name;
            EXPECT_EQ(ia.number, ib->number) << ia.name;
            EXPECT_EQ(ia.type, ib->type) << ia.name;
            EXPECT_EQ(ia.flags, ib->flags) << ia.name;
            EXPECT_EQ(ia.rootPage, ib->rootPage) << ia.name;
            EXPECT_EQ(ia.usageMap, ib->usageMap) << ia.name;
            ASSERT_EQ(ia.columns.size(), ib->columns.size()) << ia.name;
            for (size_t k = 0; k < ia.columns.size(); ++k) {
                EXPECT_EQ(ia.columns[k].columnNumber, ib->columns[k].columnNumber);
                EXPECT_EQ(ia.columns[k].ascending, ib->columns[k].ascending);
            }
        }
    }

    // Header: identical except the bytes derived from the date and the two bytes at 0x6A that
    // ADOX fills with a value of its own (not read by Access's readers).
    auto unmask = [](std::vector<uint8_t> h) {
        auto mask = headerMask();
        for (size_t i = 0; i < 128; ++i) h[0x18 + i] ^= mask[i];
        return h;
    };
    const auto ha = unmask(adox[0]);
    const auto& hb = ours[0]; // built unmasked
    for (size_t i = 0; i < 4096; ++i) {
        if (i == 0x6A || i == 0x6B) continue;
        EXPECT_EQ(ha[i], hb[i]) << "header byte " << i;
    }
}

TEST(DatabaseCreator, WritesANewFileThatMdbtoolsReadsAndRefusesToOverwrite) {
    TempDir dir;
    const fs::path file = dir.path / "new.mdb";
    createEmptyJet4Database(file);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 16u * 4096u);
    EXPECT_THROW(createEmptyJet4Database(file), jet::IoError);
    EXPECT_EQ(fs::file_size(file), 16u * 4096u) << "a refused create must leave the old file alone";
    // No temporary files left behind.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path)) (void)e, ++entries;
    EXPECT_EQ(entries, 1);

    if (!tablor::test::haveMdbTools()) JET_UNAVAILABLE() << "mdbtools is not installed (scripts/setup installs it)";
    int status = 0;
    const std::string tables = runCommand("mdb-tables -S -1 '" + file.string() + "'", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tables, "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
    const std::string objects = runCommand("mdb-export '" + file.string() + "' MSysObjects | cut -d, -f1-4", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(objects, "Id,ParentId,Name,Type\n"
                       "251658241,251658240,\"Tables\",3\n"
                       "251658242,251658240,\"Databases\",3\n"
                       "251658243,251658240,\"Relationships\",3\n"
                       "268435456,251658242,\"MSysDb\",2\n"
                       "2,251658241,\"MSysObjects\",1\n"
                       "3,251658241,\"MSysACEs\",1\n"
                       "4,251658241,\"MSysQueries\",1\n"
                       "5,251658241,\"MSysRelationships\",1\n");
    const std::string count = runCommand("mdb-count '" + file.string() + "' MSysACEs", &status);
    EXPECT_EQ(count, "16\n");
}

} // namespace

namespace {

// A new Access 97 file has the system tables of the files Access 97 made: the same columns
// (type, number, slot, flags, length, fixed offset) and indexes (columns, flags, type), the
// catalog rows and security entries of the engine itself among theirs; our reader, check,
// mdbtools and mdb-reader read it.
TEST(DatabaseCreator, NewAccess97FileHasTheSystemTablesAccess97Makes) {
    TempDir dir;
    const fs::path file = dir.path / "new97.mdb";
    jet::DatabaseWriter::create(file, jet::Version::Jet3);
    EXPECT_THROW(jet::DatabaseWriter::create(file, jet::Version::Jet3), jet::IoError);
    jet::Database ours = jet::Database::open(file);
    ASSERT_EQ(ours.version(), jet::Version::Jet3);
    EXPECT_EQ(jet::checkDatabase(ours).problems.size(), 0u);

    auto describe = [](jet::Database& db, const std::string& table) {
        const auto def = db.table(table);
        std::string s;
        for (const auto& c : def->columns)
            s += c.name + " " + std::to_string(int(c.type)) + " #" + std::to_string(c.number) + " v" +
                 std::to_string(c.varIndex) + " f" + std::to_string(c.flags) + " l" + std::to_string(c.length) +
                 (c.isFixed() ? " @" + std::to_string(c.fixedOffset) : "") + "\n";
        for (const auto& ix : def->indexes) {
            s += "index " + ix.name + " " + std::to_string(ix.number) + "/" + std::to_string(ix.physicalNumber) + " t" +
                 std::to_string(ix.type) + " f" + std::to_string(ix.flags) + ":";
            for (const auto& ic : ix.columns) s += " " + ic.columnName + (ic.ascending ? "" : " desc");
            s += "\n";
        }
        return s;
    };
    auto rows = [](jet::Database& db, const std::string& table, size_t columns) {
        std::vector<std::string> out;
        auto cur = db.scan(db.table(table));
        while (cur.next()) {
            std::string r;
            for (size_t i = 0; i < columns; ++i) r += cur.values()[i].toString() + "|";
            out.push_back(r);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const char* system[] = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};
    size_t compared = 0;
    for (const char* name :
         {"jackcess_testV1997.mdb", "jackcess_indexTestV1997.mdb", "jackcess_delTestV1997.mdb",
          "jackcess_compIndexTestV1997.mdb", "jackcess_test2V1997.mdb", "jackcess_testIndexCodesV1997.mdb"}) {
        const fs::path access = tablor::test::sharedTestData(std::string("mdb/") + name);
        if (!fs::exists(access)) continue;
        jet::Database theirs = jet::Database::open(access);
        for (const char* t : system) EXPECT_EQ(describe(ours, t), describe(theirs, t)) << name << ": " << t;
        // Catalog rows by id, parent, name, type; security entries whole. Access adds its own.
        const auto theirObjects = rows(theirs, "MSysObjects", 4), theirAces = rows(theirs, "MSysACEs", 4);
        for (const auto& r : rows(ours, "MSysObjects", 4))
            EXPECT_TRUE(std::binary_search(theirObjects.begin(), theirObjects.end(), r)) << name << ": " << r;
        // In this one the Users group's rights on the Tables container were taken away.
        if (std::string(name) == "jackcess_testIndexCodesV1997.mdb") continue;
        for (const auto& r : rows(ours, "MSysACEs", 4))
            EXPECT_TRUE(std::binary_search(theirAces.begin(), theirAces.end(), r)) << name << ": " << r;
        ++compared;
    }
    if (compared == 0) JET_UNAVAILABLE() << "the shared Access 97 files are not there";

    if (!tablor::test::haveMdbTools()) JET_UNAVAILABLE() << "mdbtools is not installed (scripts/setup installs it)";
    int status = 0;
    EXPECT_EQ(runCommand("mdb-tables -S -1 '" + file.string() + "'", &status),
              "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
    EXPECT_EQ(runCommand("mdb-export '" + file.string() + "' MSysObjects | cut -d, -f3 | tr '\\n' ' '", &status),
              "Name \"Tables\" \"Databases\" \"Relationships\" \"MSysDb\" \"MSysObjects\" \"MSysACEs\" "
              "\"MSysQueries\" \"MSysRelationships\" ");
    EXPECT_EQ(runCommand("mdb-count '" + file.string() + "' MSysACEs", &status), "16\n");
}

} // namespace
