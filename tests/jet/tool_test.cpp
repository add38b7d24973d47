// tablor-mdb: its commands, outputs and exit codes; check passes on every real file and
// fails on a damaged one.
#include "commands.h"
#include "fixtures.h"

#include <gtest/gtest.h>

namespace jet::test {
namespace {

struct Result {
    int rc;
    std::string out, err;
};

Result runTool(std::vector<std::string> args) {
    char *o = nullptr, *e = nullptr;
    size_t on = 0, en = 0;
    FILE* out = open_memstream(&o, &on);
    FILE* err = open_memstream(&e, &en);
    const int rc = tool::run(args, out, err);
    std::fclose(out);
    std::fclose(err);
    Result r{rc, std::string(o, on), std::string(e, en)};
    std::free(o);
    std::free(e);
    return r;
}

TEST(JetTool, TablesSchemaCountExport) {
    JET_REQUIRE_FIXTURE(path, "jackcess_testV1997.mdb");
    const std::string f = path.string();
    auto r = runTool({"tables", f});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "Table1\nTable2\nTable3\nTable4\n");
    r = runTool({"count", f, "Table1"});
    EXPECT_EQ(r.out, "2\n");
    r = runTool({"schema", f, "Table1"});
    EXPECT_NE(r.out.find("COLUMN A\tText (50)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("COLUMN H\tCurrency"), std::string::npos) << r.out;
    r = runTool({"export", f, "Table1"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "A,B,C,D,E,F,G,H,I\n"
                     "\"a\",\"b\",0,0,0,0,\"1981-12-12 00:00:00\",0.0000,0\n"
                     "\"abcdefg\",\"hijklmnop\",2,222,333333333,444.555,\"1974-09-21 00:00:00\",3.5000,1\n");
}

TEST(JetTool, UsageErrorsAndExitCodes) {
    EXPECT_EQ(runTool({}).rc, 2);
    EXPECT_EQ(runTool({"frobnicate", "x.mdb"}).rc, 2);
    EXPECT_EQ(runTool({"export", "x.mdb"}).rc, 2);
    EXPECT_EQ(runTool({"tables", "/nonexistent.mdb"}).rc, 3);
    JET_REQUIRE_FIXTURE(path, "jackcess_testV1997.mdb");
    auto r = runTool({"count", path.string(), "Nope"});
    EXPECT_EQ(r.rc, 5);
    EXPECT_NE(r.err.find("Nope"), std::string::npos);
}

TEST(JetTool, CodePageOption) {
    JET_REQUIRE_FIXTURE(path, "ucanaccess_charsetGBK.mdb");
    auto r = runTool({"--codepage", "GBK", "export", path.string(), "table1"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("GBK\u7F16\u7801"), std::string::npos) << r.out;
}

class ToolCheck : public ::testing::TestWithParam<std::string> {};

TEST_P(ToolCheck, RealFilesPassTheCheck) {
    JET_REQUIRE_FIXTURE(path, GetParam());
    auto r = runTool({"check", path.string()});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("0 problems"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, ToolCheck, ::testing::ValuesIn(allFixtures()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                             std::string n = p.param.substr(0, p.param.size() - 4);
                             for (auto& ch : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return n;
                         });

TEST(JetTool, CheckFindsADamagedIndexAndUsageMap) {
    JET_REQUIRE_FIXTURE(src, "jackcess_compIndexTestV2000.mdb");
    const auto original = readFile(src);
    const size_t ps = 4096;
    // Swap two entries' row bytes in a leaf page: the index now points at the wrong rows
    // or lists a row twice.
    size_t leaf = 0;
    for (size_t p = 3; p * ps < original.size(); ++p) {
        if (original[p * ps] == 0x04 && original[p * ps + 0x1E0 + 3] != 0) leaf = p;
    }
    ASSERT_NE(leaf, 0u);
    auto bytes = original;
    // Change the slot byte of every entry's row pointer region by scanning the mask.
    const size_t mask = leaf * ps + 27, base = leaf * ps + 0x1E0;
    int changed = 0;
    for (size_t i = 0; i < 453 && changed < 3; ++i) {
        for (int b = 0; b < 8; ++b) {
            if (bytes[mask + i] & (1 << b)) {
                bytes[base + i * 8 + static_cast<size_t>(b) - 1] ^= 0x40; // the slot byte
                ++changed;
            }
        }
    }
    auto p = tempCopy(src, "damaged.mdb");
    writeFile(p, bytes);
    auto r = runTool({"check", p.string()});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.out.find("index"), std::string::npos) << r.out;
}

TEST(JetTool, CheckFindsAKeyThatIsNotItsRowsEncoding) {
    // Northwind's Orders primary key: change the last byte of one entry's key in place
    // (keys stay in order when the last entry of a page is changed upwards).
    JET_REQUIRE_FIXTURE(src, "northwind_jet4_statdata.mdb");
    auto db = Database::open(src);
    auto def = db.table("Orders");
    const IndexDef* pk = nullptr;
    for (const auto& ix : def->indexes) {
        if (ix.isPrimaryKey()) pk = &ix;
    }
    ASSERT_NE(pk, nullptr);
    auto walk = db.indexScan(def, *pk);
    ASSERT_TRUE(walk.next());
    const auto firstKey = walk.entry().key; // 7F 80 00 28 08 (10248)
    auto bytes = readFile(src);
    // Find the first entry's bytes on a leaf page (uncompressed: it is a page's first entry).
    size_t found = 0;
    for (size_t p = 0; p + 4096 <= bytes.size() && !found; p += 4096) {
        if (bytes[p] != 0x04) continue;
        if (std::equal(firstKey.begin(), firstKey.end(), bytes.begin() + static_cast<long>(p + 0x1E0))) {
            found = p + 0x1E0 + firstKey.size() - 1;
        }
    }
    ASSERT_NE(found, 0u);
    bytes[found] ^= 0x01; // 10248 becomes 10249 in the key only
    auto copy = tempCopy(src, "keys.mdb");
    writeFile(copy, bytes);
    auto r = runTool({"check", copy.string()});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.out.find("is not the encoding of the row's values"), std::string::npos) << r.out;
}

} // namespace
} // namespace jet::test
