// Errors of the Jet SQL layer. Every what() is a complete sentence saying what failed and,
// where it helps, what to do; syntax errors also carry the position (1-based, in characters
// of the statement) at which the statement stopped making sense.
#pragma once

#include "jet/error.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace jet::sql {

// A kind of jet::Error; the file is empty unless the statement failed in the engine, whose
// error then sits under it (std::throw_with_nested).
class SqlError : public Error {
public:
    explicit SqlError(const std::string& message) : Error({}, std::nullopt, message) {}
};

// The statement is not valid Jet SQL. position() is 1-based, counted in characters.
class SyntaxError : public SqlError {
public:
    SyntaxError(const std::string& message, std::size_t position) : SqlError(message), position_(position) {}
    std::size_t position() const { return position_; }

private:
    std::size_t position_;
};

// Valid Jet SQL that this engine does not run (joins, sub-queries, functions, ...).
class NotSupportedError : public SqlError {
public:
    using SqlError::SqlError;
};

// The statement is well formed but cannot run against this database: unknown table or
// column, a table that already exists, a value that does not fit its column, ...
class ExecutionError : public SqlError {
public:
    using SqlError::SqlError;
};

} // namespace jet::sql
