// MySqlToJet.h — one value of the server's text protocol turned into a value of an Access
// column: numbers and decimals exactly, dates with their fractions of a second, text and bytes
// as they are. The target column decides the kind, so a download into an existing table of a
// different (but compatible) type converts too.
#pragma once

#include "transfer/TypeMap.h"

#include "jet/schema.h"
#include "jet/value.h"

#include <cstddef>

namespace tablor::transfer {

// `data` == nullptr is SQL NULL. Throws std::invalid_argument (or jet::ValueError, from
// jet::valueFromText) with a message naming the column when the value does not fit the column (out of range, too many decimals, the year 0005).
jet::Value toJetValue(ValueSource source, const char* data, size_t size, const jet::ColumnDef& target);

// The Access date-time of a MySQL DATE/DATETIME/TIMESTAMP text; false for the zero date
// ("0000-00-00"), which Access cannot hold. Throws std::invalid_argument for other texts that
// are no date Access can hold (years before 100).
bool parseMySqlDateTime(const char* data, size_t size, jet::DateTime& out);

} // namespace tablor::transfer
