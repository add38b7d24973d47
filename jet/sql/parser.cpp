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
#include "parser_impl.h"

namespace jet::sql::detail {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool sameWord(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i]) return false;
    }
    return true;
}

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

Statement Parser::parseStatement() {
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

ExprPtr Parser::parseStandaloneExpression() {
    clause_ = "query expression";
    ExprPtr e = parseExpr();
    if (peek().kind != TokenKind::End) fail("Syntax error (missing operator) in query expression", peek());
    return e;
}

// ---- SELECT ------------------------------------------------------------------------

SelectStatement Parser::parseSelect() {
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

void Parser::parseSelectList(SelectStatement& s) {
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

} // namespace jet::sql::detail

namespace jet::sql {

using detail::Parser;
using detail::upper;

namespace {

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
