// Parses one Jet SQL statement into a syntax tree (ast.h). Accepts the subset that the
// executor runs; constructs of Jet SQL beyond it (joins, sub-queries, functions, GROUP BY,
// UNION, ...) throw NotSupportedError naming the construct, malformed text throws
// SyntaxError with Jet's wording and the character position.
#pragma once

#include <string_view>

#include "jet/sql/ast.h"

namespace jet::sql {

Statement parse(std::string_view statement);

// Parses a Jet date literal's inner text (between the '#' signs): "2024-01-31",
// "1/31/2024" (month first, as Jet reads it), either with a time "13:45[:10]" or
// "1:45 PM", or a time alone (on 1899-12-30). False when it is not a valid date.
bool parseDateLiteral(std::string_view text, DateTime& out);

} // namespace jet::sql
