// jet::sql::Database over the engine's public API: tables and views from the catalog,
// scans through RowCursor, key-range seeks through the index B-tree (keys encoded with the
// engine's key codec), and value conversion between the two layers.
#include "jet/sql/engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_keys.h"
#include "jet/writer.h"
#include "jet/sql/error.h"
#include "engine_writes.h"

namespace jet::sql {
namespace {

ColumnInfo columnInfoOf(const jet::ColumnDef& c, jet::Version version) {
    ColumnInfo info;
    info.name = c.name;
    info.type = fromEngineType(c.type);
    if (c.type == jet::ColumnType::Text) info.size = version == jet::Version::Jet4 ? c.length / 2 : c.length;
    if (c.type == jet::ColumnType::Binary) info.size = c.length;
    info.precision = c.precision;
    info.scale = c.scale;
    info.autoNumber = c.isAutoNumber() && c.type == jet::ColumnType::Long;
    // NOT NULL is Access's "Required" column property; a cleared "may be null" flag (which some
    // writers use instead) means the same.
    info.required = (c.required || !(c.flags & jet::column_flags::Nullable)) && !info.autoNumber;
    info.compressed = c.isCompressedUnicode();
    return info;
}

// Cursor over a full scan.
class ScanCursor : public RowCursor {
public:
    explicit ScanCursor(jet::RowCursor cursor) : cursor_(std::move(cursor)) {}
    bool next() override {
        if (!cursor_.next()) return false;
        const auto& values = cursor_.values();
        row_.resize(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) row_[i] = fromEngineValue(values[i]);
        return true;
    }
    const Row& row() const override { return row_; }
    RowId rowId() const override { return cursor_.rowId().packed(); }

private:
    jet::RowCursor cursor_;
    Row row_;
};

// The wizard reads a table in pages, TOP 50 ... WHERE id > n with n the last id of the
// previous page. A fresh seek decodes the index pages from the root down each time; instead
// the cursor that a query left unfinished is kept here and continued when the next seek on
// the same index starts after the entry where it stopped. Any change to the file drops it.
struct TableMeta;

struct SeekCache {
    // Tables as statements see them, built once per table until something changes.
    std::map<std::string, std::shared_ptr<const TableMeta>> tables;
    std::uint32_t tablePage = 0;
    std::uint32_t indexNumber = 0;
    std::vector<std::uint8_t> lastKey; // key of the last entry whose row was handed out
    std::unique_ptr<jet::IndexCursor> cursor;
    std::uint64_t reused = 0; // how often a seek continued a kept cursor (for tests)

    // After any change: table definitions and index pages may be different now.
    void forget() {
        cursor.reset();
        tables.clear();
    }
};

// Cursor over the entries of an index from a start key while their first segment is at
// most `stop` (empty: to the end), reading each entry's row.
class SeekCursor : public RowCursor {
public:
    SeekCursor(std::shared_ptr<const jet::Database> db, std::shared_ptr<const jet::TableDef> table,
               std::uint32_t indexNumber, std::unique_ptr<jet::IndexCursor> cursor, std::vector<std::uint8_t> start,
               std::vector<std::uint8_t> stop, std::shared_ptr<SeekCache> cache)
        : db_(std::move(db)), table_(std::move(table)), reader_(db_->rowReader(table_)), indexNumber_(indexNumber),
          cursor_(std::move(cursor)), start_(std::move(start)), stop_(std::move(stop)), cache_(std::move(cache)) {}
    ~SeekCursor() override {
        // Left after handing out a row, with entries possibly still to come: keep it for the next page.
        if (handedOut_ && cache_) {
            cache_->tablePage = table_->definitionPage;
            cache_->indexNumber = indexNumber_;
            cache_->lastKey = cursor_->entry().key; // the entry of the row handed out last
            cache_->cursor = std::move(cursor_);
        }
    }
    bool next() override {
        handedOut_ = false;
        while (cursor_->next()) {
            const jet::IndexEntry& e = cursor_->entry();
            // A continued cursor may stand before the start (equal keys of the last page).
            if (!pastStart_) {
                if (std::lexicographical_compare(e.key.begin(), e.key.end(), start_.begin(), start_.end())) continue;
                pastStart_ = true;
            }
            if (!stop_.empty()) {
                std::size_t n = std::min(stop_.size(), e.key.size());
                // Compare the entry's first segment with the stop segment (same fixed width).
                if (std::memcmp(e.key.data(), stop_.data(), n) > 0) return false;
            }
            if (!reader_.read(e.row, values_))
                continue; // an entry whose row is gone: skip it, the index is not ours to fix
            row_.resize(values_.size());
            for (std::size_t i = 0; i < values_.size(); ++i) row_[i] = fromEngineValue(values_[i]);
            id_ = e.row.packed();
            handedOut_ = true;
            return true;
        }
        return false;
    }
    const Row& row() const override { return row_; }
    RowId rowId() const override { return id_; }

private:
    std::shared_ptr<const jet::Database> db_;
    std::shared_ptr<const jet::TableDef> table_;
    jet::RowReader reader_;
    std::vector<jet::Value> values_;
    std::uint32_t indexNumber_;
    std::unique_ptr<jet::IndexCursor> cursor_;
    std::vector<std::uint8_t> start_;
    std::vector<std::uint8_t> stop_;
    std::shared_ptr<SeekCache> cache_;
    bool pastStart_ = false;
    bool handedOut_ = false;
    Row row_;
    RowId id_ = 0;
};

std::optional<jet::KeyColumnType> keyTypeOf(jet::ColumnType t) {
    switch (t) {
    case jet::ColumnType::Byte: return jet::KeyColumnType::Byte;
    case jet::ColumnType::Integer: return jet::KeyColumnType::Integer;
    case jet::ColumnType::Long: return jet::KeyColumnType::Long;
    case jet::ColumnType::Currency: return jet::KeyColumnType::Currency;
    case jet::ColumnType::Double: return jet::KeyColumnType::Double;
    case jet::ColumnType::DateTime: return jet::KeyColumnType::DateTime;
    default: return std::nullopt;
    }
}

// The key segment (flag and value) of a bound on the first column of an ascending index.
std::vector<std::uint8_t> keySegment(jet::KeyColumnType type, const Value& v) {
    jet::KeyColumn column{type, true, jet::TextSortOrder::GeneralLegacy};
    jet::KeyValue key;
    switch (type) {
    case jet::KeyColumnType::Currency: key = static_cast<std::int64_t>(v.asDecimal().unscaled); break;
    case jet::KeyColumnType::Double: key = v.asDouble(); break;
    case jet::KeyColumnType::DateTime: key = v.asDateTime().days; break;
    default: key = v.asInt(); break;
    }
    std::vector<std::uint8_t> out;
    jet::appendKeyValue(out, column, key);
    return out;
}

std::unique_ptr<detail::EngineWrites> openWrites(const std::filesystem::path& path, const EngineOptions& options,
                                                 bool create) {
    return detail::openEngineWrites(path, options, create);
}

// A table's columns and indexes in the SQL layer's terms, with the engine's definitions.
struct TableMeta {
    std::shared_ptr<const jet::TableDef> def;
    std::vector<ColumnInfo> columns;
    std::vector<IndexInfo> indexes;
    std::vector<const jet::IndexDef*> engineIndexes; // parallel to indexes, into *def
};

std::shared_ptr<const TableMeta> describeTable(std::shared_ptr<const jet::TableDef> def, jet::Version version) {
    auto meta = std::make_shared<TableMeta>();
    meta->def = std::move(def);
    const jet::TableDef& t = *meta->def;
    for (const jet::ColumnDef& c : t.columns) meta->columns.push_back(columnInfoOf(c, version));
    for (const jet::IndexDef& ix : t.indexes) {
        IndexInfo info;
        info.name = ix.name;
        info.primaryKey = ix.isPrimaryKey();
        info.unique = ix.isUnique() || ix.isPrimaryKey();
        bool complete = !ix.columns.empty();
        for (const jet::IndexColumn& ic : ix.columns) {
            auto it = std::find_if(t.columns.begin(), t.columns.end(),
                                   [&](const jet::ColumnDef& c) { return c.number == ic.columnNumber; });
            if (it == t.columns.end() || ic.columnName.empty()) {
                complete = false;
                break;
            }
            info.columns.push_back(static_cast<std::size_t>(it - t.columns.begin()));
            info.descending.push_back(!ic.ascending);
        }
        if (!complete) continue; // an index that lost its column cannot answer anything
        info.seekable =
            ix.rootPage != 0 && keyTypeOf(t.columns[info.columns[0]].type).has_value() && !info.descending[0];
        meta->indexes.push_back(std::move(info));
        meta->engineIndexes.push_back(&ix);
    }
    return meta;
}

OtherDatabaseOpener& otherOpener() {
    static OtherDatabaseOpener opener;
    return opener;
}

class EngineTable : public TableAccess {
public:
    // `writes` is null when the file is open read-only.
    EngineTable(std::shared_ptr<jet::Database> db, std::shared_ptr<const TableMeta> meta, detail::EngineWrites* writes,
                std::shared_ptr<SeekCache> cache)
        : db_(std::move(db)), meta_(std::move(meta)), def_(meta_->def), writes_(writes), cache_(std::move(cache)) {}

    const std::string& name() const override { return def_->name; }
    const std::vector<ColumnInfo>& columns() const override { return meta_->columns; }
    const std::vector<IndexInfo>& indexes() const override { return meta_->indexes; }

    std::unique_ptr<RowCursor> scan() override {
        if (writes_) writes_->refresh();
        return std::make_unique<ScanCursor>(db_->scan(def_));
    }

    std::unique_ptr<RowCursor> seek(std::size_t index, const KeyRange& range) override {
        if (writes_) writes_->refresh();
        const jet::IndexDef& ix = *meta_->engineIndexes.at(index);
        jet::KeyColumnType type = *keyTypeOf(def_->columns[meta_->indexes[index].columns[0]].type);
        // Null entries carry the flag 0x00, values 0x7F: starting at 0x7F skips the nulls.
        std::vector<std::uint8_t> start{jet::kKeyAscendingStart};
        if (range.low) start = keySegment(type, range.low->value);
        std::vector<std::uint8_t> stop;
        if (range.high) stop = keySegment(type, range.high->value);
        std::unique_ptr<jet::IndexCursor> cursor;
        if (cache_->cursor && cache_->tablePage == def_->definitionPage && cache_->indexNumber == ix.number &&
            std::lexicographical_compare(cache_->lastKey.begin(), cache_->lastKey.end(), start.begin(), start.end())) {
            cursor = std::move(cache_->cursor);
            ++cache_->reused;
        } else {
            cursor = std::make_unique<jet::IndexCursor>(db_->indexSeek(def_, ix, start));
        }
        cache_->cursor.reset();
        return std::make_unique<SeekCursor>(db_, def_, ix.number, std::move(cursor), std::move(start), std::move(stop),
                                            cache_);
    }

    std::uint64_t countRows() override {
        if (writes_) writes_->refresh();
        return db_->countRows(*def_);
    }

    std::optional<std::int64_t> insertRow(const Row& values) override {
        if (!writes_) readOnly();
        cache_->forget();
        try {
            return writes_->insertRow(*def_, values);
        } catch (const jet::Error& e) {
            rethrowAsSql(e);
        }
    }
    void updateRow(RowId row, const Row& values) override {
        if (!writes_) readOnly();
        cache_->forget();
        try {
            writes_->updateRow(*def_, row, values);
        } catch (const jet::Error& e) {
            rethrowAsSql(e);
        }
    }
    void deleteRow(RowId row) override {
        if (!writes_) readOnly();
        cache_->forget();
        writes_->deleteRow(*def_, row);
    }
    std::optional<std::uint64_t> deleteAllRows() override {
        if (!writes_) readOnly();
        cache_->forget();
        try {
            return writes_->deleteAllRows(*def_);
        } catch (const jet::Error& e) {
            rethrowAsSql(e);
        }
    }

private:
    // A refused change in Jet's words where Jet has them, with the engine's detail.
    [[noreturn]] static void rethrowAsSql(const jet::Error& e) {
        std::string what = e.what();
        if (dynamic_cast<const jet::ConstraintError*>(&e) && what.find("duplicate") != std::string::npos)
            std::throw_with_nested(
                ExecutionError("The changes you requested to the table were not successful because they would "
                               "create duplicate values in the index, primary key, or relationship: " +
                               what));
        throw;
    }
    [[noreturn]] void readOnly() const {
        throw ExecutionError("Cannot change '" + def_->name + "': " + db_->fileName() +
                             " is open read-only. Open it for writing to run INSERT, UPDATE or DELETE.");
    }
    std::shared_ptr<jet::Database> db_;
    std::shared_ptr<const TableMeta> meta_;
    std::shared_ptr<const jet::TableDef> def_;
    detail::EngineWrites* writes_;
    std::shared_ptr<SeekCache> cache_;
};

class EngineDatabase : public Database {
public:
    EngineDatabase(std::filesystem::path path, EngineOptions options, bool create)
        : path_(std::move(path)), options_(std::move(options)) {
        if (options_.writable || create) {
            writes_ = openWrites(path_, options_, create);
            db_ = writes_->database();
        } else {
            jet::OpenOptions open;
            open.jet3CodePage = options_.jet3CodePage;
            db_ = std::make_shared<jet::Database>(jet::Database::open(path_, open));
        }
    }

    // Over a file the caller holds open (writes null: read-only).
    EngineDatabase(std::unique_ptr<detail::EngineWrites> writes, std::shared_ptr<jet::Database> db)
        : path_(db->path()), writes_(std::move(writes)), db_(std::move(db)) {}

    std::string path() const override { return path_.string(); }
    std::vector<std::string> tableNames() override {
        if (writes_) writes_->refresh();
        return db_->tableNames();
    }

    std::optional<std::string> viewSql(std::string_view name) override {
        loadCatalog();
        for (const jet::CatalogEntry& e : views_)
            if (jet::sameName(e.name, name)) return e.sql;
        return std::nullopt;
    }

    std::unique_ptr<TableAccess> openTable(std::string_view name) override {
        loadCatalog();
        for (const jet::CatalogEntry& e : linked_)
            if (jet::sameName(e.name, name))
                throw NotSupportedError("The table '" + e.name + "' is linked to another database (" +
                                        e.linkedDatabase +
                                        "); reading linked tables is not supported. Open that "
                                        "database instead.");
        if (writes_) writes_->refresh();
        std::string key(name);
        for (char& ch : key)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
        auto it = cache_->tables.find(key);
        if (it == cache_->tables.end()) {
            if (!db_->hasTable(name)) return nullptr;
            it = cache_->tables.emplace(key, describeTable(db_->table(name), db_->version())).first;
        }
        return std::make_unique<EngineTable>(db_, it->second, writes_.get(), cache_);
    }

    void flush() override {
        if (writes_) writes_->flush();
    }

    std::unique_ptr<ChangeScope> beginChanges() override {
        if (!writes_) return nullptr;
        // Undone changes leave the kept index cursor and table descriptions behind too.
        class Scope : public ChangeScope {
        public:
            Scope(std::unique_ptr<ChangeScope> inner, std::shared_ptr<SeekCache> cache)
                : inner_(std::move(inner)), cache_(std::move(cache)) {}
            ~Scope() override {
                if (!inner_) return;
                inner_.reset();
                cache_->forget();
            }
            void commit() override {
                inner_->commit();
                inner_.reset();
            }

        private:
            std::unique_ptr<ChangeScope> inner_;
            std::shared_ptr<SeekCache> cache_;
        };
        return std::make_unique<Scope>(writes_->beginChanges(), cache_);
    }

    void createTable(const TableDefinition& definition) override {
        if (!writes_) readOnly("create the table '" + definition.name + "'");
        cache_->forget();
        writes_->createTable(definition);
    }
    void dropTable(std::string_view name) override {
        if (!writes_) readOnly("drop the table '" + std::string(name) + "'");
        cache_->forget();
        writes_->dropTable(name);
    }
    std::shared_ptr<Database> openOther(const std::string& path) override {
        if (otherOpener()) return otherOpener()(path);
        EngineOptions options;
        options.writable = true;
        return openEngineDatabase(path, options);
    }

private:
    [[noreturn]] void readOnly(const std::string& what) const {
        throw ExecutionError("Cannot " + what + ": " + db_->fileName() + " is open read-only.");
    }
    // Saved queries and linked tables, read once: statements cannot create or drop them.
    void loadCatalog() {
        if (catalogLoaded_) return;
        views_ = db_->views();
        linked_ = db_->linkedTables();
        catalogLoaded_ = true;
    }
    bool catalogLoaded_ = false;
    std::vector<jet::CatalogEntry> views_;
    std::vector<jet::CatalogEntry> linked_;
    std::filesystem::path path_;
    EngineOptions options_;
    std::unique_ptr<detail::EngineWrites> writes_; // before db_: db_ may share the writer
    std::shared_ptr<jet::Database> db_;
    std::shared_ptr<SeekCache> cache_ = std::make_shared<SeekCache>();
};

Int128 magnitudeOf(const jet::Decimal& d) {
    Int128 m = static_cast<Int128>((static_cast<UInt128>(d.high) << 64) | d.low);
    return d.negative ? -m : m;
}

} // namespace

std::shared_ptr<Database> openEngineDatabase(const std::filesystem::path& path, const EngineOptions& options) {
    return std::make_shared<EngineDatabase>(path, options, false);
}

std::shared_ptr<Database> openEngineDatabase(std::shared_ptr<jet::DatabaseWriter> writer) {
    std::unique_ptr<detail::EngineWrites> writes = detail::wrapEngineWriter(std::move(writer));
    std::shared_ptr<jet::Database> db = writes->database();
    return std::make_shared<EngineDatabase>(std::move(writes), std::move(db));
}

void setOtherDatabaseOpener(OtherDatabaseOpener opener) { otherOpener() = std::move(opener); }

std::shared_ptr<Database> openEngineDatabase(std::shared_ptr<jet::Database> readOnly) {
    return std::make_shared<EngineDatabase>(nullptr, std::move(readOnly));
}

std::shared_ptr<Database> createEngineDatabase(const std::filesystem::path& path) {
    EngineOptions options;
    options.writable = true;
    return std::make_shared<EngineDatabase>(path, options, true);
}

ColumnType fromEngineType(jet::ColumnType type) {
    switch (type) {
    case jet::ColumnType::Boolean: return ColumnType::Boolean;
    case jet::ColumnType::Byte: return ColumnType::Byte;
    case jet::ColumnType::Integer: return ColumnType::Integer;
    case jet::ColumnType::Long: return ColumnType::Long;
    case jet::ColumnType::Currency: return ColumnType::Currency;
    case jet::ColumnType::Single: return ColumnType::Single;
    case jet::ColumnType::Double: return ColumnType::Double;
    case jet::ColumnType::DateTime: return ColumnType::DateTime;
    case jet::ColumnType::Binary:
    case jet::ColumnType::Unknown0D: return ColumnType::Binary;
    case jet::ColumnType::Text: return ColumnType::Text;
    case jet::ColumnType::Ole:
    case jet::ColumnType::Unknown11: return ColumnType::Ole;
    case jet::ColumnType::Memo: return ColumnType::Memo;
    case jet::ColumnType::Guid: return ColumnType::Guid;
    case jet::ColumnType::Numeric: return ColumnType::Decimal;
    }
    return ColumnType::Binary;
}

Value fromEngineValue(const jet::Value& v) {
    using K = jet::Value::Kind;
    switch (v.kind()) {
    case K::Null: return Value();
    case K::Boolean: return Value(v.asBoolean());
    case K::Byte: return Value(static_cast<std::int64_t>(v.asByte()));
    case K::Integer: return Value(static_cast<std::int64_t>(v.asInteger()));
    case K::Long: return Value(static_cast<std::int64_t>(v.asLong()));
    case K::Currency: return Value(Decimal{v.asCurrency().scaled, 4});
    case K::Single: return Value(static_cast<double>(v.asSingle()));
    case K::Double: return Value(v.asDouble());
    case K::DateTime: return Value(DateTime{v.asDateTime().days});
    case K::Text: return Value(v.asText());
    case K::Binary: return Value(Bytes{v.asBinary()});
    case K::Guid: return Value(Guid{v.asGuid().toString()});
    case K::Decimal: return Value(Decimal{magnitudeOf(v.asDecimal()), v.asDecimal().scale});
    }
    return Value();
}

jet::Value toEngineValue(const Value& v, jet::ColumnType type) {
    if (v.isNull()) return jet::Value::null();
    switch (type) {
    case jet::ColumnType::Boolean: return jet::Value::boolean(v.asBool());
    case jet::ColumnType::Byte: return jet::Value::byte(static_cast<std::uint8_t>(v.asInt()));
    case jet::ColumnType::Integer: return jet::Value::integer(static_cast<std::int16_t>(v.asInt()));
    case jet::ColumnType::Long: return jet::Value::longInt(static_cast<std::int32_t>(v.asInt()));
    case jet::ColumnType::Currency:
        return jet::Value::currency(jet::Currency{static_cast<std::int64_t>(v.asDecimal().unscaled)});
    case jet::ColumnType::Single: return jet::Value::single(static_cast<float>(v.asDouble()));
    case jet::ColumnType::Double: return jet::Value::dbl(v.asDouble());
    case jet::ColumnType::DateTime: return jet::Value::dateTime(jet::DateTime{v.asDateTime().days});
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo: return jet::Value::text(v.asText());
    case jet::ColumnType::Binary:
    case jet::ColumnType::Ole:
    case jet::ColumnType::Unknown0D:
    case jet::ColumnType::Unknown11: return jet::Value::binary(v.asBytes().data);
    case jet::ColumnType::Guid: {
        // "{00112233-4455-6677-8899-AABBCCDDEEFF}": the first three groups are stored little-endian.
        std::string hex;
        for (char c : v.asGuid().text)
            if (c != '{' && c != '}' && c != '-') hex += c;
        std::array<std::uint8_t, 16> text{};
        for (std::size_t i = 0; i < 16; ++i)
            text[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
        jet::Guid g;
        const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = text[order[i]];
        return jet::Value::guid(g);
    }
    case jet::ColumnType::Numeric: {
        const Decimal& d = v.asDecimal();
        jet::Decimal out;
        out.negative = d.unscaled < 0;
        UInt128 m = static_cast<UInt128>(d.unscaled < 0 ? -d.unscaled : d.unscaled);
        out.high = static_cast<std::uint64_t>(m >> 64);
        out.low = static_cast<std::uint64_t>(m);
        out.scale = static_cast<std::uint8_t>(d.scale);
        return jet::Value::decimal(out);
    }
    }
    return jet::Value::null();
}

} // namespace jet::sql
