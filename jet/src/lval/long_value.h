// Long values (Memo, OLE): the 12-byte field in the row and the data it leads to.
#pragma once

#include "jet/value.h"

#include <cstdint>
#include <span>

namespace jet::detail {

class DatabaseImpl;

// Long-value field in a row:
//
// OFFSET  SIZE  MEANING
// 0       4     length (low 30 bits) and form (top bits): 0x80000000 the data follows
//               inline; 0x40000000 the data is one row of a long-value page; 0 the data
//               is a chain of rows on long-value pages
// 4       4     row pointer (page << 8 | slot) of the first long-value row
// 8       4     unknown
// 12      n     inline data
//
// A chain row starts with the 4-byte row pointer of the next chain row (0 at the end),
// followed by a piece of the data. Long-value pages are data pages owned by "LVAL".
namespace long_value {
inline constexpr uint32_t Inline = 0x80000000;
inline constexpr uint32_t SingleRow = 0x40000000;
inline constexpr uint32_t LengthMask = 0x3FFFFFFF;
inline constexpr size_t HeaderSize = 12;
} // namespace long_value

// The raw bytes of a long value. `page` names the row's page in messages.
Bytes readLongValue(DatabaseImpl& db, std::span<const uint8_t> field, uint32_t page);

} // namespace jet::detail
