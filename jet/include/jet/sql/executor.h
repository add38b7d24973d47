// Runs Jet SQL statements against a Database (storage.h): the Connection keeps what Jet
// keeps per connection (the last auto-number for SELECT @@identity); a Result is either a
// stream of rows (SELECT) or a count of rows affected (every other statement).
//
// Rows stream: a SELECT without ORDER BY reads the table as the caller asks for rows, so
// the first row of a million-row table is there at once. WHERE conditions on the first
// column of an index (=, <, <=, >, >=, BETWEEN) read through the index. A Result keeps the
// table it reads open; finish with it before changing that table through the same
// Connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/storage.h"
#include "jet/sql/value.h"

namespace jet::sql {

struct ResultColumn {
    std::string name;
    ColumnType type = ColumnType::Text;
    std::uint32_t size = 0;     // Text: characters; Binary: bytes
    std::uint8_t precision = 0; // Decimal
    std::uint8_t scale = 0;     // Decimal
};

// A stream of result rows.
class RowSet {
public:
    virtual ~RowSet() = default;
    virtual const std::vector<ResultColumn>& columns() const = 0;
    virtual bool next() = 0;            // false after the last row
    virtual const Row& row() const = 0; // the current row, one value per column
};

class Result {
public:
    static Result affected(std::int64_t count);
    static Result withRows(std::unique_ptr<RowSet> rows);

    bool hasRows() const { return rows_ != nullptr; }
    // The rows of a SELECT; throws when the statement returned no rows.
    RowSet& rows();
    // Rows changed by an INSERT, UPDATE, DELETE or SELECT INTO; 0 for CREATE and DROP TABLE.
    std::int64_t rowsAffected() const { return affected_; }

private:
    std::unique_ptr<RowSet> rows_;
    std::int64_t affected_ = 0;
};

class Connection {
public:
    explicit Connection(std::shared_ptr<Database> database);

    // Parses and runs one statement. Throws SyntaxError, NotSupportedError or
    // ExecutionError (error.h). A statement is one step: when one of its rows fails, the
    // rows it changed before are undone too (where the database can undo changes, see
    // Database::beginChanges; the message names the row that failed).
    Result execute(std::string_view statement);

    // The last auto-number value inserted through this connection (0 before the first).
    std::int64_t lastIdentity() const { return lastIdentity_; }

    Database& database() { return *database_; }

private:
    std::shared_ptr<Database> database_;
    std::int64_t lastIdentity_ = 0;
};

} // namespace jet::sql
