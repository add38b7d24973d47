// Usage maps held by the writer: loaded from and written back to their rows (see page_store.h).
#include "write/page_store.h"

#include "map/usage_map.h"
#include "table/row_locator.h"
#include "write/page_builders.h"

namespace jet::detail {

void loadMap(PageFile& file, PageStore& store, MapState& m) {
    (void)store;
    if (m.row == 0) return;
    UsageMap map(file, m.row);
    const auto pages = map.pages();
    m.pages.insert(pages.begin(), pages.end());
    auto page = file.page(m.row >> 8);
    const auto slot = dataPageRowBytes(file.format(), *page, static_cast<uint8_t>(m.row & 0xFF));
    if (!slot.empty() && slot[0] == 0x01) {
        for (size_t i = 1; i + 4 <= slot.size(); i += 4) m.bitmapPages.push_back(u32(slot, i));
    }
}

namespace {

// Flips the bits of m.changes in the map as its row (and bitmap pages) hold it now; false,
// with nothing changed, when a change lies outside what that form covers.
bool flipChangedBits(const Format& f, PageStore& store, MapState& m) {
    if (m.changes.empty()) return false;
    const uint32_t pageNo = m.row >> 8;
    const auto slot = static_cast<uint8_t>(m.row & 0xFF);
    const auto pageBytes = store.read(pageNo);
    const auto row = dataPageRowBytes(f, pageBytes, slot);
    if (row.size() < 5) return false;
    const size_t bitsPerMapPage = (f.pageSize - f.usageMapPageDataOffset) * 8;
    struct Flip {
        uint32_t page; // 0: the map's own row
        size_t byte;   // within that page (own row: within the row)
        uint8_t mask;
        bool set;
    };
    std::vector<Flip> flips;
    flips.reserve(m.changes.size());
    if (row[0] == 0x00) {
        const uint32_t start = u32(row, 1);
        const size_t bits = (row.size() - 5) * 8;
        for (const MapState::Change& c : m.changes) {
            if (c.page < start || c.page - start >= bits) {
                if (m.inlineOnly) continue; // pages past the global map are not listed
                return false;
            }
            const uint32_t bit = c.page - start;
            flips.push_back({0, 5 + bit / 8, static_cast<uint8_t>(1u << (bit % 8)), c.used});
        }
    } else if (row[0] == 0x01 && !m.inlineOnly) {
        const size_t pointers = (row.size() - 1) / 4;
        for (const MapState::Change& c : m.changes) {
            const size_t k = c.page / bitsPerMapPage;
            if (k >= pointers) return false;
            const uint32_t bitmap = u32(row, 1 + 4 * k);
            if (bitmap == 0) return false;
            const size_t bit = c.page - k * bitsPerMapPage;
            flips.push_back(
                {bitmap, f.usageMapPageDataOffset + bit / 8, static_cast<uint8_t>(1u << (bit % 8)), c.used});
        }
    } else {
        return false;
    }
    const auto rowAt = static_cast<size_t>(row.data() - pageBytes.data());
    for (const Flip& flip : flips) {
        auto& page = store.edit(flip.page == 0 ? pageNo : flip.page);
        uint8_t& byte = page[flip.page == 0 ? rowAt + flip.byte : flip.byte];
        byte = flip.set ? static_cast<uint8_t>(byte | flip.mask) : static_cast<uint8_t>(byte & ~flip.mask);
    }
    return true;
}

} // namespace

void writeMap(const Format& f, PageStore& store, MapState& m) {
    if (!m.dirty || m.row == 0) return;
    m.dirty = false;
    const bool flipped = flipChangedBits(f, store, m);
    m.changes.clear();
    if (flipped) return;
    std::vector<uint8_t> row;
    const uint32_t lo = m.pages.empty() ? 0 : *m.pages.begin();
    const uint32_t hi = m.pages.empty() ? 0 : *m.pages.rbegin();
    const size_t bitsPerMapPage = (f.pageSize - f.usageMapPageDataOffset) * 8;
    const size_t inlineBytes = mapBitmapBytes(f);
    if (m.inlineOnly) {
        std::vector<uint32_t> inRange;
        for (uint32_t p : m.pages)
            if (m.reaches(p)) inRange.push_back(p);
        row = encodeInlineUsageMap(m.inlineStart, inRange, m.inlineBytes);
    } else if (hi < inlineBytes * 8 && m.bitmapPages.empty()) {
        row = encodeInlineUsageMap(0, std::vector<uint32_t>(m.pages.begin(), m.pages.end()), inlineBytes);
    } else if (hi - lo < inlineBytes * 8 && m.bitmapPages.empty()) {
        row = encodeInlineUsageMap(lo, std::vector<uint32_t>(m.pages.begin(), m.pages.end()), inlineBytes);
    } else {
        // Reference form: bitmap page k describes pages k*bitsPerMapPage onward.
        const size_t needed = hi / bitsPerMapPage + 1;
        if (needed > maxMapPagePointers(f))
            throw FormatError(
                {}, m.row >> 8,
                "usage map beyond the largest file Access allows (the file looks damaged; tablor-mdb check tells more)");
        row.assign(mapRowSize(f), 0);
        row[0] = 0x01;
        for (size_t k = 0; k < needed; ++k) {
            std::vector<uint8_t> bitmap(f.pageSize, 0);
            bitmap[0] = page_type::UsageMap;
            bitmap[1] = 0x01;
            const uint32_t first = static_cast<uint32_t>(k * bitsPerMapPage);
            for (auto it = m.pages.lower_bound(first); it != m.pages.end() && *it < first + bitsPerMapPage; ++it) {
                const uint32_t bit = *it - first;
                bitmap[f.usageMapPageDataOffset + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
            }
            // A reference map's row has room for 17 page pointers (Access 97: 33); the unused ones are 0, and
            // page 0 is the file's header: such a slot gets a page of its own.
            if (k >= m.bitmapPages.size()) m.bitmapPages.push_back(store.append(std::move(bitmap)));
            else if (m.bitmapPages[k] == 0) m.bitmapPages[k] = store.append(std::move(bitmap));
            else store.put(m.bitmapPages[k], std::move(bitmap));
            put32(row, 1 + 4 * k, m.bitmapPages[k]);
        }
    }
    row.resize(m.inlineOnly ? 5 + m.inlineBytes : mapRowSize(f), 0);
    auto& page = store.edit(m.row >> 8);
    if (!dataPageReplaceRow(f, page, static_cast<uint8_t>(m.row & 0xFF), row))
        throw FormatError(
            {}, m.row >> 8,
            "a usage map row no longer fits its page (the file looks damaged; tablor-mdb check tells more)");
}

} // namespace jet::detail
