// The Jet SQL parser's state and grammar rules, shared by the files that hold them:
// statements and SELECT (parser.cpp), expressions (parse_expressions.cpp), CREATE TABLE
// and the row-changing statements (parse_tables.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/ast.h"
#include "jet/sql/error.h"
#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"

namespace jet::sql::detail {

std::string upper(std::string_view s);

// `text` equals the upper-case `word` without regard to letter case.
bool sameWord(std::string_view text, std::string_view word);

// Words that end an expression or a clause, so they cannot be bare column names.
bool isReserved(std::string_view word);

class Parser {
public:
    explicit Parser(std::string_view sql) : sql_(sql), tokens_(tokenize(sql)) {}

    Statement parseStatement();
    ExprPtr parseStandaloneExpression();

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

    SelectStatement parseSelect();
    void parseSelectList(SelectStatement& s);

    // ---- expressions -------------------------------------------------------------------

    ExprPtr make(ExprKind kind, const Token& at);
    ExprPtr binary(BinaryOp op, ExprPtr l, ExprPtr r);

    ExprPtr parseExpr() { return parseOr(); }

    ExprPtr parseOr();
    ExprPtr parseAnd();
    ExprPtr parseNot();
    ExprPtr parseComparison();
    ExprPtr parseConcat();
    ExprPtr parseAdditive();
    ExprPtr parseMultiplicative();
    ExprPtr parseUnary();
    ExprPtr parseNumber(const Token& t);
    ExprPtr parsePrimary();
    ExprPtr parseColumnRef();

    // ---- CREATE TABLE ------------------------------------------------------------------

    Statement parseCreate();
    TableConstraint parseTableConstraint();
    std::uint32_t parseSize(const char* what);
    TypeSpec parseType(const std::string& column);
    ColumnDefinition parseColumnDefinition();

    // ---- INSERT, UPDATE, DELETE, DROP --------------------------------------------------

    InsertStatement parseInsert();
    UpdateStatement parseUpdate();
    DeleteStatement parseDelete();
    DropTableStatement parseDrop();
};

} // namespace jet::sql::detail
