// The row codec: a table row's bytes to values (decoding now; encoding goes beside it,
// sharing RowLayout).
#pragma once

#include "jet/schema.h"
#include "jet/value.h"

#include <cstdint>
#include <span>
#include <vector>

namespace jet::detail {

class DatabaseImpl;

// Where each column of one row is: found by parsing the row's tail (null mask, variable
// offset table). Fields are offsets into the row.
struct RowLayout {
    uint16_t columnCount = 0;          // columns stored in this row
    std::span<const uint8_t> nullMask; // bit set = value present (Boolean: the value)
    uint16_t varCount = 0;             // variable columns stored in this row
    std::vector<uint16_t> varOffsets;  // varCount + 1 entries (the last is the end of data)
    uint32_t fixedEnd = 0;             // end of the fixed area

    bool present(uint16_t columnNumber) const {
        return columnNumber < columnCount && (nullMask[columnNumber >> 3] & (1u << (columnNumber & 7))) != 0;
    }
};

class RowDecoder {
public:
    RowDecoder(DatabaseImpl& db, const TableDef& table);

    // Parses the row's structure; throws FormatError naming `page` when it does not fit.
    void parseLayout(std::span<const uint8_t> row, uint32_t page, RowLayout& layout) const;

    // Decodes every column of table().columns into `out` (resized to fit).
    void decode(std::span<const uint8_t> row, uint32_t page, std::vector<Value>& out, bool readLongValues);

    // The bytes of one column in a parsed row (empty span for a null or absent value).
    std::span<const uint8_t> columnBytes(std::span<const uint8_t> row, const RowLayout& layout,
                                         const ColumnDef& column) const;

    // One column's bytes to a value (long values read through the database).
    Value decodeValue(const ColumnDef& column, std::span<const uint8_t> bytes, uint32_t page,
                      bool readLongValues) const;

    const TableDef& table() const { return *table_; }

private:
    DatabaseImpl* db_;
    const TableDef* table_;
    RowLayout layout_; // reused between rows
};

// Fixed size of a column type on disk (0 for variable-length and Boolean).
uint16_t fixedSizeOf(ColumnType type);

} // namespace jet::detail
