// The writer: DatabaseWriter and TableWriter (see jet/writer.h), and the row changes of
// WriterImpl (write/writer_impl.h).
#include "write/writer_impl.h"

#include "file/write_hooks.h"
#include "database/locating.h"

#include <exception>
#include <utility>

namespace jet {
namespace detail {

void (*pageWriteHook)() = nullptr;
void (*journalStepHook)() = nullptr;

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
            const Value::Kind k = row[i].kind();
            const bool whole = k == Value::Kind::Boolean || k == Value::Kind::Byte || k == Value::Kind::Integer ||
                               k == Value::Kind::Long;
            if (!whole && k != Value::Kind::Text) // (text is converted, or refused, by the encoder)
                throw ConstraintError(file_.fileName(), std::nullopt,
                                      "column [" + c.name + "] of table [" + def.name +
                                          "] is an AutoNumber and takes a whole number, not \"" + row[i].toString() +
                                          "\"; nothing was written.");
            const int64_t v = whole ? row[i].toInt64() : 0;
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
            std::throw_with_nested(
                ConstraintError(file_.fileName(), std::nullopt,
                                std::string(e.what()) + " (table [" + def.name + "]); nothing was written."));
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
    t.free.add(home.page);
    if (def.storedRowCount > 0) --def.storedRowCount;
    t.dirty = true;
    ReferentialRules::apply(*this, cascade);
    flushIfLarge();
}

bool WriterImpl::eraseAll(TableState& t) {
    TableDef& def = *t.def;
    if (auto* r = rules(); r && r->guardsRowsOf(def.name)) return false;
    const uint32_t tdef = def.definitionPage;
    // Only pages that say they are this table's go (data and index pages name the table's
    // definition, long-value pages say "LVAL"): a damaged map must not free another's.
    enum Kind { Rows = 1, LongValues = 2, Index = 4 };
    auto owned = [&](uint32_t p, int kinds) {
        if (p == 0 || p >= store_.pageCount()) return false;
        const auto page = store_.read(p);
        const bool lval = page[0] == page_type::Data && std::memcmp(page.data() + 4, "LVAL", 4) == 0;
        if (lval) return (kinds & LongValues) != 0;
        if (u32(page, 4) != tdef) return false;
        if (page[0] == page_type::Data) return (kinds & Rows) != 0;
        return (page[0] == page_type::IndexNode || page[0] == page_type::IndexLeaf) && (kinds & Index) != 0;
    };
    std::set<uint32_t> freed;
    auto take = [&](MapState& m, int kinds, uint32_t keep) {
        const std::vector<uint32_t> pages(m.pages.begin(), m.pages.end());
        for (uint32_t p : pages) {
            if (p == keep) continue;
            m.remove(p);
            if (kinds && owned(p, kinds)) freed.insert(p);
        }
    };
    take(t.used, Rows | LongValues, 0);
    take(t.free, 0, 0);
    for (auto& lv : t.longValues) {
        take(lv.used, LongValues, 0);
        take(lv.free, 0, 0);
        lv.currentPage = 0;
    }
    // Each index keeps its root, now an empty leaf; its other pages go.
    for (size_t i = 0; i < t.physical.size(); ++i) {
        if (!t.physical[i]) continue;
        const uint32_t root = t.physical[i]->rootPage;
        take(t.indexMaps[i], Index, root);
        t.indexMaps[i].add(root);
        store_.put(root, buildIndexPage(f_, true, tdef, 0, 0, 0, {}));
        t.extras.physical[i].uniqueEntries = 0;
        t.trees[i].reset(); // its cached nodes describe pages that are gone
    }
    def.storedRowCount = 0;
    t.insertPage = 0;
    t.dirty = true;
    // Maps and counters to the cache, then the table's state (its index trees) read from it:
    // the table is empty now, and the pages it held are nobody's. They are blanked and freed
    // last, with a flush now and then outside a savepoint, so that memory stays bounded.
    writeTable(t);
    const std::string name = def.name;
    auto fresh = loadState(tdef, name, t.def);
    t = std::move(*fresh);
    for (uint32_t p : freed) {
        releasePage(p);
        flushIfLarge();
    }
    return true;
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
            std::throw_with_nested(
                ConstraintError(file_.fileName(), std::nullopt, std::string(e.what()) + "; nothing was written."));
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
            throw FormatError(
                file_.fileName(), home.page,
                "the old place of a moved row cannot be emptied (the file looks damaged; tablor-mdb check tells more)");
        const RowId moved = placeRow(t, bytes);
        dataPageMarkMoved(f_, store_.edit(moved.page), moved.slot);
        std::vector<uint8_t> pointer(4, 0);
        put32(pointer, 0, moved.packed());
        if (!dataPageReplaceRow(f_, store_.edit(id.page), id.slot, pointer, row_flags::Overflow))
            throw FormatError(
                file_.fileName(), id.page,
                "an overflow pointer does not fit where the row was (the file looks damaged; tablor-mdb check tells more)");
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

namespace {
// Runs one public call; a failure of it names the file, the table and the row it was about.
template <class F>
decltype(auto) locating(detail::WriterImpl& w, const std::string& table, std::optional<RowId> row, F&& f) {
    return detail::locating(w.file().fileName(), table, row, std::forward<F>(f));
}
} // namespace

// Each row change is a step of its own: one that is refused or fails half-way leaves nothing
// behind (inserts check everything first; updates and deletes, which may cascade, run in a
// savepoint).
InsertResult TableWriter::insert(std::span<const Value> row) {
    auto& w = *state_->writer;
    return locating(w, state_->name, std::nullopt, [&] { return w.insertStep(state_->state(), row); });
}
RowId TableWriter::update(RowId id, std::span<const Value> row) {
    auto& w = *state_->writer;
    return locating(w, state_->name, id,
                    [&] { return w.atomically([&] { return w.update(state_->state(), id, row); }); });
}
void TableWriter::erase(RowId id) {
    auto& w = *state_->writer;
    locating(w, state_->name, id, [&] { w.atomically([&] { w.erase(state_->state(), id); }); });
}
uint64_t TableWriter::eraseAll() {
    auto& w = *state_->writer;
    return locating(w, state_->name, std::nullopt, [&] {
        if (auto rows = w.eraseAllStep(state_->state())) return *rows;
        return w.atomically([&] {
            detail::TableState& t = state_->state();
            const uint64_t rows = t.def->storedRowCount;
            if (w.eraseAll(t)) return rows;
            // Rows other tables depend on: one by one, so that the relationships decide.
            std::vector<RowId> ids;
            for (RowCursor cur = w.database().scan(t.def->name); cur.next();) ids.push_back(cur.rowId());
            for (const RowId& id : ids) w.erase(state_->state(), id);
            return static_cast<uint64_t>(ids.size());
        });
    });
}

DatabaseWriter::DatabaseWriter(std::unique_ptr<detail::WriterImpl> impl) : impl_(std::move(impl)) {}
DatabaseWriter::DatabaseWriter(DatabaseWriter&&) noexcept = default;
DatabaseWriter& DatabaseWriter::operator=(DatabaseWriter&&) noexcept = default;
DatabaseWriter::~DatabaseWriter() = default;

void DatabaseWriter::close() {
    locating(*impl_, {}, std::nullopt, [&] { impl_->close(); });
}

namespace {
void reportToStderr(const std::string& message) { std::fprintf(stderr, "tablor: %s\n", message.c_str()); }
LostChangesReporter lostChangesReporter = reportToStderr;
} // namespace

LostChangesReporter setLostChangesReporter(LostChangesReporter reporter) {
    return std::exchange(lostChangesReporter, reporter ? reporter : reportToStderr);
}

void reportLostChanges(const std::string& message) { lostChangesReporter(message); }

DatabaseWriter DatabaseWriter::create(const std::filesystem::path& path, Version version) {
    detail::createEmptyDatabaseFile(path, version);
    return open(path);
}

DatabaseWriter DatabaseWriter::open(const std::filesystem::path& path, const OpenOptions& options) {
    return DatabaseWriter(std::make_unique<detail::WriterImpl>(path, options));
}

Database& DatabaseWriter::database() { return impl_->database(); }

std::shared_ptr<const TableDef> DatabaseWriter::createTable(const TableSpec& tableSpec) {
    return locating(*impl_, tableSpec.name, std::nullopt, [&] { return impl_->createTable(tableSpec); });
}

void DatabaseWriter::dropTable(std::string_view name) {
    locating(*impl_, std::string(name), std::nullopt, [&] { impl_->dropTable(name); });
}

TableWriter DatabaseWriter::table(std::string_view name) {
    auto& t =
        locating(*impl_, std::string(name), std::nullopt, [&]() -> detail::TableState& { return impl_->table(name); });
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
    locating(*impl_, {}, std::nullopt, [&] { impl_->flush(); });
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

DatabaseWriter::Transaction::Transaction(DatabaseWriter& writer) : writer_(writer.impl_.get()) {
    writer_->beginTransaction();
}

DatabaseWriter::Transaction::~Transaction() {
    if (!writer_) return;
    try {
        writer_->rollbackTransaction();
    } catch (const std::exception& e) {
        reportLostChanges(e.what());
    }
}

void DatabaseWriter::Transaction::commit() {
    if (!writer_) throw std::logic_error("Transaction::commit: the transaction is closed already");
    detail::WriterImpl* w = writer_;
    writer_ = nullptr;
    w->commitTransaction();
}

void DatabaseWriter::Transaction::rollback() {
    if (!writer_) throw std::logic_error("Transaction::rollback: the transaction is closed already");
    detail::WriterImpl* w = writer_;
    writer_ = nullptr;
    w->rollbackTransaction();
}

void DatabaseWriter::Savepoint::requireInnermost(const char* what) const {
    if (!writer_) throw std::logic_error(std::string("Savepoint::") + what + ": the savepoint is closed already");
    if (writer_->savepointDepth() != depth_)
        throw std::logic_error(std::string("Savepoint::") + what + ": an inner savepoint is still open");
}

} // namespace jet
