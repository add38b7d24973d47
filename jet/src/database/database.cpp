// jet::Database (see database.h): the public face over DatabaseImpl.
#include "jet/database.h"
#include "jet/error.h"

#include "database/cursor_state.h"
#include "database/database_impl.h"
#include "database/locating.h"
#include "table/row_codec.h"
#include "index/row_keys.h"

#include <algorithm>

namespace jet {

using detail::DatabaseImpl;

Database Database::open(const std::filesystem::path& path, const OpenOptions& options) {
    return Database(std::make_shared<DatabaseImpl>(path, options));
}

Database::Database(std::shared_ptr<DatabaseImpl> impl) : impl_(std::move(impl)) {}
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

Version Database::version() const { return impl_->format().version; }
uint32_t Database::pageSize() const { return impl_->format().pageSize; }
uint32_t Database::pageCount() const { return impl_->file().pageCount(); }
uint16_t Database::codePage() const { return impl_->file().codePage(); }
uint16_t Database::sortOrder() const { return impl_->file().sortOrder(); }
bool Database::isPageEncoded() const { return impl_->file().isEncoded(); }
const std::string& Database::fileName() const { return impl_->file().fileName(); }
const std::filesystem::path& Database::path() const { return impl_->file().path(); }

std::vector<CatalogEntry> Database::objects() const { return impl_->catalogWithSql(); }

std::vector<std::string> Database::tableNames() const {
    std::vector<std::string> out;
    for (const auto& e : impl_->catalog()) {
        if (e.kind == ObjectKind::Table) out.push_back(e.name);
    }
    return out;
}

std::vector<CatalogEntry> Database::views() const {
    std::vector<CatalogEntry> out;
    for (const auto& e : impl_->catalogWithSql()) {
        if (e.kind == ObjectKind::View) out.push_back(e);
    }
    return out;
}

std::vector<CatalogEntry> Database::linkedTables() const {
    std::vector<CatalogEntry> out;
    for (const auto& e : impl_->catalog()) {
        if (e.kind == ObjectKind::LinkedTable) out.push_back(e);
    }
    return out;
}

bool Database::hasTable(std::string_view name) const {
    try {
        impl_->tableByName(name);
        return true;
    } catch (const NotFoundError&) {
        return false;
    }
}

std::shared_ptr<const TableDef> Database::table(std::string_view name) const {
    return detail::locating(fileName(), std::string(name), [&] { return impl_->tableByName(name); });
}

std::shared_ptr<const TableDef> Database::tableAt(uint32_t definitionPage, std::string name) const {
    return detail::locating(fileName(), name, [&] { return impl_->tableDef(definitionPage, name); });
}

RowCursor Database::scan(std::string_view tableName, const ScanOptions& options) const {
    return scan(table(tableName), options);
}

RowCursor Database::scan(std::shared_ptr<const TableDef> t, const ScanOptions& options) const {
    const std::string name = t->name;
    return detail::locating(fileName(), name, [&] {
        return RowCursor(std::make_unique<detail::RowScanState>(impl_, std::move(t), options.readLongValues));
    });
}

std::optional<std::vector<Value>> Database::readRow(const TableDef& t, RowId id) const {
    return detail::locating(fileName(), t.name, id, [&]() -> std::optional<std::vector<Value>> {
        auto row = impl_->locateRow(id, t.definitionPage);
        if (!row) return std::nullopt;
        detail::RowDecoder decoder(*impl_, t);
        std::vector<Value> values;
        decoder.decode(row->bytes, row->id.page, values, true);
        return values;
    });
}

RowReader Database::rowReader(std::shared_ptr<const TableDef> t) const {
    return RowReader(std::make_unique<detail::RowReaderState>(impl_, std::move(t)));
}

uint64_t Database::countRows(const TableDef& t) const {
    return detail::locating(fileName(), t.name, [&] {
        auto shared = impl_->tableDef(t.definitionPage, t.name);
        detail::RowScanner scanner(*impl_, shared, false);
        uint64_t n = 0;
        while (scanner.skip()) ++n;
        return n;
    });
}

IndexCursor Database::indexScan(std::shared_ptr<const TableDef> t, const IndexDef& index) const {
    return indexSeek(std::move(t), index, std::span<const uint8_t>());
}

IndexCursor Database::indexSeek(std::shared_ptr<const TableDef> t, const IndexDef& index,
                                std::span<const uint8_t> key) const {
    const std::string name = t->name;
    return detail::locating(fileName(), name, [&] {
        return IndexCursor(std::make_unique<detail::IndexWalkState>(impl_, std::move(t), index, key));
    });
}

std::vector<RowId> Database::indexFind(std::shared_ptr<const TableDef> t, const IndexDef& index,
                                       std::span<const uint8_t> key) const {
    std::vector<RowId> out;
    auto c = indexSeek(std::move(t), index, key);
    while (c.next()) {
        const auto& k = c.entry().key;
        if (!std::equal(k.begin(), k.end(), key.begin(), key.end())) break;
        out.push_back(c.entry().row);
    }
    return out;
}

} // namespace jet

namespace jet {

std::vector<RowId> Database::indexFindValues(std::shared_ptr<const TableDef> t, const IndexDef& index,
                                             std::span<const Value> values) const {
    // A row with the index's columns set, the rest null: its key is the search key.
    std::vector<Value> row(t->columns.size());
    size_t next = 0;
    for (const auto& ic : index.columns) {
        for (size_t i = 0; i < t->columns.size(); ++i) {
            if (t->columns[i].number == ic.columnNumber && next < values.size()) row[i] = values[next];
        }
        ++next;
    }
    const auto key = detail::rowKey(impl_->format(), *t, index, row);
    return indexFind(std::move(t), index, key);
}

IndexCursor Database::indexSeekValues(std::shared_ptr<const TableDef> t, const IndexDef& index,
                                      std::span<const Value> leading) const {
    // Only the leading columns' segments: a prefix of every entry key that starts with them,
    // whatever the directions and values of the columns after them.
    std::vector<uint8_t> key;
    for (size_t k = 0; k < leading.size() && k < index.columns.size(); ++k) {
        const auto& ic = index.columns[k];
        for (const ColumnDef& c : t->columns)
            if (c.number == ic.columnNumber)
                appendKeyValue(key, detail::keyColumnFor(impl_->format(), c, ic.ascending),
                               detail::keyValueFor(c, leading[k]));
    }
    return indexSeek(std::move(t), index, key);
}

} // namespace jet
