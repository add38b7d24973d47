// Splits a Jet SQL statement into tokens. Keywords are not recognised here: a bare word is
// an Identifier token and the parser decides whether it is a keyword, so that a bracketed
// [Select] stays a name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

enum class TokenKind {
    Identifier,     // bare word: letters, digits, '_' (and any non-ASCII character)
    QuotedName,     // [name]: text is the name without brackets
    String,         // 'text' or "text": text is the value, doubled quotes undone
    Number,         // 12, 1.5, .5, 1E10: text as written
    Date,           // #2024-01-31#: text between the '#' signs
    SystemVariable, // @@identity: text is the word after "@@"
    Parameter,      // ? (a parameter marker; refused by the parser)
    LeftParen,
    RightParen,
    Comma,
    Semicolon,
    Dot,
    Bang, // '!' as in Forms!x (refused by the parser)
    Star,
    Plus,
    Minus,
    Slash,
    Backslash, // integer division
    Ampersand, // text concatenation
    Equal,
    NotEqual, // <>
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    End,
};

struct Token {
    TokenKind kind;
    std::string text;
    std::size_t offset; // byte offset of the token's first character in the statement
};

// Tokenises the whole statement; the last token is End. Throws SyntaxError for an
// unterminated string, name or date literal and for a character that cannot start a token.
std::vector<Token> tokenize(std::string_view statement);

// 1-based position in characters (UTF-8 code points) of a byte offset of the statement.
std::size_t characterPosition(std::string_view statement, std::size_t byteOffset);

// How a token looks in an error message ("'FROM'", "the end of the statement").
std::string describeToken(const Token& token);

} // namespace jet::sql
