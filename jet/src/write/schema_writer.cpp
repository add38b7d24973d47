// Creating and dropping tables: the definition pages, the catalog rows and the maps of a new
// table, and every page of a dropped one freed.
#include "write/writer_impl.h"

namespace jet::detail {

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
                // Access 97 counts a Text column's length in code-page bytes, Access 2000 in UCS-2.
                c.length = static_cast<uint16_t>(f_.isJet3() ? chars : chars * 2);
            } else if (cs.type == ColumnType::Binary) {
                c.length = cs.length == 0 ? 255 : cs.length;
                if (c.length > 255) refuse("Binary columns hold at most 255 bytes ([" + cs.name + "]); use OLE");
            }
            if ((cs.type == ColumnType::Text || cs.type == ColumnType::Memo) && cs.compressedUnicode && !f_.isJet3())
                c.extFlags = 0x01;
        } else {
            c.flags |= column_flags::Fixed;
            c.length = fixedSizeFor(cs.type);
            if (cs.type != ColumnType::Boolean) {
                c.fixedOffset = fixedOffset;
                fixedOffset = static_cast<uint16_t>(fixedOffset + c.length);
            }
            if (cs.type == ColumnType::Numeric) {
                if (f_.isJet3())
                    refuse("Access 97 files have no Decimal type ([" + cs.name + "]); use Double or Currency");
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
    // Map rows take 69 bytes (Access 97: 133) and a 2-byte slot: a page holds 58 (15).
    if (mapRows > (f_.isJet3() ? 15u : 58u)) refuse("too many indexes and Memo/OLE columns for one table");
    const auto probe = encodeTableDefinition(f_, *def, extras, impl_.charset());
    const size_t tdefPagesNeeded = tableDefinitionPagesNeeded(f_, probe.size());
    std::vector<uint32_t> tdefPages;
    for (size_t i = 0; i < tdefPagesNeeded; ++i)
        tdefPages.push_back(store_.append(std::vector<uint8_t>(f_.pageSize, 0)));
    def->definitionPage = tdefPages.front();
    auto mapPage = newDataPage(f_, 0);
    const uint32_t mapPageNo = store_.append({});
    auto addMap = [&]() {
        const auto slot = dataPageAddRow(f_, mapPage, encodeInlineUsageMap(0, {}, mapBitmapBytes(f_)));
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
            const size_t bitmap = mapBitmapBytes(f_);
            auto row = encodeInlineUsageMap(0, pages, bitmap);
            if (idx.rootPage >= bitmap * 8) row = encodeInlineUsageMap(idx.rootPage, pages, bitmap);
            dataPageReplaceRow(f_, mapPage, static_cast<uint8_t>(idx.usageMap & 0xFF), row);
            ++k;
        }
    }
    store_.put(mapPageNo, std::move(mapPage));
    const auto stream = encodeTableDefinition(f_, *def, extras, impl_.charset());
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

} // namespace jet::detail
