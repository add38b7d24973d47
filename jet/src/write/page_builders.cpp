// Page builders for the writer (see page_builders.h).
#include "write/page_builders.h"

#include "file/bytes.h"
#include "file/page_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace jet::detail {

namespace {

constexpr uint16_t kDeleted = 0x8000;
constexpr uint16_t kOffsetMask = 0x1FFF;

uint16_t slotWord(const Format& f, std::span<const uint8_t> page, unsigned slot) {
    return u16(page, f.dataRowTableOffset + 2 * slot);
}

// End of the row offset table.
uint32_t tableEnd(const Format& f, std::span<const uint8_t> page) {
    return f.dataRowTableOffset + 2u * u16(page, f.dataRowCountOffset);
}

// Lowest row start on the page (page size when there are no rows).
uint32_t lowestRow(const Format& f, std::span<const uint8_t> page) {
    uint32_t low = f.pageSize;
    const uint16_t n = u16(page, f.dataRowCountOffset);
    for (unsigned i = 0; i < n; ++i) {
        const uint16_t w = slotWord(f, page, i);
        const uint32_t at = w & kOffsetMask;
        if (at != 0) low = std::min(low, at);
    }
    return low;
}

void setFree(const Format& f, std::span<uint8_t> page) {
    const uint32_t low = lowestRow(f, page);
    const uint32_t end = tableEnd(f, page);
    put16(page, 2, static_cast<uint16_t>(low > end ? low - end : 0));
}

// Where each slot's bytes end. Access stores the rows from the end of the page downwards in
// slot order, so a row runs from its offset to the offset of the slot before it (the end of
// the page for slot 0); mdbtools and jackcess read the extent so too. A deleted row is given
// back by Access as zero bytes: its offset equals that of the next row stored below it, which
// a rule like "up to the next higher offset" would read as a second copy of that row.
uint32_t rowEnd(const Format& f, std::span<const uint8_t> page, unsigned slot) {
    const uint32_t at = slotWord(f, page, slot) & kOffsetMask;
    if (slot == 0 || at < f.dataRowTableOffset) return slot == 0 ? f.pageSize : at;
    const uint32_t end = slotWord(f, page, slot - 1) & kOffsetMask;
    return end >= at ? end : at; // out of order (damaged): no bytes
}

void putBe24(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

} // namespace

std::vector<uint8_t> newDataPage(const Format& f, uint32_t owner) {
    std::vector<uint8_t> page(f.pageSize, 0);
    page[0] = page_type::Data;
    page[1] = 0x01;
    put32(page, 4, owner);
    setFree(f, page);
    return page;
}

uint32_t maxRowSize(const Format& f) { return f.pageSize - f.dataRowTableOffset - 2; }

uint32_t dataPageFreeSpace(const Format& f, std::span<const uint8_t> page) {
    const uint32_t low = lowestRow(f, page);
    const uint32_t end = tableEnd(f, page);
    return low > end ? low - end : 0;
}

uint16_t dataPageSlotCount(const Format& f, std::span<const uint8_t> page) { return u16(page, f.dataRowCountOffset); }

std::optional<uint8_t> dataPageAddRow(const Format& f, std::span<uint8_t> page, std::span<const uint8_t> row) {
    const uint16_t n = u16(page, f.dataRowCountOffset);
    if (n >= f.maxRowsPerPage) return std::nullopt;
    const uint32_t low = lowestRow(f, page);
    const uint32_t end = tableEnd(f, page) + 2;
    if (low < end || low - end < row.size() || row.empty()) return std::nullopt;
    const uint32_t at = low - static_cast<uint32_t>(row.size());
    std::memcpy(page.data() + at, row.data(), row.size());
    put16(page, f.dataRowTableOffset + 2 * n, static_cast<uint16_t>(at));
    put16(page, f.dataRowCountOffset, static_cast<uint16_t>(n + 1));
    // The new row is now the lowest on the page and the offset table grew by one slot.
    put16(page, 2, static_cast<uint16_t>(at - end));
    return static_cast<uint8_t>(n);
}

void dataPageDeleteRow(const Format& f, std::span<uint8_t> page, uint8_t slot) {
    // Access marks a deleted row with both flag bits (0xC000); the deleted bit alone marks
    // the copy of a moved row, which an overflow pointer still reaches.
    const uint16_t w = slotWord(f, page, slot);
    put16(page, f.dataRowTableOffset + 2 * slot, static_cast<uint16_t>(w | kDeleted | 0x4000));
}

void dataPageMarkMoved(const Format& f, std::span<uint8_t> page, uint8_t slot) {
    const uint16_t w = slotWord(f, page, slot);
    put16(page, f.dataRowTableOffset + 2 * slot, static_cast<uint16_t>((w & kOffsetMask) | kDeleted));
}

std::span<const uint8_t> dataPageRowBytes(const Format& f, std::span<const uint8_t> page, uint8_t slot,
                                          uint16_t* flags) {
    if (slot >= u16(page, f.dataRowCountOffset)) return {};
    const uint16_t w = slotWord(f, page, slot);
    if (flags) *flags = w & ~kOffsetMask;
    if (w & kDeleted) return {};
    const uint32_t at = w & kOffsetMask;
    return page.subspan(at, rowEnd(f, page, slot) - at);
}

bool dataPageReplaceRow(const Format& f, std::span<uint8_t> page, uint8_t slot, std::span<const uint8_t> row,
                        uint16_t flags) {
    const uint16_t n = u16(page, f.dataRowCountOffset);
    if (slot >= n)
        throw FormatError({}, std::nullopt,
                          "dataPageReplaceRow: no such slot (the file looks damaged; tablor-mdb check tells more)");
    // Rebuild the row area: every live row keeps its bytes, the slot gets the new ones.
    std::vector<std::vector<uint8_t>> rows(n);
    std::vector<uint16_t> words(n);
    uint32_t total = 0;
    for (unsigned i = 0; i < n; ++i) {
        words[i] = slotWord(f, page, i);
        if (i == slot) {
            rows[i].assign(row.begin(), row.end());
            words[i] = flags;
        } else {
            // Deleted slots keep their bytes: a row moved by an update lives on in a slot
            // flagged deleted, reached through the overflow pointer at its old place.
            const uint32_t at = words[i] & kOffsetMask;
            rows[i].assign(page.begin() + at, page.begin() + rowEnd(f, page, i));
        }
        total += static_cast<uint32_t>(rows[i].size());
    }
    if (tableEnd(f, page) + total > f.pageSize) return false;
    uint32_t at = f.pageSize;
    std::vector<uint8_t> area(f.pageSize, 0);
    for (unsigned i = 0; i < n; ++i) {
        at -= static_cast<uint32_t>(rows[i].size());
        if (!rows[i].empty()) std::memcpy(area.data() + at, rows[i].data(), rows[i].size());
        put16(page, f.dataRowTableOffset + 2 * i, static_cast<uint16_t>(at | (words[i] & ~kOffsetMask)));
    }
    std::memcpy(page.data() + at, area.data() + at, f.pageSize - at);
    const uint32_t end = tableEnd(f, page);
    if (at > end) std::memset(page.data() + end, 0, at - end);
    setFree(f, page);
    return true;
}

std::vector<uint8_t> encodeInlineUsageMap(uint32_t start, std::span<const uint32_t> pages, size_t bitmapBytes) {
    std::vector<uint8_t> row(5 + bitmapBytes, 0);
    row[0] = 0x00;
    put32(row, 1, start);
    for (uint32_t p : pages) {
        if (p < start) continue;
        const uint32_t bit = p - start;
        if (bit / 8 >= bitmapBytes) continue;
        row[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
    return row;
}

size_t indexPageCapacity(const Format& f) {
    return std::min<size_t>(f.pageSize - f.indexEntriesOffset(), f.indexEntryMaskSize * 8 - 1);
}

size_t maxSharedPrefix(const Format& f) { return f.indexPrefixLengthSize == 1 ? 0xFF : 0xFFFF; }

namespace {

// The bytes every entry's key shares with the first, at most `limit`.
size_t sharedPrefix(std::span<const IndexPageEntry> entries, size_t limit) {
    if (entries.size() < 2) return 0;
    size_t p = std::min(entries.front().key.size(), limit);
    for (const auto& e : entries) {
        p = std::min(p, e.key.size());
        size_t i = 0;
        while (i < p && e.key[i] == entries.front().key[i]) ++i;
        p = i;
    }
    return p;
}

} // namespace

std::vector<uint8_t> buildIndexPage(const Format& f, bool leaf, uint32_t tdefPage, uint32_t prev, uint32_t next,
                                    uint32_t tail, std::span<const IndexPageEntry> entries) {
    const size_t prefix = sharedPrefix(entries, maxSharedPrefix(f));
    std::vector<uint8_t> data;
    std::vector<size_t> ends;
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        const size_t skip = i == 0 ? 0 : prefix;
        data.insert(data.end(), e.key.begin() + static_cast<std::ptrdiff_t>(skip), e.key.end());
        putBe24(data, e.row.page);
        data.push_back(e.row.slot);
        if (!leaf) {
            data.push_back(static_cast<uint8_t>(e.child >> 24));
            putBe24(data, e.child & 0xFFFFFF);
        }
        ends.push_back(data.size());
    }
    if (data.size() > indexPageCapacity(f)) throw std::logic_error("buildIndexPage: entries do not fit the page");
    std::vector<uint8_t> page(f.pageSize, 0);
    page[0] = leaf ? page_type::IndexLeaf : page_type::IndexNode;
    page[1] = 0x01;
    const size_t entriesAt = f.indexEntriesOffset();
    put16(page, 2, static_cast<uint16_t>(f.pageSize - entriesAt - data.size()));
    put32(page, 4, tdefPage);
    put32(page, f.indexPrevPageOffset, prev);
    put32(page, f.indexNextPageOffset, next);
    put32(page, f.indexTailPageOffset, tail);
    if (f.indexPrefixLengthSize == 1) {
        page[f.indexPrefixLengthOffset] = static_cast<uint8_t>(prefix);
        // Access 97 marks its node pages with a 1 right after the prefix length.
        if (!leaf) page[f.indexPrefixLengthOffset + 1] = 0x01;
    } else {
        put16(page, f.indexPrefixLengthOffset, static_cast<uint16_t>(prefix));
    }
    for (size_t end : ends) page[f.indexEntryMaskOffset + end / 8] |= static_cast<uint8_t>(1u << (end % 8));
    if (!data.empty()) std::memcpy(page.data() + entriesAt, data.data(), data.size());
    return page;
}

} // namespace jet::detail
