// Index keys of table rows: jet::Value columns to the key bytes of an index (index_keys.h).
#pragma once

#include "file/format.h"
#include "jet/index_keys.h"
#include "jet/schema.h"
#include "jet/value.h"

#include <cstdint>
#include <span>
#include <vector>

namespace jet::detail {

// The key column description of an index column over `column`.
KeyColumn keyColumnFor(const Format& format, const ColumnDef& column, bool ascending);

// A row value as a key value for its column (Guid reordered to text order, text to UTF-16).
KeyValue keyValueFor(const ColumnDef& column, const Value& value);

// The key of `row` (values in table.columns order) for `index`. Columns the index has lost
// (deleted) are left out.
std::vector<uint8_t> rowKey(const Format& format, const TableDef& table, const IndexDef& index,
                            std::span<const Value> row);

// True when every indexed column of `row` is null (such rows are left out of indexes that
// ignore nulls).
bool rowKeyAllNull(const TableDef& table, const IndexDef& index, std::span<const Value> row);

} // namespace jet::detail
