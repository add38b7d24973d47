// The open database (see database_impl.h).
#include "jet/error.h"
#include "database/database_impl.h"

#include "file/bytes.h"
#include "catalog/catalog.h"
#include "catalog/properties.h"
#include "catalog/query_sql.h"
#include "table/row_codec.h"
#include "table/row_locator.h"
#include "table/table_def_reader.h"

namespace jet::detail {

DatabaseImpl::DatabaseImpl(const std::filesystem::path& path, const OpenOptions& options)
    : file_(path, options.writable, options.cachePages), options_(options) {
    if (file_.format().isJet3()) {
        charset_ = std::make_unique<Jet3Charset>(file_.fileName(), options.jet3CodePage, file_.codePage());
    }
}

void DatabaseImpl::decodeText(std::span<const uint8_t> bytes, std::string& out) const {
    if (charset_) charset_->decode(bytes, out);
    else decodeJet4Text(bytes, out);
}

std::string DatabaseImpl::decodeText(std::span<const uint8_t> bytes) const {
    std::string s;
    decodeText(bytes, s);
    return s;
}

const std::vector<CatalogEntry>& DatabaseImpl::catalog() {
    if (!catalog_) catalog_ = readCatalog(*this);
    return *catalog_;
}

const std::vector<CatalogEntry>& DatabaseImpl::catalogWithSql() {
    catalog();
    if (!viewSqlRead_) {
        viewSqlRead_ = true;
        readViewSql(*this, *catalog_);
    }
    return *catalog_;
}

std::shared_ptr<const TableDef> DatabaseImpl::tableDef(uint32_t page, const std::string& name) {
    if (auto it = tables_.find(page); it != tables_.end()) return it->second;
    std::shared_ptr<const TableDef> def = readTableDef(*this, page, name);
    if (page != kCatalogPage) def = withColumnProperties(std::move(def));
    tables_.emplace(page, def);
    return def;
}

// NOT NULL is no flag of the definition: Access keeps it as the column's "Required"
// property, in the LvProp blob of the table's catalog row. A blob that cannot be read
// leaves the columns as they are (properties never stop a table from being read).
std::shared_ptr<const TableDef> DatabaseImpl::withColumnProperties(std::shared_ptr<const TableDef> def) {
    uint32_t catalogRow = 0;
    for (const auto& e : catalog())
        if (e.definitionPage == def->definitionPage &&
            (e.kind == ObjectKind::Table || e.kind == ObjectKind::SystemTable))
            catalogRow = e.catalogRow;
    if (catalogRow == 0) return def;
    try {
        auto objects = tableDef(kCatalogPage, "MSysObjects");
        const int cProps = objects->findColumn("LvProp");
        if (cProps < 0) return def;
        auto row = locateRow(RowId::fromPacked(catalogRow), kCatalogPage);
        if (!row) return def;
        RowDecoder decoder(*this, *objects);
        std::vector<Value> values;
        decoder.decode(row->bytes, row->id.page, values, true);
        const Value& props = values[static_cast<size_t>(cProps)];
        if (props.kind() != Value::Kind::Binary) return def;
        const auto required = requiredColumns(props.asBinary());
        if (required.empty()) return def;
        auto copy = std::make_shared<TableDef>(*def);
        for (auto& c : copy->columns)
            for (const auto& r : required)
                if (sameName(c.name, r)) c.required = true;
        return copy;
    } catch (const FormatError& e) {
        auto copy = std::make_shared<TableDef>(*def);
        copy->propertiesProblem = e.what();
        return copy;
    }
}

std::shared_ptr<const TableDef> DatabaseImpl::tableByName(std::string_view name) {
    for (const auto& e : catalog()) {
        if ((e.kind == ObjectKind::Table || e.kind == ObjectKind::SystemTable) && sameName(e.name, name)) {
            return tableDef(e.definitionPage, e.name);
        }
    }
    throw NotFoundError(file_.fileName(), std::nullopt,
                        "there is no table named \"" + std::string(name) + "\" in " + file_.fileName() +
                            ". List the tables with \"tablor-mdb tables\".");
}

std::optional<DatabaseImpl::LocatedRow> DatabaseImpl::locateRow(RowId id, uint32_t owner) {
    // An overflow row holds the pointer to the row's real place; Access does not chain
    // them, a small bound keeps a damaged file from looping.
    for (int hop = 0; hop < 8; ++hop) {
        auto page = file_.page(id.page);
        if ((*page)[0] != page_type::Data) {
            file_.corrupt(id.page, "is not a data page but a row pointer leads to it");
        }
        if (owner != 0 && u32(*page, 4) != owner) {
            file_.corrupt(id.page, "belongs to another table than the row pointer's");
        }
        const uint16_t n = dataPageRowCount(file_, *page, id.page);
        if (id.slot >= n) return std::nullopt;
        auto s = dataPageRow(file_, *page, id.page, id.slot);
        // The copy an overflow pointer leads to carries the deleted flag (so that a scan
        // does not meet it twice); only the first slot's flag counts.
        if (s.deleted() && hop == 0) return std::nullopt;
        if (s.overflow()) {
            if (s.bytes.size() < 4) file_.corrupt(id.page, "has an overflow row too short for its pointer");
            id = RowId::fromPacked(u32(s.bytes, 0));
            continue;
        }
        return LocatedRow{std::move(page), s.bytes, id};
    }
    file_.corrupt(id.page, "has a chain of overflow rows that does not end");
}

} // namespace jet::detail
