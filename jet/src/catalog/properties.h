// Object properties: the LvProp blob of an MSysObjects row, where Access keeps what the table
// definition has no room for (a column's "Required", captions, formats...). The reader takes
// "Required" from it; the writer writes it for NOT NULL columns.
#pragma once

#include "jet/value.h"

#include <span>
#include <string>
#include <vector>

namespace jet::detail {

// Names (as stored, UTF-8) of the columns whose "Required" property is true. Blocks and
// properties it does not know are skipped; a blob it cannot follow yields what was read so far.
std::vector<std::string> requiredColumns(std::span<const uint8_t> blob);

// A Jet 4 property blob ("MR2") giving each named column Required = true, as Access writes it.
Bytes encodeRequiredColumns(const std::vector<std::string>& columns);

} // namespace jet::detail
