// Usage maps: bitmaps of the pages a table (or index) owns, stored in a row.
#pragma once

#include "file/page_file.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace jet::detail {

// A usage map read from its row. Two forms, told by the first byte:
//
// Inline (type 0x00):
// OFFSET  SIZE  MEANING
// 0       1     0x00
// 1       4     first page the bitmap describes
// 5       n     bitmap: bit i (low bit first) set = page (first + i) is in the map
//
// Reference (type 0x01):
// OFFSET  SIZE  MEANING
// 0       1     0x01
// 1       4*n   page numbers of bitmap pages (0 = none); map page k covers the pages
//               k * (page size - 4) * 8 onward
//
// The database's own map of free pages is the first row of page 1 (a data page owned by
// page 1): a set bit marks a page that belongs to nothing (freed, or never used).
//
// Bitmap page (type 0x05):
// OFFSET  SIZE  MEANING
// 0       1     0x05
// 1       1     0x01
// 2       2     unknown
// 4       rest  bitmap
class UsageMap {
public:
    // Reads the map whose row pointer (page << 8 | slot) is `rowPointer`.
    UsageMap(PageFile& file, uint32_t rowPointer);

    // The first page >= `from` that is in the map, or nullopt. Walks at most the file's
    // page count, so a damaged map cannot loop.
    std::optional<uint32_t> next(uint32_t from);
    bool contains(uint32_t page);
    bool isInline() const { return inline_; }
    // Every page in the map, in order (for checks; at most pageCount entries).
    std::vector<uint32_t> pages();

private:
    PageFile* file_;
    bool inline_ = true;
    uint32_t start_ = 0;             // inline: first page described
    std::vector<uint8_t> bitmap_;    // inline bitmap
    std::vector<uint32_t> mapPages_; // reference: bitmap pages
};

} // namespace jet::detail
