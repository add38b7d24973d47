// Usage maps (see usage_map.h).
#include "map/usage_map.h"

#include "file/bytes.h"
#include "table/row_locator.h"

namespace jet::detail {

UsageMap::UsageMap(PageFile& file, uint32_t rowPointer) : file_(&file) {
    const uint32_t pageNo = rowPointer >> 8;
    auto page = file.page(pageNo);
    if ((*page)[0] != page_type::Data) {
        file.corrupt(pageNo, "should hold a usage map but is not a data page");
    }
    auto slot = dataPageRow(file, *page, pageNo, rowPointer & 0xFF);
    if (slot.deleted() || slot.bytes.empty()) {
        file.corrupt(pageNo, "has a deleted or empty usage map row");
    }
    const auto b = slot.bytes;
    if (b[0] == 0x00) {
        if (b.size() < 5) file.corrupt(pageNo, "has a usage map row that is too short");
        inline_ = true;
        start_ = u32(b, 1);
        bitmap_.assign(b.begin() + 5, b.end());
    } else if (b[0] == 0x01) {
        inline_ = false;
        for (size_t at = 1; at + 4 <= b.size(); at += 4) mapPages_.push_back(u32(b, at));
    } else {
        file.corrupt(pageNo, "has a usage map of unknown type " + std::to_string(b[0]));
    }
}

std::optional<uint32_t> UsageMap::next(uint32_t from) {
    const uint32_t count = file_->readablePageCount();
    if (inline_) {
        if (from < start_) from = start_;
        const uint64_t bits = static_cast<uint64_t>(bitmap_.size()) * 8;
        for (uint64_t i = from - start_; i < bits; ++i) {
            const uint64_t p = start_ + i;
            if (p >= count) return std::nullopt;
            if ((i & 7) == 0 && bitmap_[i >> 3] == 0) {
                i += 7;
                continue;
            }
            if (bitmap_[i >> 3] & (1u << (i & 7))) return static_cast<uint32_t>(p);
        }
        return std::nullopt;
    }
    const uint32_t dataOffset = file_->format().usageMapPageDataOffset;
    const uint64_t perPage = static_cast<uint64_t>(file_->pageSize() - dataOffset) * 8;
    for (uint64_t k = from / perPage; k < mapPages_.size(); ++k) {
        if (k * perPage >= count) return std::nullopt;
        const uint32_t mp = mapPages_[k];
        if (mp == 0) continue;
        auto page = file_->page(mp);
        if ((*page)[0] != page_type::UsageMap) {
            file_->corrupt(mp, "should be a usage map page (type 5) but has type " + std::to_string((*page)[0]));
        }
        const uint64_t first = k * perPage;
        uint64_t i = from > first ? from - first : 0;
        for (; i < perPage; ++i) {
            const uint64_t p = first + i;
            if (p >= count) return std::nullopt;
            const uint8_t byte = (*page)[dataOffset + (i >> 3)];
            if ((i & 7) == 0 && byte == 0) {
                i += 7;
                continue;
            }
            if (byte & (1u << (i & 7))) return static_cast<uint32_t>(p);
        }
    }
    return std::nullopt;
}

bool UsageMap::contains(uint32_t page) {
    auto n = next(page);
    return n && *n == page;
}

std::vector<uint32_t> UsageMap::pages() {
    std::vector<uint32_t> out;
    uint32_t from = 0;
    while (auto p = next(from)) {
        out.push_back(*p);
        from = *p + 1;
    }
    return out;
}

} // namespace jet::detail
