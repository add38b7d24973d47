// The writer's write-back page cache (PageStore) and the usage maps it keeps in memory
// (MapState), with their load and write-back. Pages change here between flushes; a flush
// writes them through the rollback journal in an order that keeps the file readable.
#pragma once

#include "file/bytes.h"
#include "file/page_file.h"
#include "file/write_hooks.h"

#include "jet/writer.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <vector>

namespace jet::detail {

inline constexpr size_t kMapBitmapBytes = 64;     // inline usage-map bitmap in Jet 4 map rows
inline constexpr size_t kMapRowSize = 69;         // 1 + 4 + 64
inline constexpr size_t kMaxMapPagePointers = 17; // reference form: (69 - 1) / 4

// Access 97 map rows have a 128-byte bitmap (133-byte rows, 33 page pointers in the
// reference form); Access 2000's have 64.
inline size_t mapBitmapBytes(const Format& f) { return f.isJet3() ? 128 : kMapBitmapBytes; }
inline size_t mapRowSize(const Format& f) { return 5 + mapBitmapBytes(f); }
inline size_t maxMapPagePointers(const Format& f) { return (mapRowSize(f) - 1) / 4; }

inline bool isBlank(const std::vector<uint8_t>& page) {
    return std::all_of(page.begin(), page.end(), [](uint8_t b) { return b == 0; });
}

// The pages of one usage map, held in memory and written back to its row.
struct MapState {
    uint32_t row = 0; // row pointer of the map
    std::set<uint32_t> pages;
    std::vector<uint32_t> bitmapPages; // reference form: existing 0x05 pages, by index
    bool dirty = false;
    // The global map of free pages keeps the form Access gave it: inline, from `inlineStart`,
    // over `inlineBytes` of bitmap (Access makes it longer than a table's map); pages past it
    // are left out.
    bool inlineOnly = false;
    uint32_t inlineStart = 0;
    size_t inlineBytes = kMapBitmapBytes;
    bool reaches(uint32_t p) const { return p >= inlineStart && p - inlineStart < inlineBytes * 8; }

    // Changes go through these, so that writing the map back can flip the bits of the pages
    // that changed instead of encoding every page again (a step per row of a long copy).
    void add(uint32_t p) {
        if (pages.insert(p).second) noteChange(p, true);
    }
    void remove(uint32_t p) {
        if (pages.erase(p)) noteChange(p, false);
    }
    struct Change {
        uint32_t page;
        bool used;
    };
    std::vector<Change> changes; // since the row was last written; cleared by writeMap

private:
    static constexpr size_t kMaxTrackedChanges = 4096; // beyond: encoded whole, as cheap then
    void noteChange(uint32_t p, bool used) {
        if (!dirty || !changes.empty()) {
            if (changes.size() < kMaxTrackedChanges) changes.push_back({p, used});
            else changes.clear(); // more than flipping bits is worth: encode it whole
        }
        dirty = true;
    }
};

// ---- Write-back page cache ---------------------------------------------------------------

class PageStore {
public:
    explicit PageStore(PageFile& file) : file_(file), next_(file.pageCount()) { file_.setPendingPages(&dirty_); }
    ~PageStore() { file_.setPendingPages(nullptr); }
    PageStore(const PageStore&) = delete;
    PageStore& operator=(const PageStore&) = delete;

    std::span<const uint8_t> read(uint32_t n) {
        if (auto* r = recent(n)) return *r;
        if (auto it = dirty_.find(n); it != dirty_.end()) return it->second;
        if (n >= file_.pageCount())
            throw FormatError(file_.fileName(), n,
                              "PageStore::read past the end (the file looks damaged; tablor-mdb check tells more)");
        held_ = file_.page(n);
        return *held_;
    }
    std::vector<uint8_t>& edit(uint32_t n) {
        // Inserts edit the same few pages (data, long values, index) over and over. (Opening
        // a savepoint empties this list, so a page found here has its before-image kept.)
        if (auto* r = recent(n)) return *r;
        remember(n);
        auto it = dirty_.find(n);
        if (it == dirty_.end()) it = dirty_.emplace(n, *file_.page(n)).first;
        recent_[n % recent_.size()] = {n, &it->second};
        return it->second;
    }
    // A new page, filled with `content`: a free page of the file when the global map lists
    // one, else a page at the end. The page leaves the global map of free pages.
    uint32_t append(std::vector<uint8_t> content) {
        uint32_t n = next_;
        if (levels_.empty() && !spare_.empty()) {
            n = spare_.back();
            spare_.pop_back();
            dirty_[n] = std::move(content);
            return n;
        }
        if (globalFree_) {
            auto it = globalFree_->pages.lower_bound(kFirstReusablePage);
            if (it != globalFree_->pages.end() && *it < file_.pageCount()) {
                n = *it;
            }
            globalFree_->remove(n);
        }
        if (n == next_) ++next_;
        remember(n);
        dirty_[n] = std::move(content);
        return n;
    }
    void setGlobalFreeMap(MapState* m) { globalFree_ = m; }
    // A freed page that the global map of free pages cannot list (it lies beyond the map's
    // reach): reused by this writer for new pages, once no savepoint can bring it back.
    void spare(uint32_t n) {
        if (n < kFirstReusablePage) return;
        if (levels_.empty()) spare_.push_back(n);
        else levels_.back().spared.push_back(n);
    }
    void put(uint32_t n, std::vector<uint8_t> content) {
        remember(n);
        dirty_[n] = std::move(content);
    }
    size_t dirtyCount() const { return dirty_.size(); }
    uint32_t pageCount() const { return next_; }

    // Savepoints: the cache as it is now, to come back to. While one is open, the first change
    // of a page keeps the page as it was (or that it was not in the cache); rolling back puts
    // those back and forgets the pages appended since. Savepoints nest; releasing one hands
    // its before-images to the one below, which keeps its own older ones.
    void openSavepoint() {
        levels_.push_back(Level{{}, next_});
        recent_.fill({});
    }
    bool inSavepoint() const { return !levels_.empty(); }
    void releaseSavepoint() {
        Level top = std::move(levels_.back());
        levels_.pop_back();
        auto& spared = levels_.empty() ? spare_ : levels_.back().spared;
        spared.insert(spared.end(), top.spared.begin(), top.spared.end());
        if (levels_.empty()) return;
        for (auto& [n, before] : top.before) levels_.back().before.try_emplace(n, std::move(before));
    }
    void rollbackSavepoint() {
        Level& top = levels_.back();
        for (auto& [n, before] : top.before) {
            if (before) dirty_[n] = std::move(*before);
            else dirty_.erase(n);
        }
        next_ = top.next;
        levels_.pop_back();
        recent_.fill({});
        held_.reset();
    }

    // Forgets every change not yet flushed (for a transaction's rollback, after the file is
    // restored): the cache is as after a flush.
    void discard() {
        levels_.clear();
        spare_.clear();
        dirty_.clear();
        next_ = file_.pageCount();
        recent_.fill({});
        held_.reset();
    }

    // Writes the changed pages as one step: the old bytes of every existing page about to
    // change go to the file's rollback journal first, and a flush cut short by a kill is
    // undone as a whole by whoever opens the file next (page_journal.cpp says why that holds
    // at every moment). Programs that don't know the journal see the half-written file, so
    // the pages are written in an order that keeps it readable for them too: nothing on disk
    // points at what is not there yet. Pages appended to the file first (nothing old refers
    // to them), then changed pages holding rows and long values, then index pages (their
    // entries name rows written before), then usage maps (they list pages written before),
    // the table definitions (`last`: row counts, auto-numbers), and the pages a dropped table
    // freed (blanked) at the very end, once the catalog no longer names them.
    void flush(const std::set<uint32_t>& last) {
        if (!levels_.empty()) throw std::logic_error("PageStore::flush while a savepoint is open");
        if (dirty_.empty()) return;
        const uint32_t oldCount = file_.pageCount();
        auto rank = [&](uint32_t n, const std::vector<uint8_t>& page) {
            if (n >= oldCount) return 0;
            if (last.count(n)) return 4;
            const uint8_t type = page[0];
            if (type == 0 && isBlank(page)) return 5; // freed: only once nothing refers to it
            if (type == page_type::IndexNode || type == page_type::IndexLeaf) return 2;
            if (type == page_type::UsageMap) return 3;
            if (type == page_type::Data) {
                const uint32_t owner = u32(page, 4);
                return owner <= 1 ? 3 : 1; // owner 0/1: pages of usage-map rows
            }
            return 1;
        };
        std::vector<PageFile::JournalPage> overwritten;
        for (auto& [n, page] : dirty_)
            if (n < oldCount) overwritten.push_back({n, page});
        file_.beginJournal(overwritten, std::max(oldCount, next_));
        std::array<std::vector<std::pair<uint32_t, const std::vector<uint8_t>*>>, 6> phases;
        for (auto& [n, page] : dirty_) phases[static_cast<size_t>(rank(n, page))].emplace_back(n, &page);
        std::vector<const std::vector<uint8_t>*> run;
        for (const auto& phase : phases) {
            // Runs of consecutive pages (the appended ones, mostly) go to disk in one call.
            for (size_t i = 0; i < phase.size();) {
                size_t j = i + 1;
                while (j < phase.size() && phase[j].first == phase[j - 1].first + 1) ++j;
                run.clear();
                for (size_t k = i; k < j; ++k) run.push_back(phase[k].second);
                file_.writePages(phase[i].first, run);
                if (pageWriteHook)
                    for (size_t k = i; k < j; ++k) pageWriteHook();
                i = j;
            }
        }
        file_.endJournal();
        dirty_.clear();
        recent_.fill({});
        held_.reset();
    }

private:
    // Pages 0..15 of a new file hold the system tables; free pages below are never reused.
    static constexpr uint32_t kFirstReusablePage = 16;
    PageFile& file_;
    uint32_t next_;
    std::map<uint32_t, std::vector<uint8_t>> dirty_;
    // Recently edited pages: entries of dirty_, whose map nodes stay put until the flush.
    struct Recent {
        uint32_t number = 0;
        std::vector<uint8_t>* page = nullptr;
    };
    std::array<Recent, 8> recent_{};
    std::vector<uint8_t>* recent(uint32_t n) {
        const Recent& r = recent_[n % recent_.size()];
        return r.page && r.number == n ? r.page : nullptr;
    }
    PageRef held_;
    MapState* globalFree_ = nullptr;
    struct Level {
        std::map<uint32_t, std::optional<std::vector<uint8_t>>> before; // nullopt: not in the cache
        uint32_t next = 0;
        std::vector<uint32_t> spared; // pages freed inside this savepoint
    };
    std::vector<uint32_t> spare_;
    std::vector<Level> levels_;
    void remember(uint32_t n) {
        if (levels_.empty()) return;
        auto& before = levels_.back().before;
        if (before.count(n)) return;
        auto it = dirty_.find(n);
        before.emplace(n, it == dirty_.end() ? std::nullopt : std::optional<std::vector<uint8_t>>(it->second));
    }
};

// Reads the pages of the usage map at m.row into m.
void loadMap(PageFile& file, PageStore& store, MapState& m);
// Writes m back to its row (inline when its pages fit one bitmap, else by reference to bitmap
// pages) when it changed.
void writeMap(const Format& f, PageStore& store, MapState& m);

} // namespace jet::detail
