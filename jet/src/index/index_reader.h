// Reading index B-trees: node and leaf pages, prefix compression, key-order walk, seek.
// Keys are returned as raw bytes; turning values into keys is index_keys' job.
#pragma once

#include "jet/cursor.h"
#include "file/page_file.h"

#include <cstdint>
#include <span>
#include <vector>

namespace jet::detail {

class DatabaseImpl;

// One entry of an index page, with the page's prefix put back.
struct IndexPageEntry {
    std::vector<uint8_t> key;
    RowId row;
    uint32_t child = 0; // node pages: the page below
};

struct IndexPage {
    uint8_t type = 0; // 0x03 node, 0x04 leaf
    uint32_t prev = 0, next = 0, tail = 0;
    std::vector<IndexPageEntry> entries;
};

// Parses the bytes of index page `pageNo` of a table whose definition starts at `owner` (0:
// any table); the bytes come from the file or from the writer's cache of changed pages.
// Damage is reported as `file`'s FormatError naming the page.
IndexPage parseIndexPage(const PageFile& file, uint32_t pageNo, std::span<const uint8_t> bytes, uint32_t owner);

// Reads and parses index page `pageNo` of the file.
IndexPage readIndexPage(DatabaseImpl& db, uint32_t pageNo, uint32_t owner);

// Walks the leaves of an index from the first entry whose key is >= `from` (all when empty).
class IndexWalker {
public:
    IndexWalker(DatabaseImpl& db, uint32_t rootPage, uint32_t owner, std::span<const uint8_t> from);
    bool next(IndexEntry& out);

private:
    DatabaseImpl* db_;
    uint32_t owner_;
    IndexPage leaf_;
    uint32_t leafPage_ = 0;
    size_t at_ = 0;
    uint32_t visited_ = 0;
    bool done_ = false;
};

} // namespace jet::detail
