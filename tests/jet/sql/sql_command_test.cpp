// tablor-mdb sql: SELECT prints CSV exactly as export does, other statements the rows
// affected; failures go to standard error with exit code 6 (statement) or the file codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "../availability.h"
#include "commands.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

struct ToolResult {
    int rc;
    std::string out, err;
};

ToolResult runTool(const std::vector<std::string>& args) {
    char *o = nullptr, *e = nullptr;
    size_t on = 0, en = 0;
    FILE* out = open_memstream(&o, &on);
    FILE* err = open_memstream(&e, &en);
    const int rc = jet::tool::run(args, out, err);
    std::fclose(out);
    std::fclose(err);
    ToolResult r{rc, std::string(o, on), std::string(e, en)};
    std::free(o);
    std::free(e);
    return r;
}

fs::path fixture(const std::string& name) { return tablor::test::sharedTestData("mdb") / name; }

} // namespace

TEST(TablorMdbSql, SelectStarPrintsWhatExportPrints) {
    for (const char* name : {"northwind_jet4_statdata.mdb", "mdbtestdata_nwind_jet3.mdb", "jackcess_testV2000.mdb"}) {
        fs::path f = fixture(name);
        if (!fs::exists(f)) JET_UNAVAILABLE() << f << " is absent";
        auto tables = runTool({"tables", f.string()});
        ASSERT_EQ(tables.rc, 0);
        std::size_t at = 0;
        for (std::size_t nl; (nl = tables.out.find('\n', at)) != std::string::npos; at = nl + 1) {
            std::string table = tables.out.substr(at, nl - at);
            auto exported = runTool({"export", f.string(), table});
            auto selected = runTool({"sql", f.string(), "SELECT * FROM [" + table + "]"});
            ASSERT_EQ(selected.rc, 0) << selected.err;
            EXPECT_EQ(selected.out, exported.out) << name << " " << table;
        }
    }
}

TEST(TablorMdbSql, RowsAffectedAndErrors) {
    fs::path f = fixture("northwind_jet4_statdata.mdb");
    if (!fs::exists(f)) JET_UNAVAILABLE() << f << " is absent";
    const tablor::test::TempDir dir("tablor-sql-command");
    fs::path copy = dir.path / "nw.mdb";
    fs::copy_file(f, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write); // the fixtures are read-only

    auto r = runTool({"sql", copy.string(), "SELECT COUNT(*) FROM [Orders] WHERE ShipCountry = 'Germany'"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "Expr1000\n122\n");

    r = runTool({"sql", copy.string(), "DELETE FROM [Order Details] WHERE OrderID = 10248"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "3\n");
    r = runTool({"sql", copy.string(), "SELECT COUNT(*) FROM [Order Details] WHERE OrderID = 10248"});
    EXPECT_EQ(r.out, "Expr1000\n0\n");

    r = runTool({"sql", copy.string(), "SELECT * FROM [Orders] WHERE"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("Syntax error in WHERE clause at position 29"), std::string::npos) << r.err;

    r = runTool({"sql", copy.string(), "SELECT * FROM a INNER JOIN b ON a.x = b.x"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_NE(r.err.find("JOIN is not supported"), std::string::npos) << r.err;

    r = runTool({"sql", (dir.path / "missing.mdb").string(), "SELECT * FROM [t]"});
    EXPECT_EQ(r.rc, 3) << r.err;

    r = runTool({"sql", copy.string()});
    EXPECT_EQ(r.rc, 2);
}
