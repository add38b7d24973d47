#include <algorithm>
#include <charconv>
#include <limits>

#include "parser_impl.h"

namespace jet::sql::detail {

// ---- CREATE TABLE ------------------------------------------------------------------

Statement Parser::parseCreate() {
    advance(); // CREATE
    if (isWord("UNIQUE") || isWord("INDEX")) notSupported("CREATE INDEX");
    if (isWord("VIEW") || isWord("PROCEDURE") || isWord("USER") || isWord("GROUP"))
        notSupported("CREATE " + upper(peek().text));
    clause_ = "CREATE TABLE statement";
    if (isWord("TEMPORARY")) notSupported("CREATE TEMPORARY TABLE");
    expectWord("TABLE");
    CreateTableStatement s;
    s.table = parseTableName();
    expect(TokenKind::LeftParen, "'(' before the column definitions");
    if (peek().kind == TokenKind::RightParen)
        fail("Syntax error in CREATE TABLE statement", peek(), "a table needs at least one field");
    do {
        clause_ = "field definition";
        if (isWord("CONSTRAINT") || isWord("PRIMARY") || isWord("UNIQUE") || isWord("FOREIGN") || isWord("CHECK")) {
            s.constraints.push_back(parseTableConstraint());
        } else {
            s.columns.push_back(parseColumnDefinition());
        }
        clause_ = "field definition";
        if (peek().kind != TokenKind::Comma && peek().kind != TokenKind::RightParen)
            failIn("',' or ')' after the field definition");
    } while (accept(TokenKind::Comma));
    clause_ = "CREATE TABLE statement";
    expect(TokenKind::RightParen, "')' after the field definitions");
    if (s.columns.empty()) fail("Syntax error in CREATE TABLE statement", peek(), "a table needs at least one field");
    return s;
}

TableConstraint Parser::parseTableConstraint() {
    clause_ = "CONSTRAINT clause";
    TableConstraint c;
    if (acceptWord("CONSTRAINT")) c.name = parseName("a constraint name");
    if (isWord("FOREIGN") || isWord("REFERENCES")) notSupported("FOREIGN KEY (relationships)");
    if (isWord("CHECK")) notSupported("CHECK constraints");
    if (acceptWord("PRIMARY")) {
        expectWord("KEY");
        c.primaryKey = true;
    } else if (!acceptWord("UNIQUE")) {
        failIn("PRIMARY KEY, UNIQUE or FOREIGN KEY");
    }
    expect(TokenKind::LeftParen, "'(' before the constraint's fields");
    do {
        c.columns.push_back(parseName("a field name"));
        if (isWord("ASC") || isWord("DESC")) advance();
    } while (accept(TokenKind::Comma));
    expect(TokenKind::RightParen, "')' after the constraint's fields");
    return c;
}

std::uint32_t Parser::parseSize(const char* what) {
    const Token& t = peek();
    std::uint32_t n = 0;
    auto [p, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), n);
    if (t.kind != TokenKind::Number || ec != std::errc() || p != t.text.data() + t.text.size()) failIn(what);
    advance();
    return n;
}

TypeSpec Parser::parseType(const std::string& column) {
    if (!(peek().kind == TokenKind::Identifier)) failIn("a data type");
    const Token& t = advance();
    std::string word = upper(t.text);
    TypeSpec ts;
    ts.word = word;
    auto is = [&](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [&](const char* n) { return word == n; });
    };
    enum class Size { None, Optional, Precision, Seed } sizeRule = Size::None;
    if (is({"TEXT", "CHAR", "CHARACTER", "VARCHAR", "ALPHANUMERIC", "STRING", "NCHAR", "NVARCHAR", "NATIONAL"})) {
        if (word == "NATIONAL") {
            if (!acceptWord("CHAR") && !acceptWord("CHARACTER")) failIn("CHAR after NATIONAL");
        }
        if (word == "CHAR" || word == "CHARACTER" || word == "NATIONAL") acceptWord("VARYING"); // same type
        ts.type = ColumnType::Text;
        ts.size = 255;
        sizeRule = Size::Optional;
    } else if (is({"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT"})) {
        ts.type = ColumnType::Memo;
    } else if (is({"BINARY", "VARBINARY"})) {
        acceptWord("VARYING");
        ts.type = ColumnType::Binary;
        ts.size = 255;
        sizeRule = Size::Optional;
    } else if (is({"BIT", "LOGICAL", "LOGICAL1", "YESNO", "BOOLEAN"})) {
        ts.type = ColumnType::Boolean;
    } else if (is({"TINYINT", "BYTE", "INTEGER1"})) {
        ts.type = ColumnType::Byte;
    } else if (is({"SMALLINT", "SHORT", "INTEGER2"})) {
        ts.type = ColumnType::Integer;
    } else if (is({"INTEGER", "INT", "LONG", "INTEGER4"})) {
        ts.type = ColumnType::Long;
    } else if (is({"COUNTER", "AUTOINCREMENT", "IDENTITY"})) {
        ts.type = ColumnType::Long;
        ts.autoNumber = true;
        sizeRule = Size::Seed;
    } else if (is({"REAL", "SINGLE", "FLOAT4", "IEEESINGLE"})) {
        ts.type = ColumnType::Single;
    } else if (is({"FLOAT", "DOUBLE", "FLOAT8", "IEEEDOUBLE", "NUMBER"})) {
        if (word == "DOUBLE") acceptWord("PRECISION");
        ts.type = ColumnType::Double;
    } else if (is({"MONEY", "CURRENCY"})) {
        ts.type = ColumnType::Currency;
    } else if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP"})) {
        ts.type = ColumnType::DateTime;
    } else if (is({"DECIMAL", "NUMERIC", "DEC"})) {
        ts.type = ColumnType::Decimal;
        ts.precision = 18; // Jet's default precision and scale
        ts.scale = 0;
        sizeRule = Size::Precision;
    } else if (is({"OLEOBJECT", "LONGBINARY", "GENERAL", "IMAGE"})) {
        ts.type = ColumnType::Ole;
    } else if (is({"GUID", "UNIQUEIDENTIFIER"})) {
        ts.type = ColumnType::Guid;
    } else {
        fail("Syntax error in field definition", t, "'" + t.text + "' is not a data type");
    }
    if (peek().kind != TokenKind::LeftParen) return ts;
    const Token& open = advance();
    switch (sizeRule) {
    case Size::None: fail("Syntax error in field definition", open, "the type " + word + " takes no size");
    case Size::Optional: {
        const Token& sizeToken = peek();
        ts.size = parseSize("a size");
        std::uint32_t max = ts.type == ColumnType::Text ? 255 : 510;
        if (ts.size == 0 || ts.size > max)
            throw ExecutionError("Size of field '" + column + "' is " + (ts.size == 0 ? "zero" : "too long") + " (" +
                                 word + " (" + sizeToken.text + ") at position " +
                                 std::to_string(positionOf(sizeToken)) + "); the size must be 1 to " +
                                 std::to_string(max) + ".");
        break;
    }
    case Size::Precision: {
        const Token& precisionToken = peek();
        std::uint32_t precision = parseSize("a precision");
        std::uint32_t scale = 0;
        if (accept(TokenKind::Comma)) scale = parseSize("a scale");
        if (precision < 1 || precision > 28 || scale > precision)
            throw ExecutionError("Invalid precision or scale for field '" + column + "' at position " +
                                 std::to_string(positionOf(precisionToken)) +
                                 ": the precision must be 1 to 28 and the scale at most the precision.");
        ts.precision = static_cast<std::uint8_t>(precision);
        ts.scale = static_cast<std::uint8_t>(scale);
        break;
    }
    case Size::Seed: notSupported("an auto-number seed and increment");
    }
    expect(TokenKind::RightParen, "')' after the size");
    return ts;
}

ColumnDefinition Parser::parseColumnDefinition() {
    ColumnDefinition c;
    c.position = positionOf(peek());
    c.name = parseName("a field name");
    c.type = parseType(c.name);
    while (true) {
        if (acceptWord("NOT")) {
            expectWord("NULL");
            c.notNull = true;
        } else if (acceptWord("NULL")) {
            c.notNull = false;
        } else if (acceptWord("UNIQUE")) {
            c.unique = true;
        } else if (acceptWord("PRIMARY")) {
            expectWord("KEY");
            c.primaryKey = true;
        } else if (acceptWord("CONSTRAINT")) {
            c.constraintName = parseName("a constraint name");
            if (acceptWord("PRIMARY")) {
                expectWord("KEY");
                c.primaryKey = true;
            } else if (acceptWord("UNIQUE")) {
                c.unique = true;
            } else if (acceptWord("NOT")) {
                expectWord("NULL");
                c.notNull = true;
            } else if (isWord("REFERENCES") || isWord("FOREIGN")) {
                notSupported("REFERENCES (relationships)");
            } else {
                failIn("PRIMARY KEY, UNIQUE or NOT NULL after the constraint name");
            }
        } else if (acceptWord("WITH")) {
            if (!acceptWord("COMPRESSION") && !acceptWord("COMP")) failIn("COMPRESSION after WITH");
            if (c.type.type != ColumnType::Text && c.type.type != ColumnType::Memo)
                fail("Syntax error in field definition", peek(),
                     "WITH COMPRESSION applies to text and memo fields only");
            c.compressed = true;
        } else if (isWord("DEFAULT")) {
            notSupported("DEFAULT values");
        } else if (isWord("REFERENCES")) {
            notSupported("REFERENCES (relationships)");
        } else if (isWord("CHECK")) {
            notSupported("CHECK constraints");
        } else {
            return c;
        }
    }
}

// ---- INSERT, UPDATE, DELETE, DROP --------------------------------------------------

InsertStatement Parser::parseInsert() {
    clause_ = "INSERT INTO statement";
    advance(); // INSERT
    expectWord("INTO");
    InsertStatement s;
    s.table = parseTableName();
    if (accept(TokenKind::LeftParen)) {
        do {
            s.columns.push_back(parseName("a field name"));
        } while (accept(TokenKind::Comma));
        expect(TokenKind::RightParen, "')' after the field list");
    }
    if (isWord("SELECT")) notSupported("INSERT INTO ... SELECT");
    if (acceptWord("IN")) notSupported("INSERT INTO ... IN (a table of another database)");
    expectWord("VALUES");
    expect(TokenKind::LeftParen, "'(' before the values");
    do {
        clause_ = "query expression";
        s.values.push_back(parseExpr());
        clause_ = "INSERT INTO statement";
    } while (accept(TokenKind::Comma));
    expect(TokenKind::RightParen, "')' after the values");
    if (!s.columns.empty() && s.columns.size() != s.values.size())
        throw SyntaxError("Number of query values and destination fields are not the same (" +
                              std::to_string(s.values.size()) + " values for " + std::to_string(s.columns.size()) +
                              " fields).",
                          positionOf(peek()));
    return s;
}

UpdateStatement Parser::parseUpdate() {
    clause_ = "UPDATE statement";
    advance(); // UPDATE
    UpdateStatement s;
    s.table = parseTableName();
    if (peek().kind == TokenKind::Comma || isWord("INNER") || isWord("LEFT") || isWord("RIGHT"))
        notSupported("UPDATE over a join");
    expectWord("SET");
    do {
        std::string column = parseName("a field name");
        if (accept(TokenKind::Dot)) column = parseName("a field name after '.'");
        expect(TokenKind::Equal, "'='");
        clause_ = "query expression";
        s.assignments.emplace_back(column, parseExpr());
        clause_ = "UPDATE statement";
    } while (accept(TokenKind::Comma));
    if (acceptWord("WHERE")) {
        clause_ = "WHERE clause";
        s.where = parseExpr();
    }
    return s;
}

DeleteStatement Parser::parseDelete() {
    clause_ = "DELETE statement";
    advance(); // DELETE
    DeleteStatement s;
    // Jet accepts DELETE * FROM t and DELETE t.* FROM t as well as DELETE FROM t.
    if (!accept(TokenKind::Star) && atName() && peek(1).kind == TokenKind::Dot && peek(2).kind == TokenKind::Star) {
        advance();
        advance();
        advance();
    }
    expectWord("FROM");
    s.table = parseTableName();
    if (atName() && !isWord("WHERE")) advance(); // alias
    if (peek().kind == TokenKind::Comma || isWord("INNER") || isWord("LEFT") || isWord("RIGHT"))
        notSupported("DELETE over a join");
    if (acceptWord("WHERE")) {
        clause_ = "WHERE clause";
        s.where = parseExpr();
    }
    return s;
}

DropTableStatement Parser::parseDrop() {
    clause_ = "DROP TABLE or DROP INDEX";
    advance(); // DROP
    if (isWord("INDEX") || isWord("VIEW") || isWord("PROCEDURE") || isWord("USER") || isWord("GROUP"))
        notSupported("DROP " + upper(peek().text));
    expectWord("TABLE");
    DropTableStatement s;
    s.table = parseTableName();
    return s;
}

} // namespace jet::sql::detail
