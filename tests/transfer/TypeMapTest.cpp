// The Access column each MySQL type text gets on download, with the mends over the plain map:
// decimals keep precision and scale, wide integers become exact decimals, long varchars memos,
// types without an entry keep their values, suffixes after the size do not matter.
#include "support/files.h"
#include "transfer/TypeMap.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tablor::transfer;

namespace {

struct Case {
    const char* type;
    const char* jetType;
    jet::ColumnType kind;
    ValueSource source;
};

const Case kCases[] = {
    {"tinyint(4)", "LONG", jet::ColumnType::Long, ValueSource::Number},
    {"int(11)", "LONG", jet::ColumnType::Long, ValueSource::Number},
    {"int(11) unsigned zerofill", "DECIMAL (10,0)", jet::ColumnType::Numeric, ValueSource::Number},
    {"mediumint(8) unsigned", "LONG", jet::ColumnType::Long, ValueSource::Number},
    {"bigint(20)", "DECIMAL (19,0)", jet::ColumnType::Numeric, ValueSource::Number},
    {"bigint(20) unsigned", "DECIMAL (20,0)", jet::ColumnType::Numeric, ValueSource::Number},
    {"decimal(12,2)", "DECIMAL (12,2)", jet::ColumnType::Numeric, ValueSource::Number},
    {"decimal(28,28) unsigned", "DECIMAL (28,28)", jet::ColumnType::Numeric, ValueSource::Number},
    {"decimal(65,30)", "TEXT (67)", jet::ColumnType::Text, ValueSource::Number},
    {"float", "REAL", jet::ColumnType::Single, ValueSource::Floating},
    {"double precision", "DOUBLE", jet::ColumnType::Double, ValueSource::Floating},
    {"time", "TEXT (10)", jet::ColumnType::Text, ValueSource::Text},
    {"time(6)", "TEXT (17)", jet::ColumnType::Text, ValueSource::Text},
    {"timestamp(6)", "DATETIME", jet::ColumnType::DateTime, ValueSource::Temporal},
    {"varchar(20) CHARACTER SET latin1 COLLATE latin1_bin", "TEXT (20)", jet::ColumnType::Text, ValueSource::Text},
    {"char(10) binary", "TEXT (10)", jet::ColumnType::Text, ValueSource::Text},
    {"varchar(255)", "TEXT (255)", jet::ColumnType::Text, ValueSource::Text},
    {"varchar(256)", "MEMO", jet::ColumnType::Memo, ValueSource::Text},
    {"enum('yes','no')", "TEXT (16)", jet::ColumnType::Text, ValueSource::Text},
    {"set('a,b','c''d')", "TEXT (17)", jet::ColumnType::Text, ValueSource::Text},
    {"bit(1)", "BYTE", jet::ColumnType::Byte, ValueSource::Bits},
    {"bit(31)", "LONG", jet::ColumnType::Long, ValueSource::Bits},
    {"bit(64)", "DECIMAL (20,0)", jet::ColumnType::Numeric, ValueSource::Bits},
    {"binary(16)", "BINARY (16)", jet::ColumnType::Binary, ValueSource::Bytes},
    {"varbinary(1000)", "OLEOBJECT", jet::ColumnType::Ole, ValueSource::Bytes},
    {"point", "OLEOBJECT", jet::ColumnType::Ole, ValueSource::Bytes},
    {"longtext", "MEMO", jet::ColumnType::Memo, ValueSource::Text},
    {"inet6", "MEMO", jet::ColumnType::Memo, ValueSource::Text},
};

} // namespace

TEST(TypeMap, EveryTypeTextGetsAColumnThatKeepsItsValues) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.type);
        const ColumnPlan p = columnDefinition({"col", c.type, "YES", "", "", ""});
        EXPECT_EQ(p.jetType.toStdString(), c.jetType);
        EXPECT_EQ(p.access.type, c.kind);
        EXPECT_EQ(p.source, c.source);
        EXPECT_EQ(p.access.name, "col");
    }
}

TEST(TypeMap, TheEngineCreatesEveryDefinition) {
    jet::TableSpec t;
    t.name = "all types";
    int n = 0;
    for (const Case& c : kCases) {
        ColumnPlan p = columnDefinition({QStringLiteral("c%1").arg(n++), c.type, "YES", "", "", ""});
        t.columns.push_back(p.access);
    }
    const tablor::test::TempDir tmp("typemap");
    const std::filesystem::path& dir = tmp.path;
    {
        auto writer = jet::DatabaseWriter::create(dir / "t.mdb");
        const auto def = writer.createTable(t);
        ASSERT_EQ(def->columns.size(), t.columns.size());
        for (size_t i = 0; i < t.columns.size(); ++i) {
            EXPECT_EQ(def->columns[i].type, t.columns[i].type) << kCases[i].type;
            if (t.columns[i].type == jet::ColumnType::Numeric) {
                EXPECT_EQ(def->columns[i].precision, t.columns[i].precision) << kCases[i].type;
                EXPECT_EQ(def->columns[i].scale, t.columns[i].scale) << kCases[i].type;
            }
        }
    }
}

TEST(TypeMap, WholePrefixMatching) {
    EXPECT_STREQ(matchTypeMap(QStringLiteral("tinyint(4)"))->mysqlName, "tinyint");
    EXPECT_STREQ(matchTypeMap(QStringLiteral("varchar(50)"))->mysqlName, "varchar");
    EXPECT_STREQ(matchTypeMap(QStringLiteral("double precision"))->mysqlName, "double");
    EXPECT_STREQ(matchTypeMap(QStringLiteral("date"))->mysqlName, "date");
    EXPECT_EQ(matchTypeMap(QStringLiteral("integerish")), nullptr);
    EXPECT_EQ(matchTypeMap(QStringLiteral("inet6")), nullptr);
}

TEST(TypeMap, TheWholePrimaryKeyInKeyOrderAndUniqueColumns) {
    const std::vector<ColumnDescription> cols = {{"line", "int(11)", "NO", "PRI", "", ""},
                                                 {"code", "varchar(10)", "YES", "UNI", "", ""},
                                                 {"order", "int(11)", "NO", "PRI", "", ""}};
    EXPECT_EQ(tableDefinition("t", cols).keyColumns, (QStringList{"line", "order"}));
    const TablePlan plan = tableDefinition("t", cols, {"order", "line"});
    const jet::TableSpec table = plan.tableSpec();
    ASSERT_EQ(table.indexes.size(), 2u);
    EXPECT_TRUE(table.indexes[0].primaryKey);
    EXPECT_EQ(table.indexes[0].columns, (std::vector<std::string>{"order", "line"}));
    EXPECT_TRUE(table.indexes[1].unique && table.indexes[1].ignoreNulls);
    EXPECT_EQ(table.indexes[1].columns, (std::vector<std::string>{"code"}));
}

// Access 97 has no Decimal: exact as Currency where it fits, else exact as text; other
// columns stay as they are.
TEST(TypeMap, Access97GetsCurrencyOrTextForDecimals) {
    std::vector<ColumnDescription> cols;
    for (const char* type :
         {"decimal(12,2)", "decimal(19,4)", "decimal(20,4)", "decimal(10,5)", "bigint(20)", "int(11)", "varchar(3)"})
        cols.push_back({QString::fromLatin1(type), QString::fromLatin1(type), "NO", "", "", ""});
    TablePlan plan = tableDefinition("t", cols);
    fitToAccess97(plan);
    QStringList got;
    for (const ColumnPlan& c : plan.columns) got << c.jetType;
    EXPECT_EQ(got, (QStringList{"CURRENCY", "CURRENCY", "TEXT (22)", "TEXT (12)", "TEXT (21)", "LONG", "TEXT (3)"}));
    EXPECT_EQ(plan.columns[2].access.type, jet::ColumnType::Text);
    EXPECT_EQ(plan.columns[2].access.length, 22);
}
