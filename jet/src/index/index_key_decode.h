// Decoding index keys of number and date columns back to values (checks and tests;
// turning values into keys, text sort codes included, is index_keys' job).
#pragma once

#include "jet/schema.h"
#include "jet/value.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace jet::detail {

// Each column of a key starts with a flag byte: 0x7F present / 0x00 null (ascending),
// 0x80 present / 0xFF null (descending). Descending columns store every byte inverted.
// Numbers follow big-endian: Byte as it is; integers (Integer, Long, Currency) with the sign bit
// flipped; floating values (Single, Double, Date/Time) with the sign bit flipped when
// positive and all bits inverted when negative.
//
// Decodes `key` for `columns` (all of these kinds); nullopt for other kinds or a key
// that does not fit.
std::optional<std::vector<Value>> decodeNumericKey(std::span<const uint8_t> key,
                                                   const std::vector<const ColumnDef*>& columns,
                                                   const std::vector<bool>& ascending);

} // namespace jet::detail
