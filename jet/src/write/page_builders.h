// Building and editing pages for the writer: data pages (rows), index pages (B-tree nodes and
// leaves) and inline usage-map rows. The layouts are documented where the reader parses them
// (row_locator.h, usage_map.h, index reader); these functions produce the same bytes.
#pragma once

#include "file/format.h"
#include "index/index_reader.h"
#include "jet/cursor.h"

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

namespace jet::detail {

// ---- Data pages ----------------------------------------------------------------------------

// A fresh data page owned by `owner` (the table definition page; 0 for the page of
// usage-map rows, 1 for the global map page, "LVAL" pages use ownerLval).
std::vector<uint8_t> newDataPage(const Format& format, uint32_t owner);
inline constexpr uint32_t kLongValueOwner = 0x4C41564C; // "LVAL" read as a little-endian number

// Free bytes between the row offset table and the lowest row.
uint32_t dataPageFreeSpace(const Format& format, std::span<const uint8_t> page);

// Adds a row to the page, reusing a deleted slot's number when there is one only if
// `reuseSlots`; returns the slot, or nullopt when the row does not fit. Keeps the free-space
// field right.
std::optional<uint8_t> dataPageAddRow(const Format& format, std::span<uint8_t> page, std::span<const uint8_t> row);

// Marks slot `slot` deleted (0xC000, as Access does; the bytes stay).
void dataPageDeleteRow(const Format& format, std::span<uint8_t> page, uint8_t slot);
// Marks slot `slot` as the moved copy of a row (0x8000 alone): scans skip it, the overflow
// pointer at the row's first place leads to it.
void dataPageMarkMoved(const Format& format, std::span<uint8_t> page, uint8_t slot);

// Replaces the row in `slot` with `row` when the page has room (compacting the page if
// needed); false when it does not fit. The slot number is kept.
bool dataPageReplaceRow(const Format& format, std::span<uint8_t> page, uint8_t slot, std::span<const uint8_t> row,
                        uint16_t flags = 0);

// The bytes of live slot `slot` (empty for deleted slots).
std::span<const uint8_t> dataPageRowBytes(const Format& format, std::span<const uint8_t> page, uint8_t slot,
                                          uint16_t* flags = nullptr);
uint16_t dataPageSlotCount(const Format& format, std::span<const uint8_t> page);

// The largest row a fresh data page can take.
uint32_t maxRowSize(const Format& format);

// ---- Usage maps ----------------------------------------------------------------------------

// An inline (type 0x00) usage map row describing `pages` relative to `start`, with a bitmap
// of `bitmapBytes` bytes (64 in Jet 4 map rows). Pages outside the range are left out; the
// caller checks fits first.
std::vector<uint8_t> encodeInlineUsageMap(uint32_t start, std::span<const uint32_t> pages, size_t bitmapBytes);

// ---- Index pages ---------------------------------------------------------------------------

// Index page (type 0x03 node, 0x04 leaf), Jet 4 offsets (Jet 3 from Format):
//
// OFFSET  SIZE  MEANING
// 0       1     0x03 node or 0x04 leaf
// 1       1     0x01
// 2       2     free space: page size - end of the entries
// 4       4     table definition page
// 8       4     0
// 12      4     previous page at this level (0: none)
// 16      4     next page at this level (0: none)
// 20      4     tail page: on node pages with several children the last child, whose entry
//               is left out (0: none, and on leaves)
// 24      2     length of the prefix shared by every entry on the page
// 26      1     0
// 27      453   entry mask: bit (n) set = an entry ends at byte n of the entry area
// 480     ...   entries: the first in full, the others without the shared prefix.
//               Leaf entry: key, 3-byte big-endian data page, row slot.
//               Node entry: the same, then the 4-byte big-endian child page.
// Jet 3 moves the fields up by four (previous page at 8 ...), has a 1-byte prefix length at
// 20 followed by 0x01 on node pages, and a 226-byte entry mask at 22 (entries from 248).
std::vector<uint8_t> buildIndexPage(const Format& format, bool leaf, uint32_t tdefPage, uint32_t prev, uint32_t next,
                                    uint32_t tail, std::span<const IndexPageEntry> entries);

// The most entry bytes an index page can hold, and the longest prefix its entries can share:
// Access 97 keeps the prefix length in one byte, Access 2000 in two.
size_t indexPageCapacity(const Format& format);
size_t maxSharedPrefix(const Format& format);

} // namespace jet::detail
