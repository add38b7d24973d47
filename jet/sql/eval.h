// Internal to the SQL executor: evaluating bound expressions over a row, Jet's comparison
// rules (three-valued logic, text compared without regard to letter case), LIKE with Jet's
// wildcards, and converting a value to a column's type.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/ast.h"
#include "jet/sql/storage.h"
#include "jet/sql/value.h"

namespace jet::sql::detail {

// Names of the columns an expression can refer to, with the table name and alias that a
// qualified name may use.
struct Scope {
    const std::vector<std::string>* columns = nullptr;
    std::string table;
    std::string alias;
};

// Resolves every column reference of `e` to its position in the scope (Expr::columnIndex).
// Throws ExecutionError for a name the scope does not have; with a null scope (INSERT's
// VALUES) every column reference is refused.
void bind(Expr& e, const Scope* scope);

// Evaluates a bound expression over `row` (which may be null when the expression refers to
// no column). `identity` answers @@identity.
Value evaluate(const Expr& e, const Row* row, std::int64_t identity);

// The value of `e` as a reference where it already exists (a row's cell, a literal),
// otherwise computed into `scratch`.
const Value& operand(const Expr& e, const Row* row, std::int64_t identity, Value& scratch);

// -1, 0 or 1; nullopt when either side is Null. Throws ExecutionError "Data type mismatch"
// when the two cannot be compared (text with a number, ...).
std::optional<int> compareValues(const Value& a, const Value& b);

// Order for ORDER BY: Null first, then by compareValues; mismatched kinds by kind.
int orderValues(const Value& a, const Value& b);

// Jet's LIKE: '*' or '%' any run of characters, '?' or '_' one character, '#' one digit,
// [abc], [a-z] and [!abc] character lists; letter case ignored.
bool likeMatch(std::string_view text, std::string_view pattern);

// Letter case folded for comparing (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
std::u32string foldText(std::string_view utf8);
std::size_t utf8Length(std::string_view utf8);

// The value converted to the canonical form of `column`'s type (storage.h); throws
// ExecutionError when it does not fit (text too long, number out of range, not a date, ...).
Value coerce(const Value& v, const ColumnInfo& column, const std::string& table);

// The type a result column gets for an expression.
ColumnType typeOfValue(const Value& v);

} // namespace jet::sql::detail
