// The row encoder: values to the bytes of a table row (the writer's side of the row codec).
#pragma once

#include "file/format.h"
#include "jet/error.h"
#include "jet/schema.h"
#include "jet/value.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace jet::detail {

// One column of a row, ready to be placed: `present` false is null (for Yes/No columns
// `present` is the value itself, kept in the null mask); `bytes` are the stored bytes
// (fixed columns: exactly the type's size; Memo/OLE: the 12-byte long-value header and
// any inline data).
struct EncodedColumn {
    bool present = false;
    std::vector<uint8_t> bytes;
};

// The stored form of `value` for a column that is not Memo or OLE. Accepts the column's own
// kind and, for numbers, any kind that converts without loss (Byte into Long, Long into
// Double...); text into a number column is refused (convert first).
EncodedColumn encodeValue(const Format& format, const ColumnDef& column, const Value& value);

// Jet 4 text bytes: "compressed Unicode" (FF FE, then one byte per character) when the column
// allows it and every character is U+0001..U+00FF, else UCS-2 little-endian. Throws ValueError
// when the text has more than `maxChars` UTF-16 units (0: no limit).
std::vector<uint8_t> encodeJet4Text(std::string_view utf8, bool allowCompression, size_t maxChars);

// Jet 4 row layout (offsets from the row start, little-endian):
//
// OFFSET  SIZE  MEANING
// 0       2     number of columns in the row (the table's highest column count)
// 2       f     fixed-length columns at their fixed offsets (zeros when null)
// 2+f     v     variable-length values, in variable-slot order
// ...     2     end of the variable data (offset)
// ...     2*n   offsets of the variable values, last slot first
// ...     2     n, the number of variable slots
// ...     m     null mask, (columns + 7) / 8 bytes, bit = column number, 1 = present
//               (Yes/No: 1 = Yes)
// Tables without variable columns end after the fixed area with the null mask only.
std::vector<uint8_t> assembleRow(const Format& format, const TableDef& table, std::span<const EncodedColumn> columns);

} // namespace jet::detail
