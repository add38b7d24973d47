// The body of the Jet SQL fuzz target, a plain function so that the kept findings replay in
// the ordinary test build as well as under libFuzzer.
//
// An input is up to kMaxStatements statements, split at ';' and line breaks outside quotes
// and brackets, run one after the other over a fresh copy of a small database (see
// sql_fuzz_database.h). The engine's documented failures (jet::Error, jet::sql::SqlError and
// their kinds) are the expected outcome of most statements and are swallowed; everything
// else leaves the function: any other exception, and FuzzFinding when a statement that
// parsed does not parse again from its canonical text (toSql) to the same tree, or when the
// file fails the integrity check after the statements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace jet::fuzz {

inline constexpr std::size_t kMaxStatements = 16;

class FuzzFinding : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

std::vector<std::string> splitStatements(std::string_view input);

void runSqlInput(const std::uint8_t* data, std::size_t size);

} // namespace jet::fuzz
