// Rows on either side of a relationship: a relationship bound to the tables and columns of a
// database, key values taken from rows, and the rows of a table that carry given key values
// (through an index that begins with the key's columns where there is one, else by a scan).
// Shared by the writer's referential rules and the integrity check.
#pragma once

#include "jet/database.h"
#include "jet/relationships.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace jet::detail {

struct BoundRelationship {
    const Relationship* rel = nullptr;
    std::shared_ptr<const TableDef> child, parent;
    std::vector<size_t> childColumns, parentColumns; // positions in the tables' columns
};

// Nullopt when a table or column the relationship names is not in the database (a linked
// table, or a relationship Access left behind).
std::optional<BoundRelationship> bindRelationship(const Database& db, const Relationship& r);

// The values of `columns` (positions) of `row`.
std::vector<Value> keyValues(std::span<const Value> row, const std::vector<size_t>& columns);
bool anyNull(std::span<const Value> values);

// The key bytes of `values` read as values of `table`'s `columns`: two key tuples are the same
// key when their bytes are equal (text compares without regard to case, as in Jet's indexes).
// Throws KeyEncodingError for a value that has no key (binary data).
std::vector<uint8_t> columnsKey(const Database& db, const TableDef& table, const std::vector<size_t>& columns,
                                std::span<const Value> values);

// Live rows of `table` whose `columns` hold `values`, at most `limit` of them.
std::vector<RowId> findRows(const Database& db, const std::shared_ptr<const TableDef>& table,
                            const std::vector<size_t>& columns, std::span<const Value> values, size_t limit);

// Shows a key in messages: "CustomerID = 'ALFKI'".
std::string describeKey(const TableDef& table, const std::vector<size_t>& columns, std::span<const Value> values);

// Rows of the child table of each enforced relationship whose foreign key (every column set)
// names no parent row, one line each. For the integrity check.
std::vector<std::string> relationshipProblems(const Database& db);

} // namespace jet::detail
