// Lexer and parser details that the statement files cannot show: error positions counted
// in characters, error classes, date literals and values' text forms.
#include <gtest/gtest.h>

#include "jet/sql/error.h"
#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"

using namespace jet::sql;

TEST(SqlLexer, PositionsCountCharactersNotBytes) {
    // "ä" and "ß" take two bytes each; the '?' is the 31st character.
    const std::string sql = "SELECT * FROM [Bär] WHERE ß = ?";
    try {
        parse(sql);
        FAIL() << "a parameter marker must be refused";
    } catch (const NotSupportedError& e) {
        EXPECT_NE(std::string(e.what()).find("position 31"), std::string::npos) << e.what();
    }
    try {
        parse("SELECT * FROM [Größe] WHERE x = = 1");
        FAIL();
    } catch (const SyntaxError& e) {
        EXPECT_EQ(e.position(), 33u) << e.what();
    }
}

TEST(SqlLexer, TokensAndLiterals) {
    auto tokens = tokenize("SELECT [a b] FROM t");
    ASSERT_GE(tokens.size(), 3u);
    EXPECT_EQ(tokens[1].kind, TokenKind::QuotedName);
    EXPECT_EQ(tokens[1].text, "a b");
    EXPECT_THROW(tokenize("SELECT [a]]x FROM t"), SyntaxError); // a bracket name ends at the first ']'
    tokens = tokenize("'it''s' \"x\"\"y\" #1/2/2003# @@identity <> <= >= 1.5e3");
    EXPECT_EQ(tokens[0].text, "it's");
    EXPECT_EQ(tokens[1].text, "x\"y");
    EXPECT_EQ(tokens[2].kind, TokenKind::Date);
    EXPECT_EQ(tokens[3].kind, TokenKind::SystemVariable);
    EXPECT_EQ(tokens[4].kind, TokenKind::NotEqual);
    EXPECT_EQ(tokens[5].kind, TokenKind::LessEqual);
    EXPECT_EQ(tokens[6].kind, TokenKind::GreaterEqual);
    EXPECT_EQ(tokens[7].text, "1.5e3");
    EXPECT_EQ(tokens.back().kind, TokenKind::End);
    EXPECT_THROW(tokenize("SELECT 12abc"), SyntaxError);
    EXPECT_THROW(tokenize("SELECT `x`"), SyntaxError); // MySQL quoting is not Jet's
    EXPECT_THROW(tokenize("SELECT []"), SyntaxError);
}

TEST(SqlParser, RefusalsAreNotSupportedErrorsAndMistakesSyntaxErrors) {
    EXPECT_THROW(parse("SELECT * FROM a LEFT JOIN b ON a.x = b.x"), NotSupportedError);
    EXPECT_THROW(parse("SELECT Mid(a, 2) FROM t"), NotSupportedError);
    EXPECT_THROW(parse("SELECT * FROM t WHERE"), SyntaxError);
    EXPECT_THROW(parse("CREATE TABLE t (a TEXT (20) binary)"), SyntaxError);
    EXPECT_THROW(parse("CREATE TABLE t (a TEXT (300))"), ExecutionError);
    // Keywords in brackets are names.
    auto s = parse("SELECT [Select], [from] FROM [Where]");
    EXPECT_EQ(toSql(s), "SELECT [Select], [from] FROM [Where]");
}

TEST(SqlParser, DateLiterals) {
    DateTime d;
    ASSERT_TRUE(parseDateLiteral("2024-02-29", d));
    EXPECT_EQ(dateTimeToString(d), "2024-02-29 00:00:00");
    ASSERT_TRUE(parseDateLiteral("2/3/2004 11:59:59 PM", d)); // month first
    EXPECT_EQ(dateTimeToString(d), "2004-02-03 23:59:59");
    ASSERT_TRUE(parseDateLiteral("12:00 AM", d));
    EXPECT_EQ(d.days, 0.0);
    ASSERT_TRUE(parseDateLiteral("1899-12-30", d));
    EXPECT_EQ(d.days, 0.0);
    ASSERT_TRUE(parseDateLiteral("1899-12-29 06:00:00", d));
    EXPECT_DOUBLE_EQ(d.days, -1.25); // Access's encoding before its epoch
    EXPECT_DOUBLE_EQ(d.linear(), -0.75);
    ASSERT_TRUE(parseDateLiteral("1/1/29", d));
    EXPECT_EQ(dateTimeToString(d), "2029-01-01 00:00:00");
    ASSERT_TRUE(parseDateLiteral("1/1/30", d));
    EXPECT_EQ(dateTimeToString(d), "1930-01-01 00:00:00");
    ASSERT_TRUE(parseDateLiteral("9999-12-31 23:59:59", d));
    EXPECT_EQ(dateTimeToString(d), "9999-12-31 23:59:59");
    EXPECT_FALSE(parseDateLiteral("2023-02-29", d));
    EXPECT_FALSE(parseDateLiteral("2023-13-01", d));
    EXPECT_FALSE(parseDateLiteral("24:00", d));
    EXPECT_FALSE(parseDateLiteral("13:00 PM", d));
    EXPECT_FALSE(parseDateLiteral("", d));
    EXPECT_FALSE(parseDateLiteral("Jan 5 2020", d));
}

TEST(SqlValues, ExactDecimalsAndText) {
    Decimal d;
    ASSERT_TRUE(parseDecimal("-0.0500", d));
    EXPECT_EQ(decimalToString(d), "-0.0500");
    ASSERT_TRUE(parseDecimal("1234567890123456789012345678", d)); // 28 digits, beyond 64 bits
    EXPECT_EQ(decimalToString(d), "1234567890123456789012345678");
    EXPECT_FALSE(parseDecimal("1.2.3", d));
    EXPECT_FALSE(parseDecimal("", d));
    EXPECT_EQ(valueToText(Value(0.1)), "0.1");
    EXPECT_EQ(valueToText(Value(1e20)), "1e+20");
    EXPECT_EQ(valueToText(Value(-2.0)), "-2");
    EXPECT_EQ(valueToText(Value(Bytes{{0x00, 0xAB, 0x10}})), "00AB10");
}
