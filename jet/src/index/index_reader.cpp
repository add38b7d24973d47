// Index B-tree pages (see index_reader.h).
#include "index/index_reader.h"

#include "file/bytes.h"
#include "database/database_impl.h"

#include <algorithm>

namespace jet::detail {

// Index page (0x03 node, 0x04 leaf).
//
// OFFSET (J3/J4)  SIZE      MEANING
// 0               1         page type
// 1               1         0x01
// 2               2         free space
// 4               4         owner: first page of the table definition
// - / 8           4         unknown
// 8 / 12          4         previous page on the same level (0: none)
// 12 / 16         4         next page on the same level (0: none)
// 16 / 20         4         tail page (nodes: the last child page; 0: none)
// 20 / 24         1 / 2     prefix length: bytes every entry after the first shares with
//                           the first entry's start and leaves out
// 21 / 26         1         unknown (0x01 on many node pages)
// 22 / 27         226/453   entry mask: bit k (low bit first) set = an entry ends k bytes
//                           after the start of the entries
// 248 / 480       ...       entries
//
// Entry: key bytes; row pointer as 3-byte big-endian page and 1-byte slot; on node pages
// then the 4-byte big-endian page below (whose last entry this entry is).
//
// A node page lists its children but the last: that one is its tail page, and its entry
// (the last entry below it) is not on the node page. A node with one child lists it and has
// no tail page. Leaves have no tail page.
IndexPage parseIndexPage(const PageFile& file, uint32_t pageNo, std::span<const uint8_t> p, uint32_t owner) {
    const auto& f = file.format();
    if (p.size() != f.pageSize) file.corrupt(pageNo, "is shorter than a page");
    IndexPage out;
    out.type = p[0];
    if (out.type != page_type::IndexNode && out.type != page_type::IndexLeaf) {
        file.corrupt(pageNo, "is not an index page (type " + std::to_string(out.type) + ")");
    }
    if (owner != 0 && u32(p, 4) != owner) file.corrupt(pageNo, "is an index page of another table");
    out.prev = u32(p, f.indexPrevPageOffset);
    out.next = u32(p, f.indexNextPageOffset);
    out.tail = u32(p, f.indexTailPageOffset);
    const uint16_t prefixLen =
        f.indexPrefixLengthSize == 1 ? p[f.indexPrefixLengthOffset] : u16(p, f.indexPrefixLengthOffset);
    const size_t base = f.indexEntriesOffset();
    const size_t tailSize = out.type == page_type::IndexNode ? 8 : 4;
    std::vector<uint8_t> prefix;
    size_t last = 0;
    for (size_t i = 0; i < f.indexEntryMaskSize; ++i) {
        const uint8_t m = p[f.indexEntryMaskOffset + i];
        if (m == 0) continue;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(m & (1u << bit))) continue;
            const size_t end = i * 8 + static_cast<size_t>(bit);
            if (end <= last || base + end > f.pageSize) {
                file.corrupt(pageNo, "has an index entry mask that points outside the page");
            }
            std::span<const uint8_t> raw(p.data() + base + last, end - last);
            IndexPageEntry e;
            if (!out.entries.empty()) e.key = prefix;
            e.key.insert(e.key.end(), raw.begin(), raw.end());
            if (out.entries.empty()) {
                if (prefixLen > raw.size()) file.corrupt(pageNo, "has an index prefix longer than its first entry");
                prefix.assign(raw.begin(), raw.begin() + prefixLen);
            }
            if (e.key.size() < tailSize) file.corrupt(pageNo, "has an index entry too short for its row pointer");
            const size_t k = e.key.size() - tailSize;
            e.row = RowId{u24be(e.key, k), e.key[k + 3]};
            if (tailSize == 8) e.child = u32be(e.key, k + 4);
            e.key.resize(k);
            out.entries.push_back(std::move(e));
            last = end;
        }
    }
    return out;
}

IndexPage readIndexPage(DatabaseImpl& db, uint32_t pageNo, uint32_t owner) {
    auto pageRef = db.file().page(pageNo);
    return parseIndexPage(db.file(), pageNo, *pageRef, owner);
}

IndexWalker::IndexWalker(DatabaseImpl& db, uint32_t rootPage, uint32_t owner, std::span<const uint8_t> from)
    : db_(&db), owner_(owner) {
    const uint32_t limit = db.file().readablePageCount();
    uint32_t pageNo = rootPage;
    for (uint32_t depth = 0;; ++depth) {
        if (depth > limit) db.file().corrupt(rootPage, "starts an index tree that loops");
        IndexPage page = readIndexPage(db, pageNo, owner);
        ++visited_;
        if (page.type == page_type::IndexLeaf) {
            leaf_ = std::move(page);
            leafPage_ = pageNo;
            break;
        }
        if (page.entries.empty()) {
            if (page.tail == 0) {
                done_ = true;
                return;
            }
            pageNo = page.tail;
            continue;
        }
        // The first entry whose key is >= `from`; its subtree holds the first match.
        auto it = std::find_if(page.entries.begin(), page.entries.end(), [&](const IndexPageEntry& e) {
            return !std::lexicographical_compare(e.key.begin(), e.key.end(), from.begin(), from.end());
        });
        if (it == page.entries.end()) pageNo = page.tail != 0 ? page.tail : page.entries.back().child;
        else pageNo = it->child;
    }
    // Position on the first entry >= from.
    while (true) {
        while (at_ < leaf_.entries.size() &&
               std::lexicographical_compare(leaf_.entries[at_].key.begin(), leaf_.entries[at_].key.end(), from.begin(),
                                            from.end())) {
            ++at_;
        }
        if (at_ < leaf_.entries.size() || leaf_.next == 0) break;
        if (++visited_ > limit) db.file().corrupt(leafPage_, "links index pages in a loop");
        leafPage_ = leaf_.next;
        leaf_ = readIndexPage(db, leafPage_, owner);
        at_ = 0;
    }
}

bool IndexWalker::next(IndexEntry& out) {
    const uint32_t limit = db_->file().readablePageCount();
    while (!done_) {
        if (at_ < leaf_.entries.size()) {
            auto& e = leaf_.entries[at_++];
            out.key = e.key;
            out.row = e.row;
            return true;
        }
        if (leaf_.next == 0) break;
        if (++visited_ > limit) db_->file().corrupt(leafPage_, "links index pages in a loop");
        leafPage_ = leaf_.next;
        leaf_ = readIndexPage(*db_, leafPage_, owner_);
        if (leaf_.type != page_type::IndexLeaf)
            db_->file().corrupt(leafPage_, "is a node page where a leaf page should follow");
        at_ = 0;
    }
    done_ = true;
    return false;
}

} // namespace jet::detail
