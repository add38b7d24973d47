// Encoding table definitions (TDEF pages): the writer's counterpart of the definition reader.
#pragma once

#include "file/format.h"
#include "jet/schema.h"
#include "value/text_codec.h"

#include <cstdint>
#include <span>
#include <vector>

namespace jet::detail {

// What a table definition holds beyond jet::TableDef: per physical index the count of distinct
// keys, and the two usage maps of each Memo/OLE column.
struct LongValueColumnMaps {
    uint16_t columnNumber = 0;
    uint32_t usedPages = 0; // row pointer of the map of pages holding this column's long values
    uint32_t freePages = 0; // row pointer of the map of those pages with free space
};

struct PhysicalIndexState {
    uint32_t uniqueEntries = 0; // distinct keys added so far (Access never lowers it)
};

struct TableDefExtras {
    std::vector<LongValueColumnMaps> longValueMaps;
    std::vector<PhysicalIndexState> physical; // by physical index number
};

// The definition of `table` as one byte stream laid out as if it were on a single page:
// bytes 0..7 are the page header (type, free space, next page), the definition follows.
// Jet 4 layout (all little-endian):
//
// OFFSET  SIZE  MEANING
// 0       1     0x02 page type
// 1       1     0x01
// 2       2     free space on the page minus 8 (filled in per page)
// 4       4     next definition page (0: none)
// 8       4     length of the definition, this header included
// 12      4     1625 (0x659), constant
// 16      4     number of rows
// 20      4     last auto-number value given
// 24      1     0x01: auto-numbers enabled
// 25      15    0
// 40      1     table type: 0x4E user, 0x53 system
// 41      2     highest column count of any row (deleted columns included)
// 43      2     number of variable-length columns
// 45      2     number of columns
// 47      4     number of logical indexes
// 51      4     number of physical indexes
// 55      4     row pointer (slot, 3-byte page) of the owned-pages usage map
// 59      4     row pointer of the pages-with-free-space usage map
// 63      12*n  per physical index: 0, distinct keys, 0
// then    25*c  per column: type, 1625, number, variable slot, index, sort order or
//               precision/scale (4), flags, extended flags (0x01 compressed Unicode), 0 (4),
//               fixed offset, length in bytes
// then          per column: 2-byte name length in bytes, UCS-2 name
// then    52*n  per physical index: 1923, 10 x (column number or 0xFFFF, 0x01 ascending),
//               usage map row pointer, root page, 0 (4), flags (0x80 | unique 0x01 |
//               ignore nulls 0x02 | required 0x08), 0 (5)
// then    28*m  per logical index: 1625, number, physical number, 0, -1, 0, 4, 4 (as Access
//               writes them for indexes without a relationship), type (1 primary key), 0 (4)
// then          per logical index: 2-byte name length, UCS-2 name
// then    10*k  per Memo/OLE column: number, used-pages map, free-pages map; ends with 0xFFFF
// Jet 3 (Access 97) differs:
//
// OFFSET  SIZE  MEANING
// 2       2     "VC"
// 8       4     length of the definition
// 12      4     number of rows
// 16      4     last auto-number value given
// 20      1     table type
// 21..42        as Jet 4's 41..62
// 43      8*n   per physical index: 0, distinct keys
// then    18*c  per column: type, number, variable slot, index, 1, sort order, code page
//               (Numeric: precision, scale), flags, fixed offset, length in bytes
// then          per column: 1-byte name length, the name in the file's code page
// then    39*n  per physical index: 10 x (column number or 0xFFFF, 0x01 ascending), usage map
//               row pointer, root page, flags
// then    20*m  per logical index: number, physical number, 0, related index, related table
//               page, cascade updates, cascade deletes, type
// then          per logical index: 1-byte name length, code-page name
// then    10*k  per Memo/OLE column as in Jet 4; ends with 0xFFFF
// `charset` (the file's code page) is needed for Jet 3; a name it cannot hold is refused
// (std::invalid_argument).
std::vector<uint8_t> encodeTableDefinition(const Format& format, const TableDef& table, const TableDefExtras& extras,
                                           const Jet3Charset* charset = nullptr);
std::vector<uint8_t> encodeJet3TableDefinition(const TableDef& table, const TableDefExtras& extras,
                                               const Jet3Charset& charset);

// The extras of a stored definition (`bytes` as readTableDefBytes gives them).
TableDefExtras parseTableDefExtras(const Format& format, const TableDef& table, std::span<const uint8_t> bytes);

// Splits an encoded definition over pages: the first page keeps the stream's first
// page-size bytes, each continuation page gets an 8-byte header and the next bytes.
// `pages` are the page numbers to use (as many as pagesNeeded()).
std::vector<std::vector<uint8_t>> paginateTableDefinition(const Format& format, std::span<const uint8_t> stream,
                                                          std::span<const uint32_t> pages);
size_t tableDefinitionPagesNeeded(const Format& format, size_t streamLength);

// Where, in the encoded stream, the fields that change with every insert live (so a row
// count update rewrites only the first page).
inline constexpr size_t kJet4TdefRowCountOffset = 16;
inline constexpr size_t kJet4TdefAutoNumberOffset = 20;

// UTF-8 to UCS-2 little-endian bytes (names in definitions, Jet 4 text).
std::vector<uint8_t> toUcs2(std::string_view utf8);

} // namespace jet::detail
