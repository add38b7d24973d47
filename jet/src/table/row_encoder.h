// The row encoder: values to the bytes of a table row (the writer's side of the row codec).
#pragma once

#include "file/format.h"
#include "jet/error.h"
#include "value/text_codec.h"
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
// Jet 3 text goes through `charset`, the file's code page (required for Jet 3 Text columns).
EncodedColumn encodeValue(const Format& format, const ColumnDef& column, const Value& value,
                          const Jet3Charset* charset = nullptr);

// Jet 4 text bytes: "compressed Unicode" (FF FE, then one byte per character) when the column
// allows it and every character is U+0001..U+00FF, else UCS-2 little-endian. Throws ValueError
// when the text has more than `maxChars` UTF-16 units (0: no limit).
std::vector<uint8_t> encodeJet4Text(std::string_view utf8, bool allowCompression, size_t maxChars);

// Jet 3 text bytes: the text in the file's code page. Throws ValueError naming the character
// when the code page has none for it, or when the bytes exceed `maxBytes` (0: no limit).
std::vector<uint8_t> encodeJet3Text(const Jet3Charset& charset, std::string_view utf8, size_t maxBytes);

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
//
// Jet 3 rows are the same with a 1-byte column count, 1-byte offsets and a 1-byte n. The
// offsets hold the low byte of each position; rows of more than 256 bytes add a jump table
// between the offsets and n, one byte per 256 bytes of row ((length - 1) / 256 of them, the
// entry nearest n first): entry k is the first variable slot whose position is at or past
// (k + 1) * 256, the end-of-data entry counted as slot n. When the row's length asks for one
// entry more than the positions need, the last entry is a filler (0xFF) that readers skip.
std::vector<uint8_t> assembleRow(const Format& format, const TableDef& table, std::span<const EncodedColumn> columns);

} // namespace jet::detail
