// Finding one row's bytes on a data page: the row offset table of data pages.
#pragma once

#include "file/page_file.h"

#include <cstdint>
#include <optional>
#include <span>

namespace jet::detail {

// Data page (type 0x01; long-value pages share the layout with "LVAL" as owner).
//
// OFFSET        SIZE  MEANING
// 0             1     page type 0x01
// 1             1     0x01
// 2             2     free space on the page
// 4             4     owner: first page of the table definition (or "LVAL")
// Jet 4: 8      4     unknown
// 8 / 12        2     number of row slots
// 10 / 14       2*n   row offsets; a row ends where the previous slot's row begins
//                     (slot 0 ends at the end of the page). Flags in the top bits:
//                     0x8000 deleted, 0x4000 overflow (the row holds a 4-byte row
//                     pointer page << 8 | slot to the row's real place)
namespace row_flags {
inline constexpr uint16_t Deleted = 0x8000;
inline constexpr uint16_t Overflow = 0x4000;
inline constexpr uint16_t OffsetMask = 0x1FFF;
} // namespace row_flags

struct RowSlot {
    uint16_t flags = 0;             // row_flags bits
    std::span<const uint8_t> bytes; // the row's bytes on the page
    bool deleted() const { return flags & row_flags::Deleted; }
    bool overflow() const { return flags & row_flags::Overflow; }
};

// Number of row slots on a data page (checked against the page size).
uint16_t dataPageRowCount(const PageFile& file, const Page& page, uint32_t pageNo);

// Slot `slot` of data page `pageNo`; throws FormatError when the offsets do not fit.
RowSlot dataPageRow(const PageFile& file, const Page& page, uint32_t pageNo, unsigned slot);

} // namespace jet::detail
