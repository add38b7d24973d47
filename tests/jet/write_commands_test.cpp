// tablor-mdb create and import, run as the tool runs them.
#include "commands.h"
#include "jet/database.h"
#include "jet/writer.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int code = 0;
    std::string out, err;
};

ToolRun tool(const std::vector<std::string>& args) {
    ToolRun r;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    r.code = jet::tool::run(args, out, err);
    for (auto [f, s] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::rewind(f);
        char buf[4096];
        size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s->append(buf, n);
        std::fclose(f);
    }
    return r;
}

TEST(WriteCommands, CreateMakesAnEmptyDatabaseAndRefusesAnExistingFile) {
    const tablor::test::TempDir dir("tablor-cli");
    const std::string file = (dir.path / "new.mdb").string();
    EXPECT_EQ(tool({"create", file}).code, 0);
    EXPECT_TRUE(jet::Database::open(file).tableNames().empty());
    const ToolRun again = tool({"create", file});
    EXPECT_EQ(again.code, 3);
    EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
}

TEST(WriteCommands, ImportConvertsEachValueAndReportsRowsThatDoNotFitByLine) {
    const tablor::test::TempDir dir("tablor-import");
    const std::string file = (dir.path / "orders.mdb").string();
    {
        jet::DatabaseWriter w = jet::DatabaseWriter::create(file);
        jet::TableSpec s;
        s.name = "Orders";
        s.columns = {{"Id", jet::ColumnType::Long},         {"Customer", jet::ColumnType::Text, 30},
                     {"Amount", jet::ColumnType::Currency}, {"Placed", jet::ColumnType::DateTime},
                     {"Paid", jet::ColumnType::Boolean},    {"Note", jet::ColumnType::Memo}};
        jet::IndexSpec pk;
        pk.primaryKey = true;
        pk.columns = {"Id"};
        s.indexes = {pk};
        w.createTable(s);
    }
    const std::string csv = (dir.path / "orders.csv").string();
    std::ofstream(csv) << "Id,customer,Amount,Placed,Paid,Note\n"
                          "1,Müller,12.50,2024-01-31 10:00:00,1,\"multi\nline, \"\"quoted\"\"\"\n"
                          "2,Zoë,abc,2024-02-01,0,\n"
                          "1,dup,1,2024-02-02,0,x\n"
                          "3,Ok,-0.0001,31.12.1999,no,\n"
                          "4,A customer name longer than thirty,1,2024-01-01,1,\n";
    const ToolRun r = tool({"import", file, "Orders", csv});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "2 rows imported into [Orders], 3 refused\n");
    EXPECT_NE(r.err.find("line 4: \"abc\" is not an amount"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 5: the row would duplicate a key"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 7: the text has 34 characters"), std::string::npos) << r.err;
    const ToolRun exported = tool({"export", file, "Orders"});
    EXPECT_EQ(exported.code, 0);
    EXPECT_NE(exported.out.find("1,\"Müller\",12.5000,\"2024-01-31 10:00:00\",1,\"multi\nline, \"\"quoted\"\"\""),
              std::string::npos)
        << exported.out;
    EXPECT_NE(exported.out.find("3,\"Ok\",-0.0001,\"1999-12-31 00:00:00\",0,"), std::string::npos) << exported.out;
    EXPECT_EQ(tool({"check", file}).code, 0);
    // A header naming a column the table does not have imports nothing.
    std::ofstream(csv) << "Id,Nope\n9,x\n";
    EXPECT_EQ(tool({"import", file, "Orders", csv}).code, 2);
    EXPECT_EQ(tool({"count", file, "Orders"}).out, "2\n");
}

TEST(WriteCommands, ValueFromTextIsExactAndStrict) {
    jet::ColumnDef money;
    money.name = "m";
    money.type = jet::ColumnType::Currency;
    EXPECT_EQ(jet::valueFromText(money, "-12.3456").asCurrency().scaled, -123456);
    EXPECT_EQ(jet::valueFromText(money, "7").asCurrency().scaled, 70000);
    EXPECT_THROW(jet::valueFromText(money, "1.23456"), jet::ValueError);
    jet::ColumnDef dec;
    dec.name = "d";
    dec.type = jet::ColumnType::Numeric;
    dec.precision = 28;
    dec.scale = 3;
    EXPECT_EQ(jet::valueFromText(dec, "-1234567890123456789.125").asDecimal().toString(), "-1234567890123456789.125");
    jet::ColumnDef b;
    b.name = "b";
    b.type = jet::ColumnType::Byte;
    EXPECT_THROW(jet::valueFromText(b, "256"), jet::ValueError);
    EXPECT_TRUE(jet::valueFromText(b, "").isNull());
    jet::ColumnDef g;
    g.name = "g";
    g.type = jet::ColumnType::Guid;
    EXPECT_EQ(jet::valueFromText(g, "{00112233-4455-6677-8899-AABBCCDDEEFF}").asGuid().toString(),
              "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

} // namespace
