// The writer's state and its operations, shared by writer.cpp (rows and the public classes)
// and schema_writer.cpp (creating and dropping tables).
//
// Pages are changed in a write-back cache and written in a fixed order when the cache is
// flushed: first the pages appended to the file (in file order), then the existing pages that
// changed, the table definitions last. A flush happens at flush(), when the writer closes,
// before reads that go through the reader, and when the cache grows past its limit.
#pragma once

#include "jet/writer.h"

#include "file/bytes.h"
#include "write/database_creator.h"
#include "write/index_tree.h"
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
#include <exception>
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

namespace jet::detail {

inline constexpr size_t kFlushLimitPages = 8192;  // dirty pages kept before a flush (32 MB)
inline constexpr size_t kInlineLongValueMax = 64; // Memo/OLE bytes kept in the row itself

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
        : db_(openWritable(path, options)), impl_(detail::implOf(db_)), file_(impl_.file()), f_(file_.format()),
          store_(file_) {
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
        loadGlobalFree();
    }
    // A writer not closed reports a failure of its last flush through the reporter (it
    // cannot throw from here); the journal keeps the file as it was before that flush.
    ~WriterImpl() {
        try {
            close();
        } catch (const std::exception& e) {
            reportLostChanges("the last changes to " + file_.fileName() + " were not saved: " + e.what());
        }
    }

    // Ends the writer. A transaction or savepoint still open belongs to a change that did not
    // finish: it is undone, never written; the rest goes to the disk, and the lock is released
    // (also when that fails). Throws what the last flush throws; later writes are refused.
    void close() {
        if (closed_) return;
        struct Closing {
            WriterImpl& w;
            ~Closing() {
                w.closed_ = true;
                if (w.lockFd_ >= 0) ::close(w.lockFd_);
                w.lockFd_ = -1;
            }
        } closing{*this};
        if (file_.inSpan() && broken_.empty()) rollbackTransaction();
        while (store_.inSavepoint() && broken_.empty()) rollbackQuietly();
        if (broken_.empty()) flush();
    }

    // The global map of free pages (page 1, row 0), as the file holds it.
    void loadGlobalFree() {
        globalFree_ = MapState{};
        store_.setGlobalFreeMap(nullptr);
        // Pages past the end of the file are listed too; allocation takes pages out of it.
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
        try {
            store_.flush(last);
        } catch (const std::exception& e) {
            // The journal of this flush is on the disk and undoes it when the file is opened
            // next; another flush would start a journal of its own over it and lose that.
            broken_ = "a write to the disk failed (" + std::string(e.what()) +
                      "); the changes since the last completed save are undone when the file is opened again";
            throw;
        }
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

    // A transaction: the flushes until commitTransaction() are one step on disk (the journal
    // spans them, see PageFile::beginSpan), so a change too large for memory can still be
    // undone as a whole. Rolling back restores the file from the journal and reads the
    // writer's state again from it.
    bool inTransaction() const { return file_.inSpan(); }
    void beginTransaction() {
        if (store_.inSavepoint() || file_.inSpan())
            throw std::logic_error("a transaction cannot begin inside a savepoint or another transaction");
        refuseIfBroken();
        flush();
        file_.beginSpan();
    }
    void commitTransaction() {
        flush();
        try {
            file_.commitSpan();
        } catch (const std::exception& e) {
            broken_ = "the end of a transaction could not be saved (" + std::string(e.what()) + ")";
            throw;
        }
    }
    void rollbackTransaction() {
        while (store_.inSavepoint()) rollbackQuietly();
        try {
            file_.undoSpan();
            store_.discard();
            impl_.forgetCachedDefinitions();
            loadGlobalFree();
            rules_.reset();
            // Tables made inside the transaction are gone again; the others are read anew in
            // place, so that TableWriters and definitions held by callers stay good.
            std::set<uint32_t> known{kMSysObjectsPage};
            for (const auto& e : impl_.catalog()) known.insert(e.definitionPage);
            for (auto it = tables_.begin(); it != tables_.end();) {
                if (!known.count(it->first)) {
                    it = tables_.erase(it);
                    continue;
                }
                auto fresh = loadState(it->first, it->second->def->name, it->second->def);
                *it->second = std::move(*fresh);
                ++it;
            }
        } catch (const std::exception& e) {
            broken_ = "undoing a transaction did not succeed (" + std::string(e.what()) +
                      "); it is undone when the file is opened again";
            throw;
        }
        broken_.clear(); // the writer's state is the file's again, read from the restored pages
    }

    // An insert refuses a row before it changes any page (keys, values, relationships are
    // checked first), so outside a statement it needs no savepoint, which would copy every
    // page it touches, for every row. What can still fail once pages change is a damaged
    // file or the disk; then the writer refuses further work rather than keep half a row.
    InsertResult insertStep(TableState& t, std::span<const Value> row) {
        if (store_.inSavepoint()) return insert(t, row); // undone with its statement
        refuseIfBroken();
        changingPages_ = false;
        try {
            auto result = insert(t, row);
            changingPages_ = false;
            return result;
        } catch (...) {
            if (changingPages_ && broken_.empty())
                broken_ = "an insert into table [" + t.def->name + "] failed after it had begun to change pages";
            changingPages_ = false;
            throw;
        }
    }

    // Emptying a table at once changes only pages of its own and its maps, and cannot be
    // refused once it began, so outside a statement it needs no savepoint (which would copy
    // every page it frees); like an insert, a failure half-way leaves the writer refusing
    // further work. Nothing when the table's rows must go one by one (see eraseAll).
    std::optional<uint64_t> eraseAllStep(TableState& t) {
        if (store_.inSavepoint()) return std::nullopt;
        if (auto* r = rules(); r && r->guardsRowsOf(t.def->name)) return std::nullopt;
        refuseIfBroken();
        const uint64_t rows = t.def->storedRowCount;
        try {
            eraseAll(t);
        } catch (...) {
            if (broken_.empty()) broken_ = "emptying table [" + t.def->name + "] failed half-way";
            throw;
        }
        return rows;
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
            if (!withProps->propertiesProblem.empty())
                throw FormatError(file_.fileName(), std::nullopt,
                                  "the column properties of table [" + name + "] cannot be read (" +
                                      withProps->propertiesProblem +
                                      "), so its NOT NULL rules are unknown; nothing is written to it. Repair the "
                                      "file with Access (Compact and Repair).");
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
            t->extras = parseTableDefExtras(f_, *t->def, bytes);
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
        if (globalFree_.row != 0 && globalFree_.reaches(p)) globalFree_.add(p);
        else store_.spare(p);
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
            t.free.remove(t.insertPage);
        }
        auto page = newDataPage(f_, t.def->definitionPage);
        const auto slot = dataPageAddRow(f_, page, row);
        const uint32_t n = appendPage(std::move(page));
        t.insertPage = n;
        t.used.add(n);
        t.free.add(n);
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
                lv->used.add(n);
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

    // The bytes a Memo or OLE value is stored as; refuses a value of the wrong kind or size.
    // A row as a message names it: by its primary key, else by its first column.
    static std::string describeRow(const TableDef& def, std::span<const Value> row) {
        std::vector<size_t> cols;
        for (const IndexDef& ix : def.indexes)
            if (ix.isPrimaryKey() && cols.empty())
                for (const auto& ic : ix.columns)
                    if (const int at = def.findColumn(ic.columnName); at >= 0) cols.push_back(static_cast<size_t>(at));
        if (cols.empty() && !def.columns.empty()) cols.push_back(0);
        std::string s = "the row with";
        for (size_t k = 0; k < cols.size() && cols[k] < row.size(); ++k)
            s += (k ? " and [" : " [") + def.columns[cols[k]].name +
                 "] = " + (row[cols[k]].isNull() ? std::string("Null") : "\"" + row[cols[k]].toString() + "\"");
        return s;
    }

    std::vector<uint8_t> longValueBytes(const TableDef& def, const ColumnDef& c, const Value& v,
                                        std::span<const Value> row) {
        std::vector<uint8_t> data;
        if (c.type == ColumnType::Memo) {
            if (v.kind() != Value::Kind::Text)
                throw ConstraintError(file_.fileName(), std::nullopt,
                                      "column [" + c.name + "] (Memo) of table [" + def.name +
                                          "] needs text; convert \"" + v.toString() + "\" first; nothing was written.");
            // Access compresses memos of up to 1024 characters only; UTF-8 has at least as
            // many bytes as UTF-16 units, so short byte strings need no count.
            const std::string& text = v.asText();
            if (f_.isJet3()) {
                // Access 97 keeps memos in the file's code page, as its other text.
                try {
                    data = encodeJet3Text(*impl_.charset(), text, 0);
                } catch (const ValueError& e) {
                    std::throw_with_nested(ConstraintError(file_.fileName(), std::nullopt,
                                                           std::string(e.what()) + " (column [" + c.name +
                                                               "] of table [" + def.name + "], " +
                                                               describeRow(def, row) + "); nothing was written."));
                }
            } else {
                const size_t chars = text.size() <= 1024 ? text.size() : utf8ToUtf16(text).size();
                data = encodeJet4Text(text, c.isCompressedUnicode() && chars <= 1024, 0);
            }
        } else {
            if (v.kind() != Value::Kind::Binary)
                throw ConstraintError(file_.fileName(), std::nullopt,
                                      "column [" + c.name + "] (OLE) of table [" + def.name +
                                          "] needs binary data; nothing was written.");
            data = v.asBinary();
        }
        if (data.size() > long_value::LengthMask)
            throw ConstraintError(file_.fileName(), std::nullopt,
                                  "a value of column [" + c.name +
                                      "] is larger than Access allows (1 GB); nothing was written.");
        return data;
    }

    std::vector<EncodedColumn> encodeRow(TableState& t, std::span<const Value> row) {
        const TableDef& def = *t.def;
        std::vector<EncodedColumn> cols(def.columns.size());
        // Every value is checked before the first long value is written, so that a refused
        // row leaves no page changed.
        std::vector<std::vector<uint8_t>> longData(def.columns.size());
        size_t fixedBytes = 0;
        for (size_t i = 0; i < def.columns.size(); ++i) {
            const ColumnDef& c = def.columns[i];
            if (c.isLongValue()) {
                if (!row[i].isNull()) longData[i] = longValueBytes(def, c, row[i], row);
                continue;
            }
            try {
                cols[i] = encodeValue(f_, c, row[i], impl_.charset());
            } catch (const ValueError& e) {
                // Access 97 refuses characters its code page lacks: which row is worth saying.
                const std::string which = f_.isJet3() ? ", " + describeRow(def, row) : "";
                std::throw_with_nested(ConstraintError(file_.fileName(), std::nullopt,
                                                       std::string(e.what()) + " in table [" + def.name + "]" + which +
                                                           "; nothing was written."));
            }
            fixedBytes += cols[i].bytes.size();
        }
        changingPages_ = true;
        size_t budget = maxRowSize(f_) > fixedBytes + 64 ? maxRowSize(f_) - fixedBytes - 64 : 0;
        for (size_t i = 0; i < def.columns.size(); ++i) {
            const ColumnDef& c = def.columns[i];
            if (!c.isLongValue() || row[i].isNull()) continue;
            cols[i].present = true;
            cols[i].bytes = writeLongValue(t, c, longData[i], budget);
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
    // Every row of the table at once, when no relationship guards its rows (else false, and
    // nothing changed).
    bool eraseAll(TableState& t);
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

    void refuseIfClosed() const {
        if (closed_)
            throw IoError(file_.fileName(), std::nullopt,
                          file_.fileName() + " was closed for writing; open it again to change it.");
    }

    void refuseIfBroken() const {
        refuseIfClosed();
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
    std::vector<Saved> saved_;   // per open savepoint, what it found
    std::string broken_;         // why the writer refuses to go on, when it does
    bool changingPages_ = false; // an insert has passed its checks and begun to write
    int lockFd_ = -1;
    bool closed_ = false;
    std::map<uint32_t, std::unique_ptr<TableState>> tables_;
    std::unique_ptr<ReferentialRules> rules_;
    int cascading_ = 0;
};

} // namespace jet::detail
