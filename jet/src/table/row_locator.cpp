// Row slots of data pages (see row_locator.h).
#include "table/row_locator.h"

#include "file/bytes.h"

namespace jet::detail {

uint16_t dataPageRowCount(const PageFile& file, const Page& page, uint32_t pageNo) {
    const auto& f = file.format();
    const uint16_t n = u16(page, f.dataRowCountOffset);
    if (n > f.maxRowsPerPage || f.dataRowTableOffset + 2u * n > f.pageSize) {
        file.corrupt(pageNo, "claims " + std::to_string(n) + " rows, more than a page can hold");
    }
    return n;
}

RowSlot dataPageRow(const PageFile& file, const Page& page, uint32_t pageNo, unsigned slot) {
    const auto& f = file.format();
    const uint16_t n = dataPageRowCount(file, page, pageNo);
    if (slot >= n) {
        file.corrupt(pageNo, "has no row " + std::to_string(slot) + " (it holds " + std::to_string(n) + ")");
    }
    const uint16_t raw = u16(page, f.dataRowTableOffset + 2 * slot);
    RowSlot r;
    r.flags = raw & static_cast<uint16_t>(~row_flags::OffsetMask);
    const uint32_t start = raw & row_flags::OffsetMask;
    uint32_t end = f.pageSize;
    if (slot > 0) end = u16(page, f.dataRowTableOffset + 2 * (slot - 1)) & row_flags::OffsetMask;
    if (start < f.dataRowTableOffset + 2u * n || end > f.pageSize || start > end) {
        if (r.deleted()) return r; // a deleted slot's bounds need not hold
        file.corrupt(pageNo, "has row " + std::to_string(slot) + " outside the page (" + std::to_string(start) + ".." +
                                 std::to_string(end) + ")");
    }
    r.bytes = std::span<const uint8_t>(page.data() + start, end - start);
    return r;
}

} // namespace jet::detail
