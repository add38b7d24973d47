// The catalog (see catalog.h).
#include "catalog/catalog.h"

#include "database/database_impl.h"
#include "table/row_codec.h"
#include "table/scan.h"

namespace jet::detail {

namespace {
constexpr int kTypeTable = 1;
constexpr int kTypeOdbcLinked = 4;
constexpr int kTypeQuery = 5;
constexpr int kTypeLinked = 6;
constexpr uint32_t kSystemFlags = 0x80000002u;

std::string textOf(const Value& v) { return v.kind() == Value::Kind::Text ? v.asText() : std::string(); }
int64_t intOf(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Byte:
    case Value::Kind::Integer:
    case Value::Kind::Long:
    case Value::Kind::Boolean: return v.toInt64();
    default: return 0;
    }
}
} // namespace

std::vector<CatalogEntry> readCatalog(DatabaseImpl& db) {
    auto def = db.tableDef(kCatalogPage, "MSysObjects");
    const int cId = def->findColumn("Id"), cName = def->findColumn("Name"), cType = def->findColumn("Type"),
              cFlags = def->findColumn("Flags"), cDatabase = def->findColumn("Database"),
              cForeign = def->findColumn("ForeignName"), cConnect = def->findColumn("Connect");
    if (cId < 0 || cName < 0 || cType < 0 || cFlags < 0) {
        db.file().corrupt(kCatalogPage, "does not hold the catalog (MSysObjects lacks Id, Name, "
                                        "Type or Flags)");
    }
    std::vector<CatalogEntry> out;
    // Long values (properties, linked-table paths) are read only for the rows that need them.
    RowScanner scan(db, def, false);
    RowDecoder withLongValues(db, *def);
    std::vector<Value> full;
    while (scan.next()) {
        const auto& v = scan.values();
        const int type = static_cast<int>(intOf(v[cType]) & 0x7F);
        const auto flags = static_cast<uint32_t>(intOf(v[cFlags]));
        CatalogEntry e;
        e.name = textOf(v[cName]);
        e.id = static_cast<int32_t>(intOf(v[cId]));
        e.flags = flags;
        e.catalogRow = scan.rowId().packed();
        if (type == kTypeTable) {
            const bool system = (flags & kSystemFlags) != 0 || e.name.rfind("MSys", 0) == 0;
            e.kind = system ? ObjectKind::SystemTable : ObjectKind::Table;
            e.definitionPage = static_cast<uint32_t>(e.id) & 0x00FFFFFF;
        } else if (type == kTypeQuery) {
            // Select queries only; "~sq_" queries are the hidden sources of forms and reports.
            if (flags != 0 || e.name.empty() || e.name[0] == '~') continue;
            e.kind = ObjectKind::View;
        } else if (type == kTypeLinked || type == kTypeOdbcLinked) {
            e.kind = ObjectKind::LinkedTable;
            if (auto row = db.locateRow(scan.rowId(), def->definitionPage)) {
                withLongValues.decode(row->bytes, row->id.page, full, true);
                if (type == kTypeLinked && cDatabase >= 0) e.linkedDatabase = textOf(full[cDatabase]);
                if (type == kTypeOdbcLinked && cConnect >= 0) e.linkedDatabase = textOf(full[cConnect]);
                if (cForeign >= 0) e.linkedName = textOf(full[cForeign]);
            }
        } else {
            continue;
        }
        out.push_back(std::move(e));
    }
    return out;
}

} // namespace jet::detail
