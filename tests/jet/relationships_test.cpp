// Relationships of the Access-made files: read as mdbtools reads them, enforced by the writer
// the way Access does (refused changes leave the file byte for byte as it was, cascades carry
// the children along), and checked by `check` (a child row without its parent is a problem).
#include "commands.h"
#include "fixtures.h"
#include "jet/check.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>

namespace jet::test {
namespace {

std::filesystem::path anyFixture(const std::string& name) {
    auto p = fixturePath(name);
    if (p.empty() && std::filesystem::exists(tablor::test::sharedTestData("mdb-real") / name))
        p = tablor::test::sharedTestData("mdb-real") / name;
    return p;
}

struct SqlRun {
    int rc;
    std::string out, err;
};

SqlRun sql(const std::filesystem::path& file, const std::string& statement) {
    char *o = nullptr, *e = nullptr;
    size_t on = 0, en = 0;
    FILE* out = open_memstream(&o, &on);
    FILE* err = open_memstream(&e, &en);
    const int rc = tool::run({"sql", file.string(), statement}, out, err);
    std::fclose(out);
    std::fclose(err);
    SqlRun r{rc, std::string(o, on), std::string(e, en)};
    std::free(o);
    std::free(e);
    return r;
}

// The single number a SELECT COUNT(*) prints below its header.
long count(const std::filesystem::path& file, const std::string& query) {
    const SqlRun r = sql(file, query);
    const auto rows = parseCsv(r.out);
    if (r.rc != 0 || rows.size() != 2 || rows[1].size() != 1) {
        ADD_FAILURE() << query << ": " << r.out << r.err;
        return -1;
    }
    return std::stol(rows[1][0]);
}

std::vector<std::string> relationshipProblems(const std::filesystem::path& file) {
    std::vector<std::string> out;
    for (auto& p : checkDatabase(Database::open(file)).problems)
        if (p.rfind("relationship ", 0) == 0) out.push_back(p);
    return out;
}

enum class After { Zero, Same }; // the probe's count after the statement, against before

struct Case {
    const char* fixture;
    const char* statement;
    const char* refusal; // part of the refusal; null when the statement goes through
    const char* before;  // a count that must be above zero before the statement
    const char* after;   // the count compared afterwards (null: `before` again)
    After expect;
    const char* setup = nullptr; // a statement run first, on the copy
};

// Flags of the relationships used: Northwind 0 (enforced), 256 (cascade updates), 4096
// (cascade deletes); jackcess_indexTestV2000 256 and 4096; pt_BalemAgenda2000 4353 (one-to-one,
// cascade updates and deletes, DateTime keys); kbfakt05 2 (not enforced).
const Case kCases[] = {
    {"%NW", "DELETE FROM [Customers] WHERE [CustomerID] = 'ALFKI'",
     "table 'Orders' includes related records. (relationship 'CustomersOrders')",
     "SELECT COUNT(*) FROM [Orders] WHERE [CustomerID] = 'ALFKI'", nullptr, After::Same},
    {"%NW", "DELETE FROM [Orders] WHERE [OrderID] = 10248", nullptr,
     "SELECT COUNT(*) FROM [Order Details] WHERE [OrderID] = 10248", nullptr, After::Zero},
    {"%NW", "DROP TABLE [Order Details]", "('OrdersOrder Details', 'ProductsOrder Details')", nullptr, nullptr,
     After::Same},
    {"%NW",
     "INSERT INTO [Order Details] (OrderID, ProductID, UnitPrice, Quantity, Discount) VALUES (99999, 1, 1, 1, 0)",
     "a related record is required in table 'Orders'. (relationship 'OrdersOrder Details')", nullptr, nullptr,
     After::Same},
    {"%NW", "UPDATE [Orders] SET [CustomerID] = 'NOONE' WHERE [OrderID] = 10248",
     "a related record is required in table 'Customers'. (relationship 'CustomersOrders')", nullptr, nullptr,
     After::Same},
    {"%NW", "UPDATE [Customers] SET [CustomerID] = 'ALFKX' WHERE [CustomerID] = 'ALFKI'", nullptr,
     "SELECT COUNT(*) FROM [Orders] WHERE [CustomerID] = 'ALFKI'",
     "SELECT COUNT(*) FROM [Orders] WHERE [CustomerID] = 'ALFKX'", After::Same},
    // Once its order lines are gone a product can go (their index entries no longer count).
    {"%NW", "DELETE FROM [Products] WHERE [ProductID] = 1", nullptr,
     "SELECT COUNT(*) FROM [Products] WHERE [ProductID] = 1", nullptr, After::Zero,
     "DELETE FROM [Order Details] WHERE [ProductID] = 1"},
    // Keys compare as the index compares them: without regard to case.
    {"%NW", "UPDATE [Orders] SET [CustomerID] = 'anatr' WHERE [OrderID] = 10248", nullptr,
     "SELECT COUNT(*) FROM [Orders] WHERE [OrderID] = 10248", nullptr, After::Same},
    // A foreign key with a null column names no parent and is allowed.
    {"%NW", "UPDATE [Products] SET [SupplierID] = NULL WHERE [ProductID] = 1", nullptr,
     "SELECT COUNT(*) FROM [Products] WHERE [ProductID] = 1",
     "SELECT COUNT(*) FROM [Products] WHERE [ProductID] = 1 AND [SupplierID] IS NULL", After::Same},
    {"jackcess_indexTestV2000.mdb", "UPDATE [Table2] SET [id] = 5 WHERE [id] = 1",
     "table 'Table1' includes related records. (relationship 'Table2Table1')", nullptr, nullptr, After::Same},
    {"jackcess_indexTestV2000.mdb", "DELETE FROM [Table3] WHERE [id] = 11",
     "table 'Table1' includes related records. (relationship 'Table3Table1')", nullptr, nullptr, After::Same},
    {"jackcess_indexTestV2000.mdb", "UPDATE [Table3] SET [id] = 21 WHERE [id] = 11", nullptr,
     "SELECT COUNT(*) FROM [Table1] WHERE [otherfk2] = 11", "SELECT COUNT(*) FROM [Table1] WHERE [otherfk2] = 21",
     After::Same},
    {"jackcess_indexTestV2000.mdb", "DELETE FROM [Table2] WHERE [id] = 1", nullptr,
     "SELECT COUNT(*) FROM [Table1] WHERE [otherfk1] = 1", nullptr, After::Zero},
    {"pt_BalemAgenda2000.mdb", "DELETE FROM [tblDatasAgenda] WHERE [dtData] = #2009-09-22#", nullptr,
     "SELECT COUNT(*) FROM [tblAgendaSessão] WHERE [DataSessão] = #2009-09-22#", nullptr, After::Zero},
    {"pt_BalemAgenda2000.mdb", "UPDATE [tblDatasAgenda] SET [dtData] = #2009-09-23# WHERE [dtData] = #2009-09-22#",
     nullptr, "SELECT COUNT(*) FROM [tblAgendaFone] WHERE [DataFone] = #2009-09-22#",
     "SELECT COUNT(*) FROM [tblAgendaFone] WHERE [DataFone] = #2009-09-23#", After::Same},
    // Not enforced: the children stay.
    {"kbfakt05.mdb", "DELETE FROM [RECH1] WHERE [XAUFTR_NR] = 1005513", nullptr,
     "SELECT COUNT(*) FROM [RECH2] WHERE [AUFTR_NR] = 1005513", nullptr, After::Same},
    {"kbfakt05.mdb", "DROP TABLE [RECH2]", "('RECH1RECH2')", nullptr, nullptr, After::Same},
};

TEST(Relationships, WritesAreRefusedOrCascadeAsInAccess) {
    for (const Case& c : kCases) {
        std::vector<std::string> fixtures = {c.fixture};
        if (fixtures[0] == "%NW") fixtures = {"northwind_jet4_statdata.mdb", "Northwind_forms.mdb"};
        for (const auto& name : fixtures) {
            SCOPED_TRACE(name + ": " + c.statement);
            const auto source = anyFixture(name);
            if (source.empty()) {
                JET_UNAVAILABLE() << missingFixtureMessage(name);
            }
            const auto file = tempCopy(source, name);
            if (c.setup) {
                ASSERT_EQ(sql(file, c.setup).rc, 0);
            }
            const long before = c.before ? count(file, c.before) : 0;
            if (c.before) {
                EXPECT_GT(before, 0);
            }
            const auto bytes = readFile(file);
            const SqlRun r = sql(file, c.statement);
            if (c.refusal) {
                EXPECT_NE(r.rc, 0);
                EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
                EXPECT_TRUE(readFile(file) == bytes) << "a refused statement changed the file";
            } else {
                EXPECT_EQ(r.rc, 0) << r.err;
                EXPECT_FALSE(readFile(file) == bytes);
                EXPECT_EQ(relationshipProblems(file), std::vector<std::string>{});
            }
            if (c.before) {
                const long after = count(file, c.after ? c.after : c.before);
                EXPECT_EQ(after, c.expect == After::Zero ? 0 : before);
            }
            std::filesystem::remove_all(file.parent_path());
        }
    }
}

// kbfakt05's one relationship (RECH2.AUFTR_NR -> RECH1.XAUFTR_NR, not enforced, no index on
// the foreign key: the rules scan) with its grbit, a Long in the fixed part of the
// MSysRelationships row, set in the file to each kind of enforcement.
void setFlags(const std::filesystem::path& file, uint32_t flags) {
    RowId row;
    size_t fixedOffset = 0;
    uint32_t pageSize = 0;
    {
        auto db = Database::open(file);
        ASSERT_FALSE(db.isPageEncoded());
        pageSize = db.pageSize();
        auto cursor = db.scan("MSysRelationships");
        const int grbit = cursor.table().findColumn("grbit");
        ASSERT_GE(grbit, 0);
        fixedOffset = cursor.table().columns[static_cast<size_t>(grbit)].fixedOffset;
        ASSERT_TRUE(cursor.next());
        row = cursor.rowId();
    }
    auto bytes = readFile(file);
    const size_t page = static_cast<size_t>(row.page) * pageSize;
    const size_t slot = page + 14 + 2u * row.slot; // Jet 4 data page: the slot table at 14
    const size_t at = page + ((bytes[slot] | bytes[slot + 1] << 8) & 0x1FFF) + 2 + fixedOffset;
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(flags >> (8 * i));
    writeFile(file, bytes);
    ASSERT_EQ(Database::open(file).relationships().at(0).flags, flags);
}

struct FlagCase {
    uint32_t flags;
    const char* statement;
    const char* refusal;
    const char* after; // counts the children afterwards: all of them, or none (refused)
};

TEST(Relationships, EachKindOfEnforcementOnAForeignKeyWithoutIndex) {
    const auto source = anyFixture("kbfakt05.mdb");
    if (source.empty()) {
        JET_UNAVAILABLE() << missingFixtureMessage("kbfakt05.mdb");
    }
    const std::string children = "SELECT COUNT(*) FROM [RECH2] WHERE [AUFTR_NR] = 1005513";
    const FlagCase cases[] = {
        {0, "DELETE FROM [RECH1] WHERE [XAUFTR_NR] = 1005513", "table 'RECH2' includes related records", nullptr},
        {0, "UPDATE [RECH1] SET [XAUFTR_NR] = 999 WHERE [XAUFTR_NR] = 1005513", "includes related records", nullptr},
        {0, "UPDATE [RECH2] SET [AUFTR_NR] = 999 WHERE [AUFTR_NR] = 1005513", "required in table 'RECH1'", nullptr},
        {relationship_flags::CascadeDeletes, "DELETE FROM [RECH1] WHERE [XAUFTR_NR] = 1005513", nullptr, nullptr},
        {relationship_flags::CascadeNull, "DELETE FROM [RECH1] WHERE [XAUFTR_NR] = 1005513", nullptr,
         "SELECT COUNT(*) FROM [RECH2] WHERE [AUFTR_NR] IS NULL"},
        {relationship_flags::CascadeUpdates, "UPDATE [RECH1] SET [XAUFTR_NR] = 999 WHERE [XAUFTR_NR] = 1005513",
         nullptr, "SELECT COUNT(*) FROM [RECH2] WHERE [AUFTR_NR] = 999"},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.flags) + ": " + c.statement);
        const auto file = tempCopy(source, "kbfakt05.mdb");
        setFlags(file, c.flags);
        const long before = count(file, children);
        const long nullsBefore = count(file, "SELECT COUNT(*) FROM [RECH2] WHERE [AUFTR_NR] IS NULL");
        EXPECT_GT(before, 0);
        const auto bytes = readFile(file);
        const SqlRun r = sql(file, c.statement);
        if (c.refusal) {
            EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
            EXPECT_TRUE(readFile(file) == bytes);
        } else {
            EXPECT_EQ(r.rc, 0) << r.err;
            EXPECT_EQ(count(file, children), 0);
            if (c.after) {
                EXPECT_EQ(count(file, c.after),
                          before + (c.flags == relationship_flags::CascadeNull ? nullsBefore : 0));
            }
        }
        EXPECT_EQ(relationshipProblems(file), std::vector<std::string>{});
        std::filesystem::remove_all(file.parent_path());
    }
}

// A child row left without its parent is reported once the relationship is enforced: the
// RECH2 rows of a RECH1 row deleted while the relationship was not enforced.
TEST(Relationships, CheckReportsChildRowsWithoutParent) {
    const auto source = anyFixture("kbfakt05.mdb");
    if (source.empty()) {
        JET_UNAVAILABLE() << missingFixtureMessage("kbfakt05.mdb");
    }
    const auto file = tempCopy(source, "kbfakt05.mdb");
    const long children = count(file, "SELECT COUNT(*) FROM [RECH2] WHERE [AUFTR_NR] = 1005513");
    ASSERT_EQ(sql(file, "DELETE FROM [RECH1] WHERE [XAUFTR_NR] = 1005513").rc, 0);
    EXPECT_EQ(relationshipProblems(file).size(), 0u);
    setFlags(file, 0);
    const auto problems = relationshipProblems(file);
    EXPECT_EQ(static_cast<long>(problems.size()), children);
    for (const auto& p : problems) EXPECT_NE(p.find("'RECH1RECH2'"), std::string::npos) << p;
    std::filesystem::remove_all(file.parent_path());
}

// Every fixture's relationships as mdbtools reads MSysRelationships, and none with orphans.
TEST(Relationships, ReadAsMdbtoolsReadsThemAndHoldInEveryFixture) {
    std::vector<std::filesystem::path> files;
    for (const auto& n : allFixtures())
        if (auto p = fixturePath(n); !p.empty()) files.push_back(p);
    const auto real = tablor::test::sharedTestData("mdb-real");
    if (std::filesystem::exists(real))
        for (const auto& e : std::filesystem::directory_iterator(real))
            if (e.path().extension() == ".mdb" && e.path().filename() != "not_access_xlsx.mdb")
                files.push_back(e.path());
    const bool mdbtools = readerPresent(haveMdbTools(), "mdbtools");
    size_t withRelationships = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        using Pair = std::tuple<std::string, long, std::string, std::string, std::string, std::string>;
        std::multiset<Pair> ours;
        auto db = Database::open(f);
        for (const auto& r : db.relationships())
            for (size_t i = 0; i < r.childColumns.size(); ++i)
                ours.emplace(r.name, static_cast<long>(r.flags), r.childTable, r.childColumns[i], r.parentTable,
                             r.parentColumns[i]);
        if (!ours.empty()) ++withRelationships;
        EXPECT_EQ(relationshipProblems(f), std::vector<std::string>{});
        if (!mdbtools) continue;
        const auto rows =
            parseCsv(runCommand("mdb-export " + shellQuote(f.string()) + " MSysRelationships 2>/dev/null"));
        if (rows.empty()) continue; // no MSysRelationships
        auto column = [&](const char* name) {
            return static_cast<size_t>(std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin());
        };
        const size_t n = column("szRelationship"), g = column("grbit"), c = column("szObject"), cc = column("szColumn"),
                     p = column("szReferencedObject"), pc = column("szReferencedColumn");
        std::multiset<Pair> theirs;
        for (size_t i = 1; i < rows.size(); ++i) {
            const auto& v = rows[i];
            if (v.size() == rows[0].size()) theirs.emplace(v[n], std::stol(v[g]), v[c], v[cc], v[p], v[pc]);
        }
        EXPECT_EQ(ours, theirs);
    }
    EXPECT_GE(withRelationships, 10u);
}

} // namespace
} // namespace jet::test
