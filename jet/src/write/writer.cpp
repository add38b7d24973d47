// The writer: DatabaseWriter and TableWriter (see jet/writer.h).
//
// Pages are changed in a write-back cache and written in a fixed order when the cache is
// flushed: first the pages appended to the file (in file order), then the existing pages that
// changed, the table definitions last. A flush happens at flush(), when the writer closes,
// before reads that go through the reader, and when the cache grows past its limit.
#include "jet/writer.h"

#include "file/bytes.h"
#include "write/database_creator.h"
#include "database/database_impl.h"
#include "index/index_reader.h"
#include "lval/long_value.h"
#include "write/page_builders.h"
#include "write/page_store.h"
#include "catalog/properties.h"
#include "table/row_codec.h"
#include "table/row_encoder.h"
#include "table/row_locator.h"
#include "index/row_keys.h"
#include "table/table_def_reader.h"
#include "table/table_def_writer.h"
#include "map/usage_map.h"
#include "write/referential_rules.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sys/file.h>
#include <type_traits>
#include <unistd.h>

namespace jet {
namespace detail {

void (*pageWriteHook)() = nullptr;
void (*journalStepHook)() = nullptr;

namespace {

constexpr size_t kFlushLimitPages = 8192;  // dirty pages kept before a flush (32 MB)
constexpr size_t kInlineLongValueMax = 64; // Memo/OLE bytes kept in the row itself

} // namespace

// ---- Index B-trees -----------------------------------------------------------------------

// An index page held in memory. A node page keeps one entry per child, its tail page (the
// last child, whose entry Access leaves off the page) included; writeBack puts the page
// back in Access's form.
struct TreePage {
    bool leaf = true;
    uint32_t prev = 0, next = 0;
    std::vector<IndexPageEntry> entries;
    size_t fullBytes = 0; // sum of the entries' sizes without prefix sharing
    bool dirty = false;
};

// Entries sort by key bytes, then by row: the order of their bytes on the page.
bool entryLess(const IndexPageEntry& a, const std::vector<uint8_t>& key, RowId row) {
    const int c = std::memcmp(a.key.data(), key.data(), std::min(a.key.size(), key.size()));
    if (c != 0) return c < 0;
    if (a.key.size() != key.size()) return a.key.size() < key.size();
    return a.row < row;
}

// One physical index of a table: its pages parsed on demand, changed in memory and written
// back to the page cache by writeBack. Every node entry holds the last entry below its child,
// the leaves form one chain, and a page that loses its last entry leaves the tree.
class IndexTree {
public:
    // `release` takes a page the tree no longer uses; `name` says which index this is in
    // error messages.
    IndexTree(DatabaseImpl& db, PageStore& store, uint32_t tdefPage, uint32_t root, MapState* owned,
              std::function<void(uint32_t)> release, std::string name)
        : db_(db), store_(store), f_(db.format()), tdef_(tdefPage), root_(root), owned_(owned),
          release_(std::move(release)), name_(std::move(name)) {}

    // Keeps memory flat: drops parsed pages that have not changed. Called only between
    // operations, never while references into pages_ are held.
    void trim() {
        if (pages_.size() <= 2 * dirty_.size() + 256) return;
        syncFastPath();
        fast_.valid = false;
        for (auto it = pages_.begin(); it != pages_.end();) {
            if (!dirty_.count(it->first)) it = pages_.erase(it);
            else ++it;
        }
    }

    // True when an entry with exactly these key bytes exists.
    bool containsKey(const std::vector<uint8_t>& key) {
        if (fast_.valid) {
            // Appending past the last key (the common case of rising keys): one comparison.
            const TreePage& leaf = pages_.at(fast_.leaf);
            if (!leaf.entries.empty()) {
                const auto& last = leaf.entries.back().key;
                if (last < key) return false;
                if (last == key) return true;
            }
        }
        syncFastPath();
        trim();
        Path path;
        const uint32_t p = descend(key, RowId{}, path);
        const TreePage* t = &page(p);
        auto it = std::lower_bound(t->entries.begin(), t->entries.end(), key,
                                   [](const IndexPageEntry& e, const std::vector<uint8_t>& k) { return e.key < k; });
        if (it != t->entries.end()) return it->key == key;
        // Past this leaf's entries: the key can only open the next leaf.
        for (uint32_t guard = 0; t->next != 0 && guard < 64; ++guard) {
            t = &page(t->next);
            if (!t->entries.empty()) return t->entries.front().key == key;
        }
        return false;
    }

    // Throws the file's FormatError when the entry of `row` under `key` is not in the index
    // (the index does not match the table, so changing the row would damage it further).
    void requireEntry(const std::vector<uint8_t>& key, RowId row) {
        syncFastPath();
        trim();
        Path path;
        const uint32_t p = descend(key, row, path);
        find(p, key, row);
    }

    // Inserts; returns false when the entry was already there.
    bool insert(IndexPageEntry e) {
        if (fast_.valid) {
            TreePage& leaf = pages_.at(fast_.leaf);
            if (!leaf.entries.empty() && entryLess(leaf.entries.back(), e.key, e.row)) {
                leaf.fullBytes += entrySize(e, true);
                leaf.entries.push_back(std::move(e));
                markDirty(fast_.leaf, leaf);
                fast_.parentsStale = true;
                if (size(leaf) > capacity()) {
                    syncFastPath();
                    fast_.valid = false;
                    split(fast_.path, fast_.leaf, true);
                }
                return true;
            }
        }
        syncFastPath();
        fast_.valid = false;
        trim();
        Path path;
        const uint32_t p = descend(e.key, e.row, path);
        TreePage& leaf = page(p);
        auto it = std::lower_bound(
            leaf.entries.begin(), leaf.entries.end(), e,
            [](const IndexPageEntry& a, const IndexPageEntry& b) { return entryLess(a, b.key, b.row); });
        if (it != leaf.entries.end() && it->key == e.key && it->row == e.row) return false;
        const bool atEnd = it == leaf.entries.end();
        leaf.fullBytes += entrySize(e, true);
        leaf.entries.insert(it, std::move(e));
        markDirty(p, leaf);
        fixUp(path, p);
        if (size(leaf) > capacity()) {
            split(path, p, atEnd);
            return true;
        }
        if (settle(path)) return true;
        // Remember the way to the rightmost leaf for the appends that usually follow.
        bool rightmost = leaf.next == 0;
        for (const auto& [node, idx] : path)
            if (idx + 1 != pages_.at(node).entries.size()) rightmost = false;
        if (rightmost) {
            fast_.valid = true;
            fast_.path = path;
            fast_.leaf = p;
            fast_.parentsStale = false;
        }
        return true;
    }

    // Removes the entry; a missing one is reported as damage (see requireEntry).
    void remove(const std::vector<uint8_t>& key, RowId row) {
        syncFastPath();
        fast_.valid = false;
        trim();
        Path path;
        const uint32_t p = descend(key, row, path);
        TreePage& leaf = page(p);
        const auto it = find(p, key, row);
        leaf.fullBytes -= entrySize(*it, true);
        leaf.entries.erase(it);
        markDirty(p, leaf);
        if (leaf.entries.empty() && p != root_) dropPage(path, p);
        else fixUp(path, p);
    }

    void writeBack() {
        syncFastPath();
        for (uint32_t p : dirty_) {
            TreePage& t = pages_.at(p);
            // A node with several children names the last one as its tail page only.
            std::span<const IndexPageEntry> onPage = t.entries;
            uint32_t tail = 0;
            if (!t.leaf && t.entries.size() > 1) {
                tail = t.entries.back().child;
                onPage = onPage.first(t.entries.size() - 1);
            }
            store_.put(p, buildIndexPage(f_, t.leaf, tdef_, t.prev, t.next, tail, onPage));
            t.dirty = false;
        }
        dirty_.clear();
    }

private:
    using Path = std::vector<std::pair<uint32_t, size_t>>; // node pages and the child taken

    struct FastPath {
        bool valid = false;
        Path path; // nodes down to the rightmost leaf
        uint32_t leaf = 0;
        bool parentsStale = false; // the nodes' last entries still name an older last key
    };

    // The leaf where the entry (key, row) is or belongs: below the first node entry not
    // less than it, or below the last child when every entry is less.
    uint32_t descend(const std::vector<uint8_t>& key, RowId row, Path& path) {
        uint32_t p = root_;
        for (int depth = 0;; ++depth) {
            if (depth > 32) db_.file().corrupt(root_, "starts an index tree deeper than Access makes (" + name_ + ")");
            TreePage& t = page(p);
            if (t.leaf) return p;
            auto it = std::lower_bound(
                t.entries.begin(), t.entries.end(), key,
                [&](const IndexPageEntry& a, const std::vector<uint8_t>& k) { return entryLess(a, k, row); });
            size_t i = static_cast<size_t>(it - t.entries.begin());
            if (i == t.entries.size()) i = t.entries.size() - 1;
            path.emplace_back(p, i);
            p = t.entries[i].child;
        }
    }

    std::vector<IndexPageEntry>::iterator find(uint32_t leafNo, const std::vector<uint8_t>& key, RowId row) {
        TreePage& leaf = page(leafNo);
        auto it = std::lower_bound(
            leaf.entries.begin(), leaf.entries.end(), key,
            [&](const IndexPageEntry& a, const std::vector<uint8_t>& k) { return entryLess(a, k, row); });
        if (it == leaf.entries.end() || it->key != key || !(it->row == row)) {
            db_.file().corrupt(leafNo, "lacks the entry of row " + std::to_string(row.page) + ":" +
                                           std::to_string(row.slot) + " in " + name_ +
                                           " (the index does not match the table's rows; nothing was changed)");
        }
        return it;
    }

    void markDirty(uint32_t p, TreePage& t) {
        if (t.dirty) return;
        t.dirty = true;
        dirty_.insert(p);
    }

    void syncFastPath() {
        if (fast_.valid && fast_.parentsStale) {
            fixUp(fast_.path, fast_.leaf);
            fast_.parentsStale = false;
        }
    }

    size_t capacity() const { return indexPageCapacity(f_); }
    static size_t entrySize(const IndexPageEntry& e, bool leaf) { return e.key.size() + 4 + (leaf ? 0 : 4); }
    static size_t size(const TreePage& t) {
        if (t.entries.size() < 2) return t.fullBytes;
        const auto& a = t.entries.front().key;
        const auto& b = t.entries.back().key;
        size_t lcp = 0;
        const size_t n = std::min(a.size(), b.size());
        while (lcp < n && a[lcp] == b[lcp]) ++lcp;
        return t.fullBytes - lcp * (t.entries.size() - 1);
    }

    // The parsed page; a node's tail page is parsed with it, for its entry.
    TreePage& page(uint32_t p) {
        if (auto it = pages_.find(p); it != pages_.end()) return it->second;
        if (loading_ > 32) db_.file().corrupt(p, "is part of a loop of index pages (" + name_ + ")");
        // Pages changed in this session are read from the store.
        IndexPage ip = parseIndexPage(db_.file(), p, store_.read(p), tdef_);
        TreePage t;
        t.leaf = ip.type == page_type::IndexLeaf;
        t.prev = ip.prev;
        t.next = ip.next;
        t.entries = std::move(ip.entries);
        if (!t.leaf && ip.tail != 0) {
            ++loading_;
            const TreePage& tail = page(ip.tail);
            --loading_;
            if (tail.entries.empty())
                db_.file().corrupt(ip.tail, "is an empty index page below node page " + std::to_string(p));
            t.entries.push_back(IndexPageEntry{tail.entries.back().key, tail.entries.back().row, ip.tail});
        }
        if (!t.leaf && t.entries.empty()) db_.file().corrupt(p, "is an index node page without child pages");
        for (const auto& e : t.entries) t.fullBytes += entrySize(e, t.leaf);
        return pages_.emplace(p, std::move(t)).first->second;
    }

    // After page p changed, its parents' entries for it must hold its last entry.
    void fixUp(const Path& path, uint32_t p) {
        uint32_t child = p;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            TreePage& parent = page(it->first);
            TreePage& c = page(child);
            if (c.entries.empty()) return;
            IndexPageEntry& pe = parent.entries[it->second];
            const IndexPageEntry& last = c.entries.back();
            if (pe.key == last.key && pe.row == last.row) return;
            parent.fullBytes -= entrySize(pe, false);
            pe.key = last.key;
            pe.row = last.row;
            parent.fullBytes += entrySize(pe, false);
            markDirty(it->first, parent);
            child = it->first;
        }
    }

    // Splits the lowest node of `path` that a longer entry made too big; true when one was.
    bool settle(Path path) {
        while (!path.empty()) {
            const uint32_t node = path.back().first;
            path.pop_back();
            if (size(page(node)) > capacity()) {
                split(path, node, false);
                return true;
            }
        }
        return false;
    }

    // Page p lost its last entry: it leaves its level's chain and its parent, and goes back
    // to the file's free pages. A parent left without children goes the same way; the root
    // stays, as an empty leaf.
    void dropPage(Path path, uint32_t p) {
        const uint32_t prev = page(p).prev, next = page(p).next;
        if (prev != 0) {
            TreePage& t = page(prev);
            t.next = next;
            markDirty(prev, t);
        }
        if (next != 0) {
            TreePage& t = page(next);
            t.prev = prev;
            markDirty(next, t);
        }
        pages_.erase(p);
        dirty_.erase(p);
        if (owned_) {
            owned_->pages.erase(p);
            owned_->dirty = true;
        }
        release_(p);
        const auto [parentNo, idx] = path.back();
        path.pop_back();
        TreePage& parent = page(parentNo);
        parent.fullBytes -= entrySize(parent.entries[idx], false);
        parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(idx));
        markDirty(parentNo, parent);
        if (!parent.entries.empty()) {
            fixUp(path, parentNo);
        } else if (parentNo == root_) {
            parent.leaf = true;
            parent.prev = parent.next = 0;
            parent.fullBytes = 0;
        } else {
            dropPage(std::move(path), parentNo);
        }
    }

    uint32_t newPage() {
        const uint32_t n = store_.append(std::vector<uint8_t>(f_.pageSize, 0));
        if (owned_) {
            owned_->pages.insert(n);
            owned_->dirty = true;
        }
        return n;
    }

    IndexPageEntry nodeEntryFor(uint32_t child) {
        const TreePage& c = page(child);
        IndexPageEntry e = c.entries.back();
        e.child = child;
        return e;
    }

    // Node pages link only to pages of the same parent (the leaves alone form one chain):
    // once `left` and `right` have different parents, their last and first children part.
    void separateChildren(uint32_t left, uint32_t right) {
        const TreePage& l = page(left);
        if (l.leaf) return;
        const uint32_t a = l.entries.back().child;
        const uint32_t b = page(right).entries.front().child;
        TreePage& ca = page(a);
        if (ca.leaf) return;
        ca.next = 0;
        markDirty(a, ca);
        TreePage& cb = page(b);
        cb.prev = 0;
        markDirty(b, cb);
    }

    void split(Path path, uint32_t p, bool appending) {
        TreePage& t = page(p);
        const size_t n = t.entries.size();
        size_t mid = appending ? n - 1 : n / 2;
        if (mid == 0) mid = 1;
        if (p == root_) {
            // The root keeps its page number: its entries move to two new pages below it.
            const uint32_t left = newPage();
            const uint32_t right = newPage();
            TreePage l, r;
            l.leaf = r.leaf = t.leaf;
            l.entries.assign(std::make_move_iterator(t.entries.begin()),
                             std::make_move_iterator(t.entries.begin() + static_cast<std::ptrdiff_t>(mid)));
            r.entries.assign(std::make_move_iterator(t.entries.begin() + static_cast<std::ptrdiff_t>(mid)),
                             std::make_move_iterator(t.entries.end()));
            for (const auto& e : l.entries) l.fullBytes += entrySize(e, l.leaf);
            for (const auto& e : r.entries) r.fullBytes += entrySize(e, r.leaf);
            l.next = right;
            r.prev = left;
            l.dirty = r.dirty = true;
            pages_[left] = std::move(l);
            pages_[right] = std::move(r);
            dirty_.insert(left);
            dirty_.insert(right);
            TreePage& root = pages_[root_];
            root.leaf = false;
            root.prev = root.next = 0;
            root.entries = {nodeEntryFor(left), nodeEntryFor(right)};
            root.fullBytes = 0;
            for (const auto& e : root.entries) root.fullBytes += entrySize(e, false);
            markDirty(root_, root);
            separateChildren(left, right);
            return;
        }
        // Split off the front part into a new page to the left of p.
        const uint32_t left = newPage();
        TreePage l;
        l.leaf = t.leaf;
        l.entries.assign(std::make_move_iterator(t.entries.begin()),
                         std::make_move_iterator(t.entries.begin() + static_cast<std::ptrdiff_t>(mid)));
        for (const auto& e : l.entries) l.fullBytes += entrySize(e, l.leaf);
        t.entries.erase(t.entries.begin(), t.entries.begin() + static_cast<std::ptrdiff_t>(mid));
        t.fullBytes = 0;
        for (const auto& e : t.entries) t.fullBytes += entrySize(e, t.leaf);
        l.prev = t.prev;
        l.next = p;
        t.prev = left;
        markDirty(p, t);
        if (l.prev != 0) {
            TreePage& before = page(l.prev);
            before.next = left;
            markDirty(l.prev, before);
        }
        l.dirty = true;
        pages_[left] = std::move(l);
        dirty_.insert(left);
        separateChildren(left, p);
        // The parent gets an entry for the new page just before the one for p.
        const auto [parentNo, idx] = path.back();
        path.pop_back();
        TreePage& parent = page(parentNo);
        IndexPageEntry ne = nodeEntryFor(left);
        parent.fullBytes += entrySize(ne, false);
        parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(idx), std::move(ne));
        markDirty(parentNo, parent);
        if (size(parent) > capacity()) split(std::move(path), parentNo, appending);
        else settle(std::move(path));
    }

    DatabaseImpl& db_;
    PageStore& store_;
    const Format& f_;
    uint32_t tdef_;
    uint32_t root_;
    MapState* owned_;
    std::function<void(uint32_t)> release_;
    std::string name_;
    std::map<uint32_t, TreePage> pages_;
    std::set<uint32_t> dirty_;
    FastPath fast_;
    int loading_ = 0;
};

// ---- Per-table write state ---------------------------------------------------------------

struct LongValueColumn {
    uint16_t number = 0;
    MapState used, free;
    uint32_t currentPage = 0; // LVAL page taking small values
};

struct TableState {
    std::shared_ptr<TableDef> def; // our copy, kept current
    TableDefExtras extras;
    std::vector<uint32_t> tdefPages; // the definition's pages
    MapState used, free;
    std::vector<MapState> indexMaps;               // by physical index number
    std::vector<std::unique_ptr<IndexTree>> trees; // by physical index number
    std::vector<const IndexDef*> physical;         // a logical index per physical index
    std::vector<LongValueColumn> longValues;
    uint32_t insertPage = 0; // data page taking new rows
    bool dirty = false;
    // Per-insert working storage, kept between inserts to spare allocations.
    struct InsertScratch {
        std::vector<std::vector<uint8_t>> keys;
        std::vector<uint8_t> skip, exists; // by physical index: 0 or 1
    } scratch;
};

// ---- The writer --------------------------------------------------------------------------

class WriterImpl : public RuleTarget {
public:
    WriterImpl(const std::filesystem::path& path, const OpenOptions& options)
        : db_(openWritable(path, options)), impl_(db_.impl()), file_(impl_.file()), f_(file_.format()), store_(file_) {
        if (f_.isJet3()) {
            throw UnsupportedError(file_.fileName(), std::nullopt,
                                   file_.fileName() +
                                       " is an Access 97 database; writing Access 97 files is not supported yet. "
                                       "Convert it to Access 2000 format in Access, or create a new file.");
        }
        lockFd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            if (lockFd_ >= 0) ::close(lockFd_);
            lockFd_ = -1;
            throw InUseError(file_.fileName(), std::nullopt,
                             file_.fileName() + " is in use: another program is writing to it (" + std::strerror(e) +
                                 "). Close the other program and try again.");
        }
        // A flush cut short by a kill is undone now, for good (the pages read so far already
        // came from the journal, so nothing read before is stale).
        file_.applyJournal();
        // The global map of free pages (page 1, row 0): pages past the end of the file are
        // listed too; allocation takes pages out of it.
        globalFree_.row = (1u << 8) | 0u;
        globalFree_.inlineOnly = true;
        auto page1 = file_.page(1);
        if ((*page1)[0] == page_type::Data && dataPageSlotCount(f_, *page1) > 0) {
            // Read the bits directly: the reader's map stops at the end of the file, but the
            // bits for pages past it must be cleared as the file grows.
            const auto row = dataPageRowBytes(f_, *page1, 0);
            if (row.size() > 5 && row[0] == 0x00) {
                globalFree_.inlineStart = u32(row, 1);
                globalFree_.inlineBytes = row.size() - 5;
                for (size_t i = 0; i < globalFree_.inlineBytes; ++i)
                    for (int bit = 0; bit < 8; ++bit)
                        if (row[5 + i] & (1u << bit))
                            globalFree_.pages.insert(globalFree_.inlineStart + static_cast<uint32_t>(i * 8 + bit));
                store_.setGlobalFreeMap(&globalFree_);
            } else {
                // A form we do not write back: pages are taken from the end and none is listed.
                globalFree_.row = 0;
            }
        } else {
            globalFree_.row = 0;
        }
    }
    ~WriterImpl() {
        // A savepoint still open here belongs to a change that did not finish: it is undone,
        // never written. What is left goes to the disk; a failure can no longer be thrown
        // from here, so it is said on stderr (call flush() first to get it as an exception).
        while (store_.inSavepoint() && broken_.empty()) rollbackQuietly();
        if (broken_.empty()) {
            try {
                flush();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "tablor: the last changes to %s were not saved: %s\n", file_.fileName().c_str(),
                             e.what());
            }
        }
        if (lockFd_ >= 0) ::close(lockFd_);
    }

    Database& database() {
        flush();
        return db_;
    }

    // Writes every change to the disk. Inside a savepoint nothing reaches the disk: the
    // tables' counters, maps and index pages only go to the cache, where reads find them.
    void flush() {
        refuseIfBroken();
        std::set<uint32_t> last;
        for (auto& [page, t] : tables_) {
            writeTable(*t);
            last.insert(t->tdefPages.begin(), t->tdefPages.end());
        }
        writeMap(f_, store_, globalFree_);
        if (store_.inSavepoint()) {
            impl_.forgetCachedDefinitions();
            return;
        }
        if (store_.dirtyCount() == 0) return;
        store_.flush(last);
        impl_.forgetCachedDefinitions();
    }

    bool inSavepoint() const { return store_.inSavepoint(); }
    size_t savepointDepth() const { return saved_.size(); }

    // A savepoint covers the page cache and what the writer holds beside it. The tables'
    // state goes to the cache first, so that after a rollback it is read back from the pages
    // exactly; what the pages do not hold is kept as a copy: the map of free pages (its
    // inline row cannot list them all) and the pages taking the next rows and long values.
    void openSavepoint() {
        refuseIfBroken();
        Saved saved;
        for (auto& [page, t] : tables_) {
            writeTable(*t);
            auto& places = saved.places[page];
            places.push_back(t->insertPage);
            for (const auto& lv : t->longValues) places.push_back(lv.currentPage);
        }
        writeMap(f_, store_, globalFree_);
        saved.globalFree = globalFree_;
        store_.openSavepoint();
        saved_.push_back(std::move(saved));
    }
    void releaseSavepoint() {
        store_.releaseSavepoint();
        saved_.pop_back();
    }
    // A rollback that fails (the pages cannot be read back) leaves the writer refusing further
    // work rather than writing a state it cannot vouch for.
    void rollbackSavepoint() {
        store_.rollbackSavepoint();
        Saved saved = std::move(saved_.back());
        saved_.pop_back();
        globalFree_ = std::move(saved.globalFree);
        impl_.forgetCachedDefinitions();
        try {
            // Each table's state is read again from the restored pages, in place: TableWriters
            // and callers holding a definition keep them.
            for (auto& [page, t] : tables_) {
                auto fresh = loadState(page, t->def->name, t->def);
                *t = std::move(*fresh);
                auto places = saved.places.find(page);
                if (places == saved.places.end() || places->second.size() != 1 + t->longValues.size()) continue;
                t->insertPage = places->second[0];
                for (size_t i = 0; i < t->longValues.size(); ++i) t->longValues[i].currentPage = places->second[i + 1];
            }
        } catch (const std::exception& e) {
            broken_ = "undoing a failed change did not succeed (" + std::string(e.what()) + ")";
            throw;
        }
    }
    // For unwinding, where a second exception has no place.
    void rollbackQuietly() noexcept {
        try {
            rollbackSavepoint();
        } catch (...) {
            if (broken_.empty()) broken_ = "undoing a failed change did not succeed";
        }
    }

    // Runs one row change as a step of its own: when it throws, nothing of it stays.
    template <class Change>
    auto atomically(Change&& change) {
        openSavepoint();
        try {
            if constexpr (std::is_void_v<decltype(change())>) {
                change();
                releaseSavepoint();
                flushIfLarge();
            } else {
                auto result = change();
                releaseSavepoint();
                flushIfLarge();
                return result;
            }
        } catch (...) {
            rollbackQuietly();
            throw;
        }
    }

    TableState& table(std::string_view name) {
        flushIfLarge();
        auto def = impl_.tableByName(name);
        return state(def->definitionPage, def->name);
    }

    TableState& state(uint32_t tdefPage, const std::string& name) {
        if (auto it = tables_.find(tdefPage); it != tables_.end()) return *it->second;
        flush();
        return *tables_.emplace(tdefPage, loadState(tdefPage, name, nullptr)).first->second;
    }

    // A table's write state read from its pages; `into` (when given) is the definition object
    // to fill, so that references to it stay good.
    std::unique_ptr<TableState> loadState(uint32_t tdefPage, const std::string& name, std::shared_ptr<TableDef> into) {
        auto t = std::make_unique<TableState>();
        t->def = readTableDef(impl_, tdefPage, name);
        if (into) {
            *into = std::move(*t->def);
            t->def = std::move(into);
        }
        if (tdefPage != kMSysObjectsPage) {
            // NOT NULL comes from the catalog row's properties, which the reader adds.
            const auto withProps = impl_.tableDef(tdefPage, name);
            for (size_t i = 0; i < t->def->columns.size() && i < withProps->columns.size(); ++i)
                t->def->columns[i].required = withProps->columns[i].required;
        }
        t->tdefPages = {tdefPage};
        {
            const auto bytes = readTableDefBytes(impl_, tdefPage);
            uint32_t next = u32(*file_.page(tdefPage), 4);
            for (int guard = 0; next != 0 && guard < 1000; ++guard) {
                t->tdefPages.push_back(next);
                next = u32(*file_.page(next), 4);
            }
            parseExtras(*t, bytes);
        }
        t->used.row = t->def->usageMap;
        t->free.row = t->def->freeSpaceMap;
        loadMap(file_, store_, t->used);
        loadMap(file_, store_, t->free);
        const uint32_t nPhysical = t->def->physicalIndexCount;
        t->indexMaps.resize(nPhysical);
        t->physical.assign(nPhysical, nullptr);
        t->trees.resize(nPhysical);
        for (const IndexDef& idx : t->def->indexes) {
            if (idx.physicalNumber >= nPhysical) continue;
            if (!t->physical[idx.physicalNumber] || idx.isPrimaryKey()) t->physical[idx.physicalNumber] = &idx;
        }
        for (uint32_t i = 0; i < nPhysical; ++i) {
            if (!t->physical[i]) continue;
            t->indexMaps[i].row = t->physical[i]->usageMap;
            loadMap(file_, store_, t->indexMaps[i]);
            t->trees[i] = std::make_unique<IndexTree>(
                impl_, store_, tdefPage, t->physical[i]->rootPage, &t->indexMaps[i],
                [this](uint32_t p) { releasePage(p); },
                "index [" + t->physical[i]->name + "] of table [" + t->def->name + "]");
        }
        for (const auto& m : t->extras.longValueMaps) {
            LongValueColumn lv;
            lv.number = m.columnNumber;
            lv.used.row = m.usedPages;
            lv.free.row = m.freePages;
            loadMap(file_, store_, lv.used);
            loadMap(file_, store_, lv.free);
            t->longValues.push_back(std::move(lv));
        }
        if (!t->free.pages.empty()) t->insertPage = *t->free.pages.rbegin();
        return t;
    }

    // Extras the reader does not keep: distinct-key counts and Memo/OLE usage maps.
    void parseExtras(TableState& t, const std::vector<uint8_t>& b) {
        const uint32_t nPhysical = t.def->physicalIndexCount;
        t.extras.physical.resize(nPhysical);
        for (uint32_t i = 0; i < nPhysical; ++i) {
            const size_t at = f_.tdefBlockEnd + i * f_.realIndexEntrySize + 4;
            if (at + 4 <= b.size()) t.extras.physical[i].uniqueEntries = u32(b, at);
        }
        // Walk to the end: columns, names, physical and logical indexes, index names.
        size_t at = f_.tdefBlockEnd + nPhysical * f_.realIndexEntrySize;
        const size_t nCols = u16(b, f_.tdefNumColsOffset);
        const size_t nLogical = u32(b, f_.tdefNumIndexesOffset);
        at += nCols * f_.columnEntrySize;
        for (size_t i = 0; i < nCols && at + 2 <= b.size(); ++i) at += 2 + u16(b, at);
        at += nPhysical * f_.physicalIndexEntrySize + nLogical * f_.logicalIndexEntrySize;
        for (size_t i = 0; i < nLogical && at + 2 <= b.size(); ++i) at += 2 + u16(b, at);
        while (at + 2 <= b.size()) {
            const uint16_t col = u16(b, at);
            if (col == 0xFFFF || at + 10 > b.size()) break;
            t.extras.longValueMaps.push_back({col, u32(b, at + 2), u32(b, at + 6)});
            at += 10;
        }
    }

    void writeTable(TableState& t) {
        for (auto& tree : t.trees)
            if (tree) tree->writeBack();
        writeMap(f_, store_, t.used);
        writeMap(f_, store_, t.free);
        for (auto& m : t.indexMaps) writeMap(f_, store_, m);
        for (auto& lv : t.longValues) {
            writeMap(f_, store_, lv.used);
            writeMap(f_, store_, lv.free);
        }
        if (!t.dirty) return;
        t.dirty = false;
        // Only the counters change: row count, last auto-number, distinct keys per index.
        // They sit on the first definition page; the rest of the definition stays as written.
        auto& page = store_.edit(t.tdefPages.front());
        put32(page, f_.tdefRowCountOffset, t.def->storedRowCount);
        put32(page, f_.tdefAutoNumberOffset, t.def->nextAutoNumber);
        for (size_t i = 0; i < t.extras.physical.size(); ++i) {
            const size_t at = f_.tdefBlockEnd + i * f_.realIndexEntrySize + 4;
            if (at + 4 <= page.size()) put32(page, at, t.extras.physical[i].uniqueEntries);
        }
    }

    // A page nothing refers to any more: blanked, so no reader mistakes it for what it was,
    // and listed as free where the database's map of free pages reaches.
    void releasePage(uint32_t p) {
        store_.put(p, std::vector<uint8_t>(f_.pageSize, 0));
        if (globalFree_.row != 0 && globalFree_.reaches(p)) {
            globalFree_.pages.insert(p);
            globalFree_.dirty = true;
        }
    }

    // Inside a savepoint the cache grows as it must: writing half a step is not an option.
    void flushIfLarge() {
        if (!store_.inSavepoint() && store_.dirtyCount() > kFlushLimitPages) flush();
    }

    uint32_t appendPage(std::vector<uint8_t> content) { return store_.append(std::move(content)); }

    // Places a row on a data page of the table; returns its id.
    RowId placeRow(TableState& t, const std::vector<uint8_t>& row) {
        if (row.size() > maxRowSize(f_))
            throw ConstraintError(file_.fileName(), std::nullopt,
                                  "a row of " + std::to_string(row.size()) + " bytes does not fit a page of table [" +
                                      t.def->name + "] (at most " + std::to_string(maxRowSize(f_)) +
                                      "); store long text as Memo");
        if (t.insertPage != 0) {
            auto& page = store_.edit(t.insertPage);
            if (auto slot = dataPageAddRow(f_, page, row)) return RowId{t.insertPage, *slot};
            // Full: no longer a page with free space.
            t.free.pages.erase(t.insertPage);
            t.free.dirty = true;
        }
        auto page = newDataPage(f_, t.def->definitionPage);
        const auto slot = dataPageAddRow(f_, page, row);
        const uint32_t n = appendPage(std::move(page));
        t.insertPage = n;
        t.used.pages.insert(n);
        t.free.pages.insert(n);
        t.used.dirty = t.free.dirty = true;
        return RowId{n, *slot};
    }

    // Writes a long value to LVAL pages (or inline) and returns the row field.
    std::vector<uint8_t> writeLongValue(TableState& t, const ColumnDef& c, const std::vector<uint8_t>& data,
                                        size_t rowBudget) {
        std::vector<uint8_t> field(long_value::HeaderSize, 0);
        const uint32_t len = static_cast<uint32_t>(data.size());
        if (data.size() > long_value::LengthMask)
            throw ConstraintError(file_.fileName(), std::nullopt,
                                  "a value of column [" + c.name + "] is larger than Access allows (1 GB)");
        if (data.size() <= kInlineLongValueMax && data.size() <= rowBudget) {
            put32(field, 0, len | long_value::Inline);
            field.insert(field.end(), data.begin(), data.end());
            return field;
        }
        if (data.empty()) {
            put32(field, 0, long_value::Inline);
            return field;
        }
        LongValueColumn* lv = nullptr;
        for (auto& l : t.longValues)
            if (l.number == c.number) lv = &l;
        const size_t chunkMax = maxRowSize(f_) - 4;
        auto addLvalRow = [&](const std::vector<uint8_t>& row) -> RowId {
            if (lv && lv->currentPage != 0) {
                auto& page = store_.edit(lv->currentPage);
                if (auto slot = dataPageAddRow(f_, page, row)) return RowId{lv->currentPage, *slot};
            }
            auto page = newDataPage(f_, kLongValueOwner);
            const auto slot = dataPageAddRow(f_, page, row);
            const uint32_t n = appendPage(std::move(page));
            if (lv) {
                lv->currentPage = n;
                lv->used.pages.insert(n);
                lv->used.dirty = true;
            }
            return RowId{n, *slot};
        };
        if (data.size() <= maxRowSize(f_)) {
            const RowId id = addLvalRow(data);
            put32(field, 0, len | long_value::SingleRow);
            put32(field, 4, id.packed());
            return field;
        }
        // A chain, written back to front so each piece knows the next one.
        std::vector<std::pair<size_t, size_t>> pieces;
        for (size_t at = 0; at < data.size(); at += chunkMax)
            pieces.emplace_back(at, std::min(chunkMax, data.size() - at));
        uint32_t next = 0;
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
            std::vector<uint8_t> row(4, 0);
            put32(row, 0, next);
            row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(it->first),
                       data.begin() + static_cast<std::ptrdiff_t>(it->first + it->second));
            next = addLvalRow(row).packed();
        }
        put32(field, 0, len);
        put32(field, 4, next);
        return field;
    }

    // Frees the LVAL rows of a long-value field.
    void freeLongValue(std::span<const uint8_t> field) {
        if (field.size() < long_value::HeaderSize) return;
        const uint32_t head = u32(field, 0);
        if (head & long_value::Inline) return;
        uint32_t pointer = u32(field, 4);
        const bool single = head & long_value::SingleRow;
        for (int guard = 0; pointer != 0 && guard < 1 << 20; ++guard) {
            const RowId id = RowId::fromPacked(pointer);
            auto& page = store_.edit(id.page);
            const auto bytes = dataPageRowBytes(f_, page, id.slot);
            const uint32_t next = (!single && bytes.size() >= 4) ? u32(bytes, 0) : 0;
            // The piece's bytes are given back to the page (the slot stays, empty). A deleted
            // flag is not used here: some readers take a long-value row's end from the slot
            // before it without removing the flag bits.
            if (!bytes.empty()) dataPageReplaceRow(f_, page, id.slot, {}, 0);
            if (single) break;
            pointer = next;
        }
    }

    std::vector<EncodedColumn> encodeRow(TableState& t, std::span<const Value> row) {
        const TableDef& def = *t.def;
        std::vector<EncodedColumn> cols(def.columns.size());
        size_t fixedBytes = 0;
        for (size_t i = 0; i < def.columns.size(); ++i) {
            const ColumnDef& c = def.columns[i];
            if (c.isLongValue()) continue;
            try {
                cols[i] = encodeValue(f_, c, row[i]);
            } catch (const ValueError& e) {
                throw ConstraintError(file_.fileName(), std::nullopt,
                                      std::string(e.what()) + " in table [" + def.name + "]; nothing was written.");
            }
            fixedBytes += cols[i].bytes.size();
        }
        size_t budget = maxRowSize(f_) > fixedBytes + 64 ? maxRowSize(f_) - fixedBytes - 64 : 0;
        for (size_t i = 0; i < def.columns.size(); ++i) {
            const ColumnDef& c = def.columns[i];
            if (!c.isLongValue() || row[i].isNull()) continue;
            std::vector<uint8_t> data;
            if (c.type == ColumnType::Memo) {
                if (row[i].kind() != Value::Kind::Text)
                    throw ConstraintError(file_.fileName(), std::nullopt,
                                          "column [" + c.name + "] (Memo) needs text; convert \"" + row[i].toString() +
                                              "\" first");
                // Access compresses memos of up to 1024 characters only; UTF-8 has at least as
                // many bytes as UTF-16 units, so short byte strings need no count.
                const std::string& text = row[i].asText();
                const size_t chars = text.size() <= 1024 ? text.size() : utf8ToUtf16(text).size();
                data = encodeJet4Text(text, c.isCompressedUnicode() && chars <= 1024, 0);
            } else {
                if (row[i].kind() != Value::Kind::Binary)
                    throw ConstraintError(file_.fileName(), std::nullopt,
                                          "column [" + c.name + "] (OLE) needs binary data");
                data = row[i].asBinary();
            }
            cols[i].present = true;
            cols[i].bytes = writeLongValue(t, c, data, budget);
            budget = budget > cols[i].bytes.size() ? budget - cols[i].bytes.size() : 0;
        }
        return cols;
    }

    DatabaseImpl& impl() { return impl_; }
    PageFile& file() { return file_; }
    const Format& format() const { return f_; }
    PageStore& store() { return store_; }

    std::shared_ptr<const TableDef> createTable(const TableSpec& tableSpec);
    void dropTable(std::string_view name);
    InsertResult insert(TableState& t, std::span<const Value> row, std::optional<RowId> reuse = std::nullopt);
    RowId update(TableState& t, RowId id, std::span<const Value> row);
    void erase(TableState& t, RowId id);
    void removeEntry(TableState& t, size_t index, const std::vector<uint8_t>& key, RowId id);

    // Relationships (referential_rules.h): the rules see every change but those of the
    // cascades they carry out themselves.
    ReferentialRules* rules() {
        if (cascading_ > 0) return nullptr;
        if (!rules_) rules_ = std::make_unique<ReferentialRules>(db_.relationships(), file_.fileName());
        return rules_->empty() ? nullptr : rules_.get();
    }
    const Database& readable(const std::string& table) override {
        const auto def = impl_.tableByName(table);
        if (auto it = tables_.find(def->definitionPage); it != tables_.end()) writeTable(*it->second);
        return db_;
    }
    void prepare(const std::string& table) override { this->table(table); }
    void eraseRow(const std::string& table, RowId id) override {
        Cascading c(cascading_);
        erase(this->table(table), id);
    }
    void updateRow(const std::string& table, RowId id, std::span<const Value> row) override {
        Cascading c(cascading_);
        update(this->table(table), id, row);
    }

private:
    struct Cascading {
        int& depth;
        explicit Cascading(int& d) : depth(d) { ++depth; }
        ~Cascading() { --depth; }
    };

    static Database openWritable(const std::filesystem::path& path, OpenOptions options) {
        std::error_code ec;
        const auto perms = std::filesystem::status(path, ec).permissions();
        // A file without any write permission is read-only for us too, even when the user
        // (root) could write it anyway.
        const auto writeBits = std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                               std::filesystem::perms::others_write;
        if (!ec && std::filesystem::exists(path, ec) && (perms & writeBits) == std::filesystem::perms::none) {
            throw IoError(path.filename().string(), std::nullopt,
                          path.filename().string() +
                              " is read-only; it cannot be opened for writing. Make it writable or work on a copy.");
        }
        options.writable = true;
        try {
            return Database::open(path, options);
        } catch (const IoError& e) {
            if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
                throw IoError(
                    path.filename().string(), std::nullopt,
                    path.filename().string() +
                        " is read-only; it cannot be opened for writing. Make it writable or work on a copy.");
            throw;
        }
    }

    std::vector<Value> readRowValues(TableState& t, RowId id, std::vector<uint8_t>* rawOut, RowId* home);

    // A null in a NOT NULL column refuses the row before anything is written.
    void refuseMissingRequired(const TableState& t, std::span<const Value> row) const {
        for (size_t i = 0; i < t.def->columns.size() && i < row.size(); ++i) {
            const ColumnDef& c = t.def->columns[i];
            if (c.required && row[i].isNull())
                throw ConstraintError(
                    file_.fileName(), std::nullopt,
                    "column [" + c.name + "] of table [" + t.def->name +
                        "] is required (NOT NULL) but the row leaves it empty; give it a value. Nothing was written.");
        }
    }

    void refuseIfBroken() const {
        if (!broken_.empty())
            throw IoError(file_.fileName(), std::nullopt,
                          file_.fileName() + ": " + broken_ +
                              "; nothing more is written through this writer. Close the file and open it again.");
    }

    Database db_;
    DatabaseImpl& impl_;
    PageFile& file_;
    const Format& f_;
    PageStore store_;
    MapState globalFree_;
    struct Saved {
        MapState globalFree;
        std::map<uint32_t, std::vector<uint32_t>> places; // by table: insertPage, then each currentPage
    };
    std::vector<Saved> saved_; // per open savepoint, what it found
    std::string broken_;       // why the writer refuses to go on, when it does
    int lockFd_ = -1;
    std::map<uint32_t, std::unique_ptr<TableState>> tables_;
    std::unique_ptr<ReferentialRules> rules_;
    int cascading_ = 0;
};

// ---- Rows --------------------------------------------------------------------------------

InsertResult WriterImpl::insert(TableState& t, std::span<const Value> values, std::optional<RowId> reuse) {
    TableDef& def = *t.def;
    if (values.size() != def.columns.size())
        throw ConstraintError(file_.fileName(), std::nullopt,
                              "table [" + def.name + "] has " + std::to_string(def.columns.size()) +
                                  " columns but the row has " + std::to_string(values.size()) +
                                  " values; nothing was written.");
    // The caller's values, or a copy with the auto-numbers filled in.
    std::span<const Value> row = values;
    std::vector<Value> filled;
    auto fill = [&](size_t i, Value v) {
        if (filled.empty()) filled.assign(values.begin(), values.end());
        filled[i] = std::move(v);
        row = filled;
    };
    InsertResult result;
    uint32_t newAuto = def.nextAutoNumber;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const ColumnDef& c = def.columns[i];
        if (c.isAutoLong() && row[i].isNull() && !reuse) {
            ++newAuto;
            fill(i, Value::longInt(static_cast<int32_t>(newAuto)));
            result.autoNumber = static_cast<int32_t>(newAuto);
        } else if (c.isAutoGuid() && row[i].isNull() && !reuse) {
            // A new replication ID: a random (version 4) GUID.
            static std::random_device device;
            static std::mt19937_64 rng(device());
            Guid g;
            for (size_t k = 0; k < 16; k += 8) {
                const uint64_t r = rng();
                for (size_t b = 0; b < 8; ++b) g.bytes[k + b] = static_cast<uint8_t>(r >> (8 * b));
            }
            g.bytes[7] = static_cast<uint8_t>((g.bytes[7] & 0x0F) | 0x40); // version 4 (little-endian group)
            g.bytes[8] = static_cast<uint8_t>((g.bytes[8] & 0x3F) | 0x80);
            fill(i, Value::guid(g));
        } else if (c.isAutoLong() && !row[i].isNull() && !reuse) {
            const int64_t v = row[i].kind() == Value::Kind::Text ? 0 : row[i].toInt64();
            if (v > static_cast<int64_t>(newAuto) && v <= INT32_MAX) newAuto = static_cast<uint32_t>(v);
        }
    }
    refuseMissingRequired(t, row);
    // Keys first: a duplicate or a missing primary-key value refuses the row before any write.
    auto& keys = t.scratch.keys;
    auto& skip = t.scratch.skip;
    auto& exists = t.scratch.exists;
    keys.resize(t.physical.size());
    skip.assign(t.physical.size(), 0);
    exists.assign(t.physical.size(), 0);
    for (size_t i = 0; i < t.physical.size(); ++i) {
        const IndexDef* idx = t.physical[i];
        if (!idx) continue;
        const bool allNull = rowKeyAllNull(def, *idx, row);
        if ((idx->isPrimaryKey() || idx->isRequired())) {
            for (const auto& ic : idx->columns) {
                const int at = def.findColumn(ic.columnName);
                if (at >= 0 && row[static_cast<size_t>(at)].isNull() &&
                    def.columns[static_cast<size_t>(at)].type != ColumnType::Boolean)
                    throw ConstraintError(file_.fileName(), std::nullopt,
                                          "column [" + ic.columnName + "] of table [" + def.name +
                                              "] belongs to index [" + idx->name +
                                              "] and cannot be empty; nothing was written.");
            }
        }
        if (idx->ignoresNulls() && allNull) {
            skip[i] = true;
            continue;
        }
        try {
            keys[i] = rowKey(f_, def, *idx, row);
        } catch (const KeyEncodingError& e) {
            throw ConstraintError(file_.fileName(), std::nullopt,
                                  std::string(e.what()) + " (table [" + def.name + "]); nothing was written.");
        }
        exists[i] = t.trees[i]->containsKey(keys[i]);
        if ((idx->isPrimaryKey() || idx->isUnique()) && !allNull && exists[i])
            throw ConstraintError(file_.fileName(), std::nullopt,
                                  "the row would duplicate a key of index [" + idx->name + "] of table [" + def.name +
                                      "], which must be unique; nothing was written.");
    }
    if (auto* r = rules()) r->checkInsert(*this, def, row);
    auto cols = encodeRow(t, row);
    const auto bytes = assembleRow(f_, def, cols);
    RowId id;
    if (reuse) {
        id = *reuse;
    } else {
        id = placeRow(t, bytes);
        ++def.storedRowCount;
    }
    for (size_t i = 0; i < t.physical.size(); ++i) {
        if (!t.physical[i] || skip[i]) continue;
        t.trees[i]->insert(IndexPageEntry{std::move(keys[i]), id, 0});
        if (!exists[i]) ++t.extras.physical[i].uniqueEntries;
    }
    def.nextAutoNumber = newAuto;
    t.dirty = true;
    result.rowId = id;
    flushIfLarge();
    return result;
}

std::vector<Value> WriterImpl::readRowValues(TableState& t, RowId id, std::vector<uint8_t>* raw, RowId* home) {
    // Pages not yet flushed are read from the write cache (PageFile's pending pages).
    auto located = impl_.locateRow(id, t.def->definitionPage);
    if (!located)
        throw NotFoundError(file_.fileName(), id.page,
                            "row " + std::to_string(id.page) + ":" + std::to_string(id.slot) + " of table [" +
                                t.def->name + "] does not exist (deleted or never written).");
    RowDecoder decoder(impl_, *t.def);
    std::vector<Value> values;
    decoder.decode(located->bytes, located->id.page, values, true);
    if (raw) raw->assign(located->bytes.begin(), located->bytes.end());
    if (home) *home = located->id;
    return values;
}

void WriterImpl::removeEntry(TableState& t, size_t i, const std::vector<uint8_t>& key, RowId id) {
    t.trees[i]->remove(key, id);
    // The definition counts the distinct keys of each index.
    auto& unique = t.extras.physical[i].uniqueEntries;
    if (unique > 0 && !t.trees[i]->containsKey(key)) --unique;
}

void WriterImpl::erase(TableState& t, RowId id) {
    std::vector<uint8_t> raw;
    RowId home;
    const auto values = readRowValues(t, id, &raw, &home);
    TableDef& def = *t.def;
    CascadePlan cascade;
    if (auto* r = rules()) cascade = r->planErase(*this, def, id, values);
    // Every entry of the row is found before any goes: a damaged index refuses the delete.
    std::vector<std::optional<std::vector<uint8_t>>> keys(t.physical.size());
    for (size_t i = 0; i < t.physical.size(); ++i) {
        const IndexDef* idx = t.physical[i];
        if (!idx || (idx->ignoresNulls() && rowKeyAllNull(def, *idx, values))) continue;
        keys[i] = rowKey(f_, def, *idx, values);
        t.trees[i]->requireEntry(*keys[i], id);
    }
    for (size_t i = 0; i < t.physical.size(); ++i)
        if (keys[i]) removeEntry(t, i, *keys[i], id);
    // Long values of the row.
    RowDecoder decoder(impl_, def);
    RowLayout layout;
    decoder.parseLayout(raw, home.page, layout);
    for (const ColumnDef& c : def.columns)
        if (c.isLongValue()) freeLongValue(decoder.columnBytes(raw, layout, c));
    dataPageDeleteRow(f_, store_.edit(home.page), home.slot);
    if (!(home == id)) dataPageDeleteRow(f_, store_.edit(id.page), id.slot);
    if (!t.free.pages.count(home.page)) {
        t.free.pages.insert(home.page);
        t.free.dirty = true;
    }
    if (def.storedRowCount > 0) --def.storedRowCount;
    t.dirty = true;
    ReferentialRules::apply(*this, cascade);
    flushIfLarge();
}

RowId WriterImpl::update(TableState& t, RowId id, std::span<const Value> values) {
    std::vector<uint8_t> raw;
    RowId home;
    const auto old = readRowValues(t, id, &raw, &home);
    TableDef& def = *t.def;
    if (values.size() != def.columns.size())
        throw ConstraintError(file_.fileName(), std::nullopt,
                              "table [" + def.name + "] has " + std::to_string(def.columns.size()) +
                                  " columns but the row has " + std::to_string(values.size()) +
                                  " values; nothing was written.");
    std::vector<Value> row(values.begin(), values.end());
    refuseMissingRequired(t, row);
    // Unique checks against every row but this one.
    std::vector<std::vector<uint8_t>> oldKeys(t.physical.size()), newKeys(t.physical.size());
    for (size_t i = 0; i < t.physical.size(); ++i) {
        const IndexDef* idx = t.physical[i];
        if (!idx) continue;
        oldKeys[i] = rowKey(f_, def, *idx, old);
        try {
            newKeys[i] = rowKey(f_, def, *idx, row);
        } catch (const KeyEncodingError& e) {
            throw ConstraintError(file_.fileName(), std::nullopt, std::string(e.what()) + "; nothing was written.");
        }
        if ((idx->isPrimaryKey() || idx->isUnique()) && newKeys[i] != oldKeys[i] && !rowKeyAllNull(def, *idx, row) &&
            t.trees[i]->containsKey(newKeys[i]))
            throw ConstraintError(file_.fileName(), std::nullopt,
                                  "the change would duplicate a key of index [" + idx->name + "] of table [" +
                                      def.name + "], which must be unique; nothing was written.");
    }
    CascadePlan cascade;
    if (auto* r = rules()) cascade = r->planUpdate(*this, def, id, old, row);
    // The entries that change must be there (see erase).
    for (size_t i = 0; i < t.physical.size(); ++i) {
        const IndexDef* idx = t.physical[i];
        if (idx && oldKeys[i] != newKeys[i] && !(idx->ignoresNulls() && rowKeyAllNull(def, *idx, old)))
            t.trees[i]->requireEntry(oldKeys[i], id);
    }
    // Old long values go; the new row is encoded (writing its long values) and put in place.
    {
        RowDecoder decoder(impl_, def);
        RowLayout layout;
        decoder.parseLayout(raw, home.page, layout);
        for (const ColumnDef& c : def.columns)
            if (c.isLongValue()) freeLongValue(decoder.columnBytes(raw, layout, c));
    }
    auto cols = encodeRow(t, row);
    const auto bytes = assembleRow(f_, def, cols);
    // A row that moved earlier lives in a slot flagged deleted, reached through the overflow
    // pointer at its first place; it keeps that flag.
    const bool wasMoved = !(home == id);
    auto& homePage = store_.edit(home.page);
    if (!dataPageReplaceRow(f_, homePage, home.slot, bytes, wasMoved ? row_flags::Deleted : 0)) {
        // Grown beyond its page: the row moves and its first place becomes an overflow pointer.
        // A copy that moves again is deleted for good (both flags, no bytes, as Access deletes):
        // left with the deleted flag alone, mdbtools and mdb-reader would still list it, since
        // they read such copies in place and skip the overflow pointers instead.
        if (wasMoved &&
            !dataPageReplaceRow(f_, store_.edit(home.page), home.slot, {}, row_flags::Deleted | row_flags::Overflow))
            throw std::logic_error("the old place of a moved row cannot be emptied");
        const RowId moved = placeRow(t, bytes);
        dataPageMarkMoved(f_, store_.edit(moved.page), moved.slot);
        std::vector<uint8_t> pointer(4, 0);
        put32(pointer, 0, moved.packed());
        if (!dataPageReplaceRow(f_, store_.edit(id.page), id.slot, pointer, row_flags::Overflow))
            throw std::logic_error("an overflow pointer does not fit where the row was");
    }
    for (size_t i = 0; i < t.physical.size(); ++i) {
        const IndexDef* idx = t.physical[i];
        if (!idx || oldKeys[i] == newKeys[i]) continue;
        if (!(idx->ignoresNulls() && rowKeyAllNull(def, *idx, old))) removeEntry(t, i, oldKeys[i], id);
        if (!(idx->ignoresNulls() && rowKeyAllNull(def, *idx, row))) {
            const bool fresh = !t.trees[i]->containsKey(newKeys[i]);
            t.trees[i]->insert(IndexPageEntry{newKeys[i], id, 0});
            if (fresh) ++t.extras.physical[i].uniqueEntries;
        }
    }
    t.dirty = true;
    ReferentialRules::apply(*this, cascade);
    flushIfLarge();
    return id;
}

// ---- Schema ------------------------------------------------------------------------------

namespace {

uint16_t fixedSizeFor(ColumnType type) { return type == ColumnType::Boolean ? 1 : fixedSizeOf(type); }

bool isVariable(ColumnType type) {
    return type == ColumnType::Text || type == ColumnType::Binary || type == ColumnType::Memo ||
           type == ColumnType::Ole;
}

} // namespace

std::shared_ptr<const TableDef> WriterImpl::createTable(const TableSpec& tableSpec) {
    const std::string& fileName = file_.fileName();
    auto refuse = [&](const std::string& what) {
        throw SchemaError(fileName, std::nullopt,
                          "cannot create table [" + tableSpec.name + "]: " + what + "; nothing was written.");
    };
    if (tableSpec.name.empty() || tableSpec.name.size() > 64) refuse("a table name has 1 to 64 characters");
    if (tableSpec.name.find_first_of(".!`[]") != std::string::npos ||
        static_cast<unsigned char>(tableSpec.name[0]) <= ' ')
        refuse("a table name may not contain . ! ` [ ] or start with a space");
    if (tableSpec.columns.empty()) refuse("a table needs at least one column");
    if (tableSpec.columns.size() > 255) refuse("a table has at most 255 columns");
    if (inSavepoint()) throw std::logic_error("createTable inside a savepoint: schema changes are a step of their own");
    flush();
    for (const auto& e : impl_.catalog())
        if (sameName(e.name, tableSpec.name)) refuse("an object of that name exists already");

    auto def = std::make_shared<TableDef>();
    def->name = tableSpec.name;
    def->tableType = 0x4E;
    uint16_t fixedOffset = 0, varIndex = 0;
    for (size_t i = 0; i < tableSpec.columns.size(); ++i) {
        const ColumnSpec& cs = tableSpec.columns[i];
        if (cs.name.empty() || cs.name.size() > 64) refuse("column names have 1 to 64 characters");
        for (size_t k = 0; k < i; ++k)
            if (sameName(tableSpec.columns[k].name, cs.name)) refuse("the column name [" + cs.name + "] appears twice");
        switch (cs.type) {
        case ColumnType::Boolean:
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::Binary:
        case ColumnType::Text:
        case ColumnType::Ole:
        case ColumnType::Memo:
        case ColumnType::Guid:
        case ColumnType::Numeric: break;
        default: refuse("column [" + cs.name + "] has an unknown type");
        }
        ColumnDef c;
        c.name = cs.name;
        c.type = cs.type;
        c.number = static_cast<uint16_t>(i);
        c.sortOrder = 0x0409;
        c.flags = column_flags::Nullable;
        if (cs.autoNumber) {
            if (cs.type == ColumnType::Long) c.flags |= column_flags::AutoLong;
            else if (cs.type == ColumnType::Guid) c.flags |= column_flags::AutoGuid;
            else refuse("only Long and GUID columns can be auto-numbers ([" + cs.name + "])");
        }
        if (isVariable(cs.type)) {
            c.varIndex = varIndex++;
            if (cs.type == ColumnType::Text) {
                const uint16_t chars = cs.length == 0 ? 255 : cs.length;
                if (chars > 255) refuse("Text columns hold at most 255 characters ([" + cs.name + "]); use Memo");
                c.length = static_cast<uint16_t>(chars * 2);
            } else if (cs.type == ColumnType::Binary) {
                c.length = cs.length == 0 ? 255 : cs.length;
                if (c.length > 255) refuse("Binary columns hold at most 255 bytes ([" + cs.name + "]); use OLE");
            }
            if ((cs.type == ColumnType::Text || cs.type == ColumnType::Memo) && cs.compressedUnicode) c.extFlags = 0x01;
        } else {
            c.flags |= column_flags::Fixed;
            c.length = fixedSizeFor(cs.type);
            if (cs.type != ColumnType::Boolean) {
                c.fixedOffset = fixedOffset;
                fixedOffset = static_cast<uint16_t>(fixedOffset + c.length);
            }
            if (cs.type == ColumnType::Numeric) {
                if (cs.precision < 1 || cs.precision > 28 || cs.scale > cs.precision)
                    refuse("Decimal column [" + cs.name + "] needs a precision of 1 to 28 and a scale not above it");
                c.precision = cs.precision;
                c.scale = cs.scale;
            }
        }
        def->columns.push_back(std::move(c));
    }
    def->maxColumns = static_cast<uint16_t>(def->columns.size());
    def->varColumnCount = varIndex;

    // Indexes: the primary key first, as Access orders them.
    std::vector<const IndexSpec*> indexSpecs;
    for (const auto& is : tableSpec.indexes)
        if (is.primaryKey) indexSpecs.push_back(&is);
    if (indexSpecs.size() > 1) refuse("a table has at most one primary key");
    for (const auto& is : tableSpec.indexes)
        if (!is.primaryKey) indexSpecs.push_back(&is);
    if (indexSpecs.size() > 32) refuse("a table has at most 32 indexes");
    uint32_t number = 0;
    for (const IndexSpec* is : indexSpecs) {
        IndexDef idx;
        idx.name = is->name.empty() ? (is->primaryKey        ? "PrimaryKey"
                                       : is->columns.empty() ? "Index"
                                                             : is->columns.front())
                                    : is->name;
        for (const auto& other : def->indexes)
            if (sameName(other.name, idx.name)) refuse("the index name [" + idx.name + "] appears twice");
        if (is->columns.empty() || is->columns.size() > 10) refuse("index [" + idx.name + "] needs 1 to 10 columns");
        for (size_t k = 0; k < is->columns.size(); ++k) {
            const int at = def->findColumn(is->columns[k]);
            if (at < 0) refuse("index [" + idx.name + "] names the missing column [" + is->columns[k] + "]");
            const ColumnDef& c = def->columns[static_cast<size_t>(at)];
            if (c.isLongValue() || c.type == ColumnType::Binary)
                refuse("column [" + c.name + "] (" + columnTypeName(c.type) + ") cannot be indexed");
            const bool desc = k < is->descending.size() && is->descending[k];
            idx.columns.push_back(IndexColumn{c.number, c.name, !desc});
        }
        idx.number = number;
        idx.physicalNumber = number;
        ++number;
        idx.type = is->primaryKey ? 1 : 0;
        idx.flags = static_cast<uint8_t>((is->primaryKey || is->unique ? index_flags::Unique : 0) |
                                         (is->ignoreNulls ? index_flags::IgnoreNulls : 0) |
                                         (is->primaryKey ? index_flags::Required : 0));
        def->indexes.push_back(std::move(idx));
    }
    def->physicalIndexCount = static_cast<uint32_t>(def->indexes.size());

    // Pages: the definition, a page of usage-map rows, an empty root leaf per index.
    TableDefExtras extras;
    extras.physical.assign(def->indexes.size(), {});
    for (const ColumnDef& c : def->columns)
        if (c.isLongValue()) extras.longValueMaps.push_back({c.number, 0, 0});
    const size_t mapRows = 2 + def->indexes.size() + 2 * extras.longValueMaps.size();
    // Map rows take 69 bytes and a 2-byte slot; a page holds 58 of them.
    if (mapRows > 58) refuse("too many indexes and Memo/OLE columns for one table");
    const auto probe = encodeTableDefinition(f_, *def, extras);
    const size_t tdefPagesNeeded = tableDefinitionPagesNeeded(f_, probe.size());
    std::vector<uint32_t> tdefPages;
    for (size_t i = 0; i < tdefPagesNeeded; ++i)
        tdefPages.push_back(store_.append(std::vector<uint8_t>(f_.pageSize, 0)));
    def->definitionPage = tdefPages.front();
    auto mapPage = newDataPage(f_, 0);
    const uint32_t mapPageNo = store_.append({});
    auto addMap = [&]() {
        const auto slot = dataPageAddRow(f_, mapPage, encodeInlineUsageMap(0, {}, kMapBitmapBytes));
        return (mapPageNo << 8) | *slot;
    };
    def->usageMap = addMap();
    def->freeSpaceMap = addMap();
    for (auto& idx : def->indexes) {
        idx.usageMap = addMap();
        idx.rootPage = store_.append(buildIndexPage(f_, true, def->definitionPage, 0, 0, 0, {}));
    }
    for (auto& m : extras.longValueMaps) {
        m.usedPages = addMap();
        m.freePages = addMap();
    }
    // Each index owns its root page.
    {
        size_t k = 0;
        for (auto& idx : def->indexes) {
            (void)k;
            const uint32_t pages[] = {idx.rootPage};
            auto row = encodeInlineUsageMap(0, pages, kMapBitmapBytes);
            if (idx.rootPage >= kMapBitmapBytes * 8) row = encodeInlineUsageMap(idx.rootPage, pages, kMapBitmapBytes);
            dataPageReplaceRow(f_, mapPage, static_cast<uint8_t>(idx.usageMap & 0xFF), row);
            ++k;
        }
    }
    store_.put(mapPageNo, std::move(mapPage));
    const auto stream = encodeTableDefinition(f_, *def, extras);
    const auto pages = paginateTableDefinition(f_, stream, tdefPages);
    for (size_t i = 0; i < pages.size(); ++i) store_.put(tdefPages[i], pages[i]);

    // The catalog row, through the normal insert path (MSysObjects' indexes included).
    TableState& objects = state(kMSysObjectsPage, "MSysObjects");
    std::vector<Value> row(objects.def->columns.size());
    const double now = accessNow();
    auto setCol = [&](const char* name, Value v) {
        const int at = objects.def->findColumn(name);
        if (at >= 0) row[static_cast<size_t>(at)] = std::move(v);
    };
    setCol("Id", Value::longInt(static_cast<int32_t>(def->definitionPage)));
    setCol("ParentId", Value::longInt(kTablesContainerId));
    setCol("Name", Value::text(tableSpec.name));
    setCol("Type", Value::integer(1));
    setCol("DateCreate", Value::dateTime(DateTime{now}));
    setCol("DateUpdate", Value::dateTime(DateTime{now}));
    setCol("Owner", Value::binary(Bytes{0x64, 0x8B}));
    setCol("Flags", Value::longInt(0));
    // NOT NULL columns: Access keeps them as the "Required" property of each column.
    std::vector<std::string> required;
    for (const auto& cs : tableSpec.columns)
        if (cs.notNull) required.push_back(cs.name);
    if (!required.empty()) setCol("LvProp", Value::binary(encodeRequiredColumns(required)));
    insert(objects, row);
    flush();
    return impl_.tableByName(tableSpec.name);
}

void WriterImpl::dropTable(std::string_view name) {
    if (inSavepoint()) throw std::logic_error("dropTable inside a savepoint: schema changes are a step of their own");
    flush();
    const auto def = impl_.tableByName(name);
    if (def->tableType != 0x4E)
        throw SchemaError(file_.fileName(), std::nullopt,
                          "[" + std::string(name) + "] is a system table and cannot be dropped.");
    if (auto* r = rules()) r->checkDrop(def->name);
    TableState& t = state(def->definitionPage, def->name);
    // Every page the table owns: data, index and long-value pages, its definition, the map rows' bitmaps.
    std::set<uint32_t> pages(t.used.pages.begin(), t.used.pages.end());
    for (auto& m : t.indexMaps) pages.insert(m.pages.begin(), m.pages.end());
    for (const auto& idx : t.def->indexes) pages.insert(idx.rootPage);
    for (auto& lv : t.longValues) pages.insert(lv.used.pages.begin(), lv.used.pages.end());
    pages.insert(t.tdefPages.begin(), t.tdefPages.end());
    for (auto& m : t.indexMaps) pages.insert(m.bitmapPages.begin(), m.bitmapPages.end());
    pages.insert(t.used.bitmapPages.begin(), t.used.bitmapPages.end());
    // The catalog row goes first: without it no reader finds the table.
    TableState& objects = state(kMSysObjectsPage, "MSysObjects");
    std::optional<RowId> catalogRow;
    {
        flush();
        RowCursor cur = db_.scan("MSysObjects", ScanOptions{false});
        const int idCol = objects.def->findColumn("Id");
        while (cur.next()) {
            const Value& v = cur.values()[static_cast<size_t>(idCol)];
            if (!v.isNull() && v.kind() == Value::Kind::Long &&
                static_cast<uint32_t>(v.asLong()) == def->definitionPage) {
                catalogRow = cur.rowId();
                break;
            }
        }
    }
    if (!catalogRow)
        throw FormatError(file_.fileName(), std::nullopt,
                          "the catalog of " + file_.fileName() + " has no entry for table [" + def->name +
                              "]; repair the file with Access.");
    erase(objects, *catalogRow);
    tables_.erase(def->definitionPage);
    // Freed pages are blanked, so no reader mistakes them for the table's. (The table's map
    // rows stay on their page, unreferenced.)
    for (uint32_t p : pages)
        if (p != 0 && p < store_.pageCount()) releasePage(p);
    flush();
}

} // namespace detail

// ---- Public classes ----------------------------------------------------------------------

namespace detail {
class TableWriterState {
public:
    WriterImpl* writer = nullptr;
    uint32_t tdefPage = 0;
    std::string name;
    TableState& state() { return writer->state(tdefPage, name); }
};
} // namespace detail

TableWriter::TableWriter(std::unique_ptr<detail::TableWriterState> s) : state_(std::move(s)) {}
TableWriter::TableWriter(TableWriter&&) noexcept = default;
TableWriter& TableWriter::operator=(TableWriter&&) noexcept = default;
TableWriter::~TableWriter() = default;

const TableDef& TableWriter::definition() const { return *state_->state().def; }
// Each row change is a step of its own: one that fails half-way (a long value too large, an
// index page that cannot be read) leaves nothing behind.
InsertResult TableWriter::insert(std::span<const Value> row) {
    auto& w = *state_->writer;
    return w.atomically([&] { return w.insert(state_->state(), row); });
}
RowId TableWriter::update(RowId id, std::span<const Value> row) {
    auto& w = *state_->writer;
    return w.atomically([&] { return w.update(state_->state(), id, row); });
}
void TableWriter::erase(RowId id) {
    auto& w = *state_->writer;
    w.atomically([&] { w.erase(state_->state(), id); });
}

DatabaseWriter::DatabaseWriter(std::unique_ptr<detail::WriterImpl> impl) : impl_(std::move(impl)) {}
DatabaseWriter::DatabaseWriter(DatabaseWriter&&) noexcept = default;
DatabaseWriter& DatabaseWriter::operator=(DatabaseWriter&&) noexcept = default;
DatabaseWriter::~DatabaseWriter() = default;

DatabaseWriter DatabaseWriter::create(const std::filesystem::path& path, Version version) {
    if (version != Version::Jet4)
        throw UnsupportedError(
            path.filename().string(), std::nullopt,
            "creating Access 97 databases is not supported yet; create an Access 2000 database instead.");
    detail::createEmptyJet4Database(path);
    return open(path);
}

DatabaseWriter DatabaseWriter::open(const std::filesystem::path& path, const OpenOptions& options) {
    return DatabaseWriter(std::make_unique<detail::WriterImpl>(path, options));
}

Database& DatabaseWriter::database() { return impl_->database(); }

std::shared_ptr<const TableDef> DatabaseWriter::createTable(const TableSpec& tableSpec) {
    return impl_->createTable(tableSpec);
}

void DatabaseWriter::dropTable(std::string_view name) { impl_->dropTable(name); }

TableWriter DatabaseWriter::table(std::string_view name) {
    auto& t = impl_->table(name);
    if (t.def->tableType != 0x4E)
        throw NotFoundError(impl_->file().fileName(), std::nullopt,
                            "[" + std::string(name) + "] is a system table; only user tables can be written.");
    auto s = std::make_unique<detail::TableWriterState>();
    s->writer = impl_.get();
    s->tdefPage = t.def->definitionPage;
    s->name = t.def->name;
    return TableWriter(std::move(s));
}

void DatabaseWriter::flush() {
    if (impl_->inSavepoint())
        throw std::logic_error("DatabaseWriter::flush while a savepoint is open: release or roll it back first");
    impl_->flush();
}

DatabaseWriter::Savepoint::Savepoint(DatabaseWriter& writer) : writer_(writer.impl_.get()) {
    writer_->openSavepoint();
    depth_ = writer_->savepointDepth();
}

DatabaseWriter::Savepoint::~Savepoint() {
    if (writer_) writer_->rollbackQuietly();
}

void DatabaseWriter::Savepoint::release() {
    requireInnermost("release");
    writer_->releaseSavepoint();
    writer_ = nullptr;
}

void DatabaseWriter::Savepoint::rollback() {
    requireInnermost("rollback");
    detail::WriterImpl* w = writer_;
    writer_ = nullptr;
    w->rollbackSavepoint();
}

void DatabaseWriter::Savepoint::requireInnermost(const char* what) const {
    if (!writer_) throw std::logic_error(std::string("Savepoint::") + what + ": the savepoint is closed already");
    if (writer_->savepointDepth() != depth_)
        throw std::logic_error(std::string("Savepoint::") + what + ": an inner savepoint is still open");
}

} // namespace jet
