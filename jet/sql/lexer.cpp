// Tokeniser for Jet SQL: Jet's literals (strings in single or double quotes, #dates#,
// numbers), bracketed names, @@identity and the operators the subset uses.
#include "jet/sql/lexer.h"

#include "jet/sql/error.h"

namespace jet::sql {
namespace {

bool isWordStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }

bool isWordChar(unsigned char c) { return isWordStart(c) || (c >= '0' && c <= '9'); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void fail(std::string_view sql, std::size_t offset, const std::string& what) {
    std::size_t pos = characterPosition(sql, offset);
    throw SyntaxError("Syntax error at position " + std::to_string(pos) + ": " + what + ".", pos);
}

} // namespace

std::size_t characterPosition(std::string_view statement, std::size_t byteOffset) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < byteOffset && i < statement.size(); ++i) {
        // Count lead bytes only; continuation bytes (10xxxxxx) belong to the previous character.
        if ((static_cast<unsigned char>(statement[i]) & 0xC0) != 0x80) ++characters;
    }
    return characters + 1;
}

std::string describeToken(const Token& token) {
    switch (token.kind) {
    case TokenKind::End: return "the end of the statement";
    case TokenKind::QuotedName: return "'[" + token.text + "]'";
    case TokenKind::String: return "the text '" + token.text + "'";
    case TokenKind::Date: return "the date #" + token.text + "#";
    case TokenKind::SystemVariable: return "'@@" + token.text + "'";
    default: return "'" + token.text + "'";
    }
}

std::vector<Token> tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    auto push = [&](TokenKind kind, std::string text, std::size_t offset) {
        tokens.push_back(Token{kind, std::move(text), offset});
    };
    while (i < n) {
        const char c = sql[i];
        const std::size_t start = i;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (isWordStart(static_cast<unsigned char>(c))) {
            while (i < n && isWordChar(static_cast<unsigned char>(sql[i]))) ++i;
            push(TokenKind::Identifier, std::string(sql.substr(start, i - start)), start);
            continue;
        }
        if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(sql[i + 1]))) {
            while (i < n && isDigit(sql[i])) ++i;
            if (i < n && sql[i] == '.') {
                ++i;
                while (i < n && isDigit(sql[i])) ++i;
            }
            if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < n && (sql[j] == '+' || sql[j] == '-')) ++j;
                if (j < n && isDigit(sql[j])) {
                    i = j;
                    while (i < n && isDigit(sql[i])) ++i;
                }
            }
            if (i < n && isWordStart(static_cast<unsigned char>(sql[i])))
                fail(sql, start,
                     "'" + std::string(sql.substr(start, i + 1 - start)) + "' is neither a number nor a name");
            push(TokenKind::Number, std::string(sql.substr(start, i - start)), start);
            continue;
        }
        switch (c) {
        case '\'':
        case '"': {
            std::string text;
            ++i;
            bool closed = false;
            while (i < n) {
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        text += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                text += sql[i++];
            }
            if (!closed) fail(sql, start, "the text literal is not closed");
            push(TokenKind::String, std::move(text), start);
            continue;
        }
        case '[': {
            std::size_t close = sql.find(']', i + 1);
            if (close == std::string_view::npos) fail(sql, start, "the name in brackets is not closed by ']'");
            std::string name(sql.substr(i + 1, close - i - 1));
            if (name.empty()) fail(sql, start, "'[]' is an empty name");
            if (name.find('[') != std::string::npos) fail(sql, start, "a name in brackets cannot contain '['");
            push(TokenKind::QuotedName, std::move(name), start);
            i = close + 1;
            continue;
        }
        case '#': {
            std::size_t close = sql.find('#', i + 1);
            if (close == std::string_view::npos) fail(sql, start, "the date literal is not closed by '#'");
            push(TokenKind::Date, std::string(sql.substr(i + 1, close - i - 1)), start);
            i = close + 1;
            continue;
        }
        case '@': {
            if (i + 2 < n && sql[i + 1] == '@' && isWordStart(static_cast<unsigned char>(sql[i + 2]))) {
                i += 2;
                std::size_t w = i;
                while (i < n && isWordChar(static_cast<unsigned char>(sql[i]))) ++i;
                push(TokenKind::SystemVariable, std::string(sql.substr(w, i - w)), start);
                continue;
            }
            fail(sql, start, "unexpected character '@'");
        }
        case '<':
            if (i + 1 < n && sql[i + 1] == '>') {
                push(TokenKind::NotEqual, "<>", start);
                i += 2;
            } else if (i + 1 < n && sql[i + 1] == '=') {
                push(TokenKind::LessEqual, "<=", start);
                i += 2;
            } else {
                push(TokenKind::Less, "<", start);
                ++i;
            }
            continue;
        case '>':
            if (i + 1 < n && sql[i + 1] == '=') {
                push(TokenKind::GreaterEqual, ">=", start);
                i += 2;
            } else {
                push(TokenKind::Greater, ">", start);
                ++i;
            }
            continue;
        case '(':
            push(TokenKind::LeftParen, "(", start);
            ++i;
            continue;
        case ')':
            push(TokenKind::RightParen, ")", start);
            ++i;
            continue;
        case ',':
            push(TokenKind::Comma, ",", start);
            ++i;
            continue;
        case ';':
            push(TokenKind::Semicolon, ";", start);
            ++i;
            continue;
        case '.':
            push(TokenKind::Dot, ".", start);
            ++i;
            continue;
        case '!':
            push(TokenKind::Bang, "!", start);
            ++i;
            continue;
        case '*':
            push(TokenKind::Star, "*", start);
            ++i;
            continue;
        case '+':
            push(TokenKind::Plus, "+", start);
            ++i;
            continue;
        case '-':
            push(TokenKind::Minus, "-", start);
            ++i;
            continue;
        case '/':
            push(TokenKind::Slash, "/", start);
            ++i;
            continue;
        case '\\':
            push(TokenKind::Backslash, "\\", start);
            ++i;
            continue;
        case '&':
            push(TokenKind::Ampersand, "&", start);
            ++i;
            continue;
        case '=':
            push(TokenKind::Equal, "=", start);
            ++i;
            continue;
        case '?':
            push(TokenKind::Parameter, "?", start);
            ++i;
            continue;
        default: {
            std::string shown(1, c);
            fail(sql, start, "unexpected character '" + shown + "'");
        }
        }
    }
    tokens.push_back(Token{TokenKind::End, "", n});
    return tokens;
}

} // namespace jet::sql
