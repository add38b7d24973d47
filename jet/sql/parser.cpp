// Recursive-descent parser for the Jet SQL subset. Jet's operator precedence, from
// loosest to tightest: OR, AND, NOT, comparisons (=, <>, <, <=, >, >=, LIKE, IS NULL,
// BETWEEN, IN), & (concatenation), + and -, * / and \, unary minus.
#include "jet/sql/parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "jet/sql/error.h"
#include "jet/sql/lexer.h"

namespace jet::sql {
namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// `text` equals the upper-case `word` without regard to letter case.
bool sameWord(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i]) return false;
    }
    return true;
}

// Words that end an expression or a clause, so they cannot be bare column names.
bool isReserved(std::string_view word) {
    static const char* const words[] = {
        "SELECT",      "FROM",      "WHERE",      "ORDER", "BY",      "AND",   "OR",     "NOT",
        "IS",          "NULL",      "LIKE",       "IN",    "INTO",    "TOP",   "AS",     "ON",
        "JOIN",        "INNER",     "LEFT",       "RIGHT", "OUTER",   "UNION", "GROUP",  "HAVING",
        "BETWEEN",     "VALUES",    "SET",        "TRUE",  "FALSE",   "ASC",   "DESC",   "DISTINCT",
        "DISTINCTROW", "EXISTS",    "XOR",        "EQV",   "IMP",     "MOD",   "CREATE", "TABLE",
        "DELETE",      "INSERT",    "UPDATE",     "DROP",  "PRIMARY", "KEY",   "UNIQUE", "CONSTRAINT",
        "PIVOT",       "TRANSFORM", "PARAMETERS", "WITH",  "ALL",     "ANY",   "SOME"};
    return std::any_of(std::begin(words), std::end(words), [&](const char* w) { return sameWord(word, w); });
}

class Parser {
public:
    explicit Parser(std::string_view sql) : sql_(sql), tokens_(tokenize(sql)) {}

    Statement parseStatement() {
        const Token& first = peek();
        if (first.kind == TokenKind::LeftParen) notSupported("a statement in parentheses (a sub-query or a UNION)");
        if (first.kind != TokenKind::Identifier)
            fail("Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'", first);
        std::string word = upper(first.text);
        Statement result;
        if (word == "SELECT") {
            result = parseSelect();
        } else if (word == "CREATE") {
            result = parseCreate();
        } else if (word == "INSERT") {
            result = parseInsert();
        } else if (word == "UPDATE") {
            result = parseUpdate();
        } else if (word == "DELETE") {
            result = parseDelete();
        } else if (word == "DROP") {
            result = parseDrop();
        } else if (word == "ALTER" || word == "TRANSFORM" || word == "PARAMETERS" || word == "PROCEDURE" ||
                   word == "EXECUTE" || word == "GRANT" || word == "REVOKE") {
            notSupported("the " + word + " statement");
        } else {
            fail("Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'", first);
        }
        if (peek().kind == TokenKind::Semicolon) advance();
        if (peek().kind != TokenKind::End) {
            if (isWord("UNION")) notSupported("UNION");
            fail("Characters found after end of SQL statement", peek());
        }
        return result;
    }

    ExprPtr parseStandaloneExpression() {
        clause_ = "query expression";
        ExprPtr e = parseExpr();
        if (peek().kind != TokenKind::End) fail("Syntax error (missing operator) in query expression", peek());
        return e;
    }

private:
    std::string_view sql_;
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
    std::string clause_ = "statement";

    const Token& peek(std::size_t ahead = 0) const { return tokens_[std::min(at_ + ahead, tokens_.size() - 1)]; }
    const Token& advance() {
        const Token& t = tokens_[at_];
        if (at_ + 1 < tokens_.size()) ++at_;
        return t;
    }
    std::size_t positionOf(const Token& t) const { return characterPosition(sql_, t.offset); }

    bool isWord(const char* word, std::size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Identifier && sameWord(t.text, word);
    }
    bool acceptWord(const char* word) {
        if (!isWord(word)) return false;
        advance();
        return true;
    }
    bool accept(TokenKind kind) {
        if (peek().kind != kind) return false;
        advance();
        return true;
    }

    [[noreturn]] void fail(const std::string& what, const Token& at, const std::string& detail = "") const {
        std::size_t pos = positionOf(at);
        std::string message = what + " at position " + std::to_string(pos) + ": ";
        message += detail.empty() ? describeToken(at) + " was not expected" : detail + ", found " + describeToken(at);
        throw SyntaxError(message + ".", pos);
    }
    [[noreturn]] void failIn(const std::string& expected) const {
        fail("Syntax error in " + clause_, peek(), "expected " + expected);
    }
    [[noreturn]] void notSupported(const std::string& what) const {
        throw NotSupportedError(what + " is not supported by Tablor's Jet SQL (position " +
                                std::to_string(positionOf(peek())) +
                                "); it runs single-table SELECT, INSERT, UPDATE, DELETE, CREATE TABLE and DROP TABLE.");
    }

    void expectWord(const char* word) {
        if (!acceptWord(word)) failIn(std::string("'") + word + "'");
    }
    void expect(TokenKind kind, const char* shown) {
        if (!accept(kind)) failIn(shown);
    }

    // A table or column name: bare (not a reserved word) or in brackets.
    bool atName(std::size_t ahead = 0) const {
        const Token& t = peek(ahead);
        if (t.kind == TokenKind::QuotedName) return true;
        return t.kind == TokenKind::Identifier && !isReserved(t.text);
    }
    std::string parseName(const char* what) {
        if (!atName()) failIn(what);
        return advance().text;
    }

    std::string parseTableName() {
        if (peek().kind == TokenKind::LeftParen) notSupported("a sub-query in the FROM clause");
        std::string name = parseName("a table name");
        if (peek().kind == TokenKind::Dot || peek().kind == TokenKind::Bang)
            notSupported("a table name with a database or owner part");
        return name;
    }

    // ---- SELECT ------------------------------------------------------------------------

    SelectStatement parseSelect() {
        clause_ = "SELECT statement";
        advance(); // SELECT
        SelectStatement s;
        if (acceptWord("DISTINCT")) notSupported("SELECT DISTINCT");
        // DISTINCTROW only changes the result of joins; over one table it changes nothing.
        if (!acceptWord("DISTINCTROW")) acceptWord("ALL");
        if (acceptWord("TOP")) {
            const Token& t = peek();
            if (t.kind != TokenKind::Number) failIn("a whole number after TOP");
            std::int64_t n = 0;
            auto [p, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), n);
            if (ec != std::errc() || p != t.text.data() + t.text.size() || n <= 0)
                fail("The TOP clause needs a whole number above 0", t, "");
            advance();
            if (isWord("PERCENT")) notSupported("TOP n PERCENT");
            s.top = n;
        }
        parseSelectList(s);
        if (acceptWord("INTO")) {
            clause_ = "SELECT INTO statement";
            s.intoTable = parseTableName();
            if (acceptWord("IN")) {
                if (peek().kind != TokenKind::String) failIn("the path of the target database in quotes");
                s.intoFile = advance().text;
                if (peek().kind == TokenKind::String) notSupported("IN with a connect string");
            }
        }
        if (acceptWord("FROM")) {
            clause_ = "FROM clause";
            s.from = parseTableName();
            if (acceptWord("AS")) {
                s.fromAlias = parseName("an alias after AS");
            } else if (atName()) {
                s.fromAlias = advance().text;
            }
            if (peek().kind == TokenKind::Comma) notSupported("a join (several tables in FROM)");
            if (isWord("INNER") || isWord("LEFT") || isWord("RIGHT") || isWord("JOIN") || isWord("OUTER"))
                notSupported("JOIN");
            if (acceptWord("IN")) notSupported("FROM ... IN (a table of another database)");
        } else if (s.intoTable) {
            failIn("FROM");
        }
        if (acceptWord("WHERE")) {
            clause_ = "WHERE clause";
            s.where = parseExpr();
        }
        if (isWord("GROUP")) notSupported("GROUP BY");
        if (isWord("HAVING")) notSupported("HAVING");
        if (acceptWord("ORDER")) {
            clause_ = "ORDER BY clause";
            expectWord("BY");
            do {
                OrderItem item;
                item.expr = parseExpr();
                if (acceptWord("DESC")) {
                    item.descending = true;
                } else {
                    acceptWord("ASC");
                }
                s.orderBy.push_back(std::move(item));
            } while (accept(TokenKind::Comma));
        }
        if (isWord("WITH")) notSupported("WITH OWNERACCESS OPTION");
        if (!s.from) {
            for (const SelectItem& item : s.items)
                if (item.star) fail("Syntax error in SELECT statement", peek(), "expected FROM after '*'");
        }
        return s;
    }

    void parseSelectList(SelectStatement& s) {
        clause_ = "SELECT statement";
        do {
            SelectItem item;
            if (accept(TokenKind::Star)) {
                item.star = true;
            } else if (atName() && peek(1).kind == TokenKind::Dot && peek(2).kind == TokenKind::Star) {
                item.star = true;
                item.qualifier = advance().text;
                advance();
                advance();
            } else {
                clause_ = "query expression";
                item.expr = parseExpr();
                clause_ = "SELECT statement";
                if (acceptWord("AS")) {
                    if (peek().kind != TokenKind::Identifier && peek().kind != TokenKind::QuotedName)
                        failIn("a name after AS");
                    item.alias = advance().text;
                }
            }
            s.items.push_back(std::move(item));
        } while (accept(TokenKind::Comma));
        if (s.items.empty()) failIn("a column list");
    }

    // ---- expressions -------------------------------------------------------------------

    ExprPtr make(ExprKind kind, const Token& at) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->position = positionOf(at);
        return e;
    }

    ExprPtr binary(BinaryOp op, ExprPtr l, ExprPtr r) {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Binary;
        e->position = l->position;
        e->binaryOp = op;
        e->left = std::move(l);
        e->right = std::move(r);
        return e;
    }

    ExprPtr parseExpr() { return parseOr(); }

    ExprPtr parseOr() {
        ExprPtr l = parseAnd();
        while (true) {
            if (acceptWord("OR")) {
                l = binary(BinaryOp::Or, std::move(l), parseAnd());
            } else if (isWord("XOR") || isWord("EQV") || isWord("IMP")) {
                notSupported("the " + upper(peek().text) + " operator");
            } else {
                return l;
            }
        }
    }

    ExprPtr parseAnd() {
        ExprPtr l = parseNot();
        while (acceptWord("AND")) l = binary(BinaryOp::And, std::move(l), parseNot());
        return l;
    }

    ExprPtr parseNot() {
        if (isWord("NOT")) {
            const Token& t = advance();
            if (isWord("EXISTS")) notSupported("EXISTS (a sub-query)");
            ExprPtr e = make(ExprKind::Unary, t);
            e->unaryOp = UnaryOp::Not;
            e->left = parseNot();
            return e;
        }
        if (isWord("EXISTS")) notSupported("EXISTS (a sub-query)");
        return parseComparison();
    }

    ExprPtr parseComparison() {
        ExprPtr l = parseConcat();
        while (true) {
            BinaryOp op;
            switch (peek().kind) {
            case TokenKind::Equal: op = BinaryOp::Equal; break;
            case TokenKind::NotEqual: op = BinaryOp::NotEqual; break;
            case TokenKind::Less: op = BinaryOp::Less; break;
            case TokenKind::LessEqual: op = BinaryOp::LessEqual; break;
            case TokenKind::Greater: op = BinaryOp::Greater; break;
            case TokenKind::GreaterEqual: op = BinaryOp::GreaterEqual; break;
            default: {
                if (isWord("IS")) {
                    const Token& t = advance();
                    ExprPtr e = make(ExprKind::IsNull, t);
                    e->position = l->position;
                    e->negated = acceptWord("NOT");
                    expectWord("NULL");
                    e->left = std::move(l);
                    l = std::move(e);
                    continue;
                }
                bool negated = false;
                if (isWord("NOT") && (isWord("LIKE", 1) || isWord("BETWEEN", 1) || isWord("IN", 1))) {
                    advance();
                    negated = true;
                }
                if (isWord("LIKE")) {
                    const Token& t = advance();
                    ExprPtr e = make(ExprKind::Like, t);
                    e->position = l->position;
                    e->negated = negated;
                    e->left = std::move(l);
                    e->right = parseConcat();
                    l = std::move(e);
                    continue;
                }
                if (isWord("BETWEEN")) {
                    const Token& t = advance();
                    ExprPtr e = make(ExprKind::Between, t);
                    e->position = l->position;
                    e->negated = negated;
                    e->left = std::move(l);
                    e->right = parseConcat();
                    expectWord("AND");
                    e->third = parseConcat();
                    l = std::move(e);
                    continue;
                }
                if (isWord("IN")) {
                    const Token& t = advance();
                    ExprPtr e = make(ExprKind::InList, t);
                    e->position = l->position;
                    e->negated = negated;
                    e->left = std::move(l);
                    expect(TokenKind::LeftParen, "'(' after IN");
                    if (isWord("SELECT")) notSupported("a sub-query in IN");
                    do {
                        e->list.push_back(parseConcat());
                    } while (accept(TokenKind::Comma));
                    expect(TokenKind::RightParen, "')' to close the IN list");
                    l = std::move(e);
                    continue;
                }
                return l;
            }
            }
            advance();
            if (isWord("ANY") || isWord("ALL") || isWord("SOME")) notSupported("a comparison with a sub-query");
            l = binary(op, std::move(l), parseConcat());
        }
    }

    ExprPtr parseConcat() {
        ExprPtr l = parseAdditive();
        while (accept(TokenKind::Ampersand)) l = binary(BinaryOp::Concat, std::move(l), parseAdditive());
        return l;
    }

    ExprPtr parseAdditive() {
        ExprPtr l = parseMultiplicative();
        while (true) {
            if (accept(TokenKind::Plus)) {
                l = binary(BinaryOp::Add, std::move(l), parseMultiplicative());
            } else if (accept(TokenKind::Minus)) {
                l = binary(BinaryOp::Subtract, std::move(l), parseMultiplicative());
            } else {
                return l;
            }
        }
    }

    ExprPtr parseMultiplicative() {
        ExprPtr l = parseUnary();
        while (true) {
            if (accept(TokenKind::Star)) {
                l = binary(BinaryOp::Multiply, std::move(l), parseUnary());
            } else if (accept(TokenKind::Slash)) {
                l = binary(BinaryOp::Divide, std::move(l), parseUnary());
            } else if (accept(TokenKind::Backslash)) {
                l = binary(BinaryOp::IntDivide, std::move(l), parseUnary());
            } else if (isWord("MOD")) {
                notSupported("the MOD operator");
            } else {
                return l;
            }
        }
    }

    ExprPtr parseUnary() {
        if (peek().kind == TokenKind::Minus) {
            const Token& t = advance();
            ExprPtr operand = parseUnary();
            // Fold the sign into a number literal so that -5 is one literal, as Jet sees it.
            if (operand->kind == ExprKind::Literal && operand->literal.isInt()) {
                operand->literal = Value(-operand->literal.asInt());
                operand->position = positionOf(t);
                return operand;
            }
            if (operand->kind == ExprKind::Literal && operand->literal.isDecimal()) {
                Decimal d = operand->literal.asDecimal();
                d.unscaled = -d.unscaled;
                operand->literal = Value(d);
                operand->position = positionOf(t);
                return operand;
            }
            if (operand->kind == ExprKind::Literal && operand->literal.isDouble()) {
                operand->literal = Value(-operand->literal.asDouble());
                operand->position = positionOf(t);
                return operand;
            }
            ExprPtr e = make(ExprKind::Unary, t);
            e->unaryOp = UnaryOp::Negate;
            e->left = std::move(operand);
            return e;
        }
        if (peek().kind == TokenKind::Plus) {
            advance();
            return parseUnary();
        }
        return parsePrimary();
    }

    ExprPtr parseNumber(const Token& t) {
        ExprPtr e = make(ExprKind::Literal, t);
        const std::string& text = t.text;
        bool hasExponent = text.find_first_of("eE") != std::string::npos;
        if (!hasExponent && text.find('.') == std::string::npos) {
            std::int64_t n = 0;
            auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec == std::errc() && p == text.data() + text.size()) {
                e->literal = Value(n);
                return e;
            }
        }
        Decimal d;
        if (!hasExponent && parseDecimal(text, d)) {
            e->literal = Value(d);
            return e;
        }
        const auto v = textToDouble(text);
        if (!v) fail("Syntax error in " + clause_, t, "the number is too large");
        e->literal = Value(*v);
        return e;
    }

    ExprPtr parsePrimary() {
        const Token& t = peek();
        switch (t.kind) {
        case TokenKind::Number: advance(); return parseNumber(t);
        case TokenKind::String: {
            advance();
            ExprPtr e = make(ExprKind::Literal, t);
            e->literal = Value(t.text);
            return e;
        }
        case TokenKind::Date: {
            advance();
            DateTime d;
            if (!parseDateLiteral(t.text, d))
                fail("Syntax error in date in " + clause_, t, "'#" + t.text + "#' is not a valid date");
            ExprPtr e = make(ExprKind::Literal, t);
            e->literal = Value(d);
            return e;
        }
        case TokenKind::SystemVariable: {
            if (upper(t.text) != "IDENTITY") notSupported("the system variable @@" + t.text);
            advance();
            return make(ExprKind::Identity, t);
        }
        case TokenKind::Parameter: notSupported("a parameter marker '?'");
        case TokenKind::LeftParen: {
            advance();
            if (isWord("SELECT")) notSupported("a sub-query");
            ExprPtr e = parseExpr();
            expect(TokenKind::RightParen, "')'");
            return e;
        }
        case TokenKind::Identifier: {
            std::string word = upper(t.text);
            if (peek(1).kind == TokenKind::LeftParen) {
                if (word == "COUNT" && peek(2).kind == TokenKind::Star && peek(3).kind == TokenKind::RightParen) {
                    advance();
                    advance();
                    advance();
                    advance();
                    return make(ExprKind::CountStar, t);
                }
                if (word == "COUNT" || word == "SUM" || word == "AVG" || word == "MIN" || word == "MAX" ||
                    word == "FIRST" || word == "LAST" || word == "STDEV" || word == "VAR")
                    notSupported("the aggregate function " + t.text + "()");
                if (word != "SELECT") notSupported("the function " + t.text + "()");
            }
            if (word == "NULL") {
                advance();
                return make(ExprKind::Literal, t);
            }
            // Jet's Boolean constants, as Access writes them into saved queries (=No, =Yes).
            if (word == "TRUE" || word == "FALSE" || word == "YES" || word == "NO" || word == "ON" || word == "OFF") {
                advance();
                ExprPtr e = make(ExprKind::Literal, t);
                e->literal = Value(word == "TRUE" || word == "YES" || word == "ON");
                return e;
            }
            if (word == "SELECT") notSupported("a sub-query");
            if (isReserved(word)) failIn("an expression");
            return parseColumnRef();
        }
        case TokenKind::QuotedName: return parseColumnRef();
        case TokenKind::Bang: notSupported("a reference with '!' (form or control reference)");
        default: failIn("an expression");
        }
    }

    ExprPtr parseColumnRef() {
        const Token& t = advance();
        ExprPtr e = make(ExprKind::Column, t);
        e->name = t.text;
        if (peek().kind == TokenKind::Bang) notSupported("a reference with '!' (form or control reference)");
        if (accept(TokenKind::Dot)) {
            if (!atName()) failIn("a column name after '.'");
            e->qualifier = e->name;
            e->name = advance().text;
            if (peek().kind == TokenKind::Dot) notSupported("a column name with more than one qualifier");
        }
        return e;
    }

    // ---- CREATE TABLE ------------------------------------------------------------------

    Statement parseCreate() {
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
        if (s.columns.empty())
            fail("Syntax error in CREATE TABLE statement", peek(), "a table needs at least one field");
        return s;
    }

    TableConstraint parseTableConstraint() {
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

    std::uint32_t parseSize(const char* what) {
        const Token& t = peek();
        std::uint32_t n = 0;
        auto [p, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), n);
        if (t.kind != TokenKind::Number || ec != std::errc() || p != t.text.data() + t.text.size()) failIn(what);
        advance();
        return n;
    }

    TypeSpec parseType(const std::string& column) {
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
                throw ExecutionError("Size of field '" + column + "' is " + (ts.size == 0 ? "zero" : "too long") +
                                     " (" + word + " (" + sizeToken.text + ") at position " +
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

    ColumnDefinition parseColumnDefinition() {
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

    InsertStatement parseInsert() {
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

    UpdateStatement parseUpdate() {
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

    DeleteStatement parseDelete() {
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

    DropTableStatement parseDrop() {
        clause_ = "DROP TABLE or DROP INDEX";
        advance(); // DROP
        if (isWord("INDEX") || isWord("VIEW") || isWord("PROCEDURE") || isWord("USER") || isWord("GROUP"))
            notSupported("DROP " + upper(peek().text));
        expectWord("TABLE");
        DropTableStatement s;
        s.table = parseTableName();
        return s;
    }
};

bool readInt(std::string_view text, std::size_t& i, int& out, int maxDigits) {
    std::size_t start = i;
    int v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && static_cast<int>(i - start) < maxDigits) {
        v = v * 10 + (text[i] - '0');
        ++i;
    }
    if (i == start) return false;
    out = v;
    return true;
}

void skipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && text[i] == ' ') ++i;
}

bool validDate(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

} // namespace

Statement parse(std::string_view statement) {
    Parser parser(statement);
    return parser.parseStatement();
}

bool parseDateLiteral(std::string_view text, DateTime& out) {
    std::size_t i = 0;
    skipBlanks(text, i);
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    bool haveDate = false;
    // Look ahead: a date part contains '-' or '/' before any ':'.
    std::size_t colon = text.find(':');
    std::size_t sep = text.find_first_of("-/");
    if (sep != std::string_view::npos && (colon == std::string_view::npos || sep < colon)) {
        int a = 0, b = 0, c = 0;
        std::size_t aStart = i;
        if (!readInt(text, i, a, 4)) return false;
        std::size_t aDigits = i - aStart;
        if (i >= text.size() || (text[i] != '-' && text[i] != '/')) return false;
        char s1 = text[i++];
        if (!readInt(text, i, b, 2)) return false;
        if (i >= text.size() || text[i] != s1) return false;
        ++i;
        std::size_t cStart = i;
        if (!readInt(text, i, c, 4)) return false;
        std::size_t cDigits = i - cStart;
        if (aDigits == 4) {
            year = a;
            month = b;
            day = c;
        } else {
            month = a; // Jet reads a date literal month first, whatever the locale
            day = b;
            year = c;
            if (cDigits <= 2) year += c < 30 ? 2000 : 1900;
        }
        if (!validDate(year, month, day)) return false;
        haveDate = true;
        skipBlanks(text, i);
    }
    if (i < text.size()) {
        if (!readInt(text, i, hour, 2)) return false;
        if (i >= text.size() || text[i] != ':') return false;
        ++i;
        if (!readInt(text, i, minute, 2)) return false;
        if (i < text.size() && text[i] == ':') {
            ++i;
            if (!readInt(text, i, second, 2)) return false;
        }
        skipBlanks(text, i);
        if (i < text.size()) {
            std::string rest = upper(text.substr(i));
            while (!rest.empty() && rest.back() == ' ') rest.pop_back();
            if (rest == "AM" || rest == "PM") {
                if (hour < 1 || hour > 12) return false;
                if (rest == "AM" && hour == 12) hour = 0;
                if (rest == "PM" && hour != 12) hour += 12;
            } else {
                return false;
            }
            i = text.size();
        }
        if (hour > 23 || minute > 59 || second > 59) return false;
    } else if (!haveDate) {
        return false;
    }
    out = makeDateTime(year, month, day, hour, minute, second);
    return true;
}

} // namespace jet::sql
