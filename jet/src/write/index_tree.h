// One physical index of a table as the writer keeps it: pages parsed on demand, changed in
// memory, written back to the page cache. Used only by the writer (write/writer_impl.h).
#pragma once

#include "database/database_impl.h"
#include "index/index_reader.h"
#include "write/page_builders.h"
#include "write/page_store.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace jet::detail {

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
inline bool entryLess(const IndexPageEntry& a, const std::vector<uint8_t>& key, RowId row) {
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
    size_t size(const TreePage& t) const {
        if (t.entries.size() < 2) return t.fullBytes;
        const auto& a = t.entries.front().key;
        const auto& b = t.entries.back().key;
        size_t lcp = 0;
        const size_t n = std::min({a.size(), b.size(), maxSharedPrefix(f_)});
        while (lcp < n && a[lcp] == b[lcp]) ++lcp;
        return t.fullBytes - lcp * (t.entries.size() - 1);
    }

    // What entries [a, b) of a page take on a page of their own (as size() counts).
    size_t rangeSize(const TreePage& t, size_t a, size_t b) const {
        size_t full = 0;
        for (size_t i = a; i < b; ++i) full += entrySize(t.entries[i], t.leaf);
        if (b - a < 2) return full;
        const auto& x = t.entries[a].key;
        const auto& y = t.entries[b - 1].key;
        size_t lcp = 0;
        const size_t n = std::min({x.size(), y.size(), maxSharedPrefix(f_)});
        while (lcp < n && x[lcp] == y[lcp]) ++lcp;
        return full - lcp * (b - a - 1);
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
            owned_->remove(p);
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
            owned_->add(n);
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
        // Entries of very different lengths (long text keys on Access 97's 2 KB pages): a half
        // that still does not fit moves the split point until both do.
        while (mid > 1 && rangeSize(t, 0, mid) > capacity()) --mid;
        while (mid + 1 < n && rangeSize(t, mid, n) > capacity()) ++mid;
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

} // namespace jet::detail
