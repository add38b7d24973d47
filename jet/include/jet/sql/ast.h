// The syntax tree of a Jet SQL statement, as the parser builds it and the executor runs
// it, and toSql(), which prints a tree back as one canonical statement (fully bracketed
// names, parenthesised operators) so that tests can see exactly what was understood.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "jet/sql/value.h"

namespace jet::sql {

enum class ExprKind {
    Literal,   // literal
    Column,    // [qualifier].[name]
    Unary,     // unaryOp left
    Binary,    // left binaryOp right
    IsNull,    // left IS [NOT] NULL
    Like,      // left [NOT] LIKE right
    Between,   // left [NOT] BETWEEN right AND third
    InList,    // left [NOT] IN (list)
    CountStar, // COUNT(*)
    Identity,  // @@IDENTITY
};

enum class UnaryOp { Not, Negate };
enum class BinaryOp {
    Or,
    And,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Add,
    Subtract,
    Multiply,
    Divide,
    IntDivide,
    Concat
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    ExprKind kind = ExprKind::Literal;
    std::size_t position = 0; // 1-based character position where the expression starts
    Value literal;            // Literal
    std::string qualifier;    // Column: table name or alias before the dot, may be empty
    std::string name;         // Column
    UnaryOp unaryOp = UnaryOp::Not;
    BinaryOp binaryOp = BinaryOp::And;
    bool negated = false; // IS NOT NULL, NOT LIKE, NOT BETWEEN, NOT IN
    ExprPtr left, right, third;
    std::vector<ExprPtr> list;
    std::size_t columnIndex = static_cast<std::size_t>(-1); // Column: set by the executor when it binds names
};

struct SelectItem {
    bool star = false;     // * or qualifier.*
    std::string qualifier; // for qualifier.*
    ExprPtr expr;          // when not star
    std::string alias;     // AS alias, may be empty
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct SelectStatement {
    std::optional<std::int64_t> top; // TOP n
    std::vector<SelectItem> items;
    std::optional<std::string> intoTable; // SELECT ... INTO [t]
    std::optional<std::string> intoFile;  // ... IN 'file'
    std::optional<std::string> from;      // absent for SELECT @@identity
    std::string fromAlias;
    ExprPtr where;
    std::vector<OrderItem> orderBy;
};

struct TypeSpec {
    ColumnType type = ColumnType::Text;
    std::uint32_t size = 0;     // Text and Binary: the length (Text counts characters)
    std::uint8_t precision = 0; // Decimal
    std::uint8_t scale = 0;     // Decimal
    bool autoNumber = false;    // COUNTER, AUTOINCREMENT
    std::string word;           // the type word as written, upper case ("VARCHAR")
};

struct ColumnDefinition {
    std::string name;
    TypeSpec type;
    bool notNull = false;
    bool unique = false;
    bool primaryKey = false;
    bool compressed = false;    // WITH COMPRESSION
    std::string constraintName; // CONSTRAINT name before PRIMARY KEY / UNIQUE
    std::size_t position = 0;
};

struct TableConstraint {
    std::string name;
    bool primaryKey = false; // otherwise UNIQUE
    std::vector<std::string> columns;
};

struct CreateTableStatement {
    std::string table;
    std::vector<ColumnDefinition> columns;
    std::vector<TableConstraint> constraints;
};

struct InsertStatement {
    std::string table;
    std::vector<std::string> columns; // empty: every column in table order
    std::vector<ExprPtr> values;
};

struct UpdateStatement {
    std::string table;
    std::vector<std::pair<std::string, ExprPtr>> assignments;
    ExprPtr where;
};

struct DeleteStatement {
    std::string table;
    ExprPtr where;
};

struct DropTableStatement {
    std::string table;
};

using Statement = std::variant<SelectStatement, CreateTableStatement, InsertStatement, UpdateStatement, DeleteStatement,
                               DropTableStatement>;

// Canonical text of a tree: keywords upper case, names in brackets, every operator
// application in parentheses, literals in Jet syntax.
std::string toSql(const Statement& statement);
std::string toSql(const Expr& expr);
std::string literalToSql(const Value& value);

} // namespace jet::sql
