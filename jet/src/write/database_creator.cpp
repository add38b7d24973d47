// Creating a new empty database (see database_creator.h).
#include "write/database_creator.h"

#include "file/bytes.h"
#include "jet/error.h"
#include "write/page_builders.h"
#include "file/page_file.h"
#include "table/row_encoder.h"
#include "index/row_keys.h"
#include "table/table_def_writer.h"
#include "value/text_codec.h"
#include "write/page_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace jet::detail {

namespace {

// What differs between the two versions' new files.
struct NewFile {
    const Format& f;
    uint16_t textBytes;   // a 255-character Text or Binary system column, in bytes
    uint32_t mapsPerPage; // usage-map rows on one page
    const Jet3Charset* charset;
    bool jet3() const { return f.isJet3(); }
};

// Page numbers of the new file.
enum : uint32_t {
    kHeaderPage = 0,
    kGlobalMapPage = 1,
    kObjectsTdef = 2,
    kAcesTdef = 3,
    kQueriesTdef = 4,
    kRelationshipsTdef = 5,
    kMapsPage = 6,
    kObjectsParentIdNameRoot = 7,
    kObjectsIdRoot = 8,
    kAcesRoot = 9,
    kQueriesRoot = 10,
    kRelRelationshipRoot = 11,
    kRelObjectRoot = 12,
    kRelReferencedObjectRoot = 13,
    kObjectsData = 14,
    kAcesData = 15,
    kPageCount = 16,
    // Access 97's map rows are twice as long: its 31 maps take two more pages.
    kJet3MapsPage2 = 16,
    kJet3MapsPage3 = 17,
    kJet3PageCount = 18,
};
constexpr uint32_t kMapCount = 31;

uint32_t pageCount(const NewFile& n) { return n.jet3() ? kJet3PageCount : kPageCount; }

// The row pointer of usage map number `slot` (0..30).
uint32_t mapRow(const NewFile& n, uint8_t slot) {
    static constexpr uint32_t kMapPages[] = {kMapsPage, kJet3MapsPage2, kJet3MapsPage3};
    const uint32_t page = kMapPages[slot / n.mapsPerPage];
    return (page << 8) | (slot % n.mapsPerPage);
}

ColumnDef fixedColumn(const char* name, ColumnType type, uint16_t number, uint16_t offset, uint16_t length) {
    ColumnDef c;
    c.name = name;
    c.type = type;
    c.number = number;
    c.fixedOffset = offset;
    c.length = length;
    c.flags = column_flags::Fixed | column_flags::Nullable | column_flags::Replication;
    c.sortOrder = 0x0409;
    return c;
}

ColumnDef varColumn(const char* name, ColumnType type, uint16_t number, uint16_t varIndex, uint16_t length,
                    uint8_t flags = column_flags::Nullable | column_flags::Replication) {
    ColumnDef c;
    c.name = name;
    c.type = type;
    c.number = number;
    c.varIndex = varIndex;
    c.length = length;
    c.flags = flags;
    c.sortOrder = 0x0409;
    return c;
}

IndexDef index(const char* name, uint32_t number, uint8_t type, uint8_t flags, std::vector<uint16_t> cols,
               uint32_t root, uint32_t umap) {
    IndexDef i;
    i.name = name;
    i.number = number;
    i.physicalNumber = number;
    i.type = type;
    i.flags = flags;
    for (uint16_t c : cols) i.columns.push_back(IndexColumn{c, {}, true});
    i.rootPage = root;
    i.usageMap = umap;
    return i;
}

TableDef systemTable(const NewFile& n, const char* name, uint32_t page, uint8_t usedSlot) {
    TableDef t;
    t.name = name;
    t.definitionPage = page;
    t.tableType = 0x53;
    t.usageMap = mapRow(n, usedSlot);
    t.freeSpaceMap = mapRow(n, static_cast<uint8_t>(usedSlot + 1));
    return t;
}

constexpr uint8_t kOwnerFlags = column_flags::Nullable | column_flags::Replication | 0x20;

TableDef msysObjects(const NewFile& n) {
    const uint16_t L = n.textBytes;
    TableDef t = systemTable(n, "MSysObjects", kObjectsTdef, 0);
    t.columns = {
        fixedColumn("Id", ColumnType::Long, 0, 0, 4),
        fixedColumn("ParentId", ColumnType::Long, 1, 4, 4),
        varColumn("Name", ColumnType::Text, 2, 0, L),
        fixedColumn("Type", ColumnType::Integer, 3, 8, 2),
        fixedColumn("DateCreate", ColumnType::DateTime, 4, 10, 8),
        fixedColumn("DateUpdate", ColumnType::DateTime, 5, 18, 8),
        varColumn("Owner", ColumnType::Binary, 6, 1, L, kOwnerFlags),
        fixedColumn("Flags", ColumnType::Long, 7, 26, 4),
        varColumn("Database", ColumnType::Memo, 8, 2, 0),
        varColumn("Connect", ColumnType::Memo, 9, 3, 0),
        varColumn("ForeignName", ColumnType::Text, 10, 4, L),
        varColumn("RmtInfoShort", ColumnType::Binary, 11, 5, L),
        varColumn("RmtInfoLong", ColumnType::Ole, 12, 6, 0),
        varColumn("Lv", ColumnType::Ole, 13, 7, 0),
        varColumn("LvProp", ColumnType::Ole, 14, 8, 0),
        varColumn("LvModule", ColumnType::Ole, 15, 9, 0),
        varColumn("LvExtra", ColumnType::Ole, 16, 10, 0),
    };
    t.indexes = {
        index("ParentIdName", 0, 0, index_flags::Unique, {1, 2}, kObjectsParentIdNameRoot, mapRow(n, 16)),
        index("Id", 1, 1, index_flags::Unique, {0}, kObjectsIdRoot, mapRow(n, 17)),
    };
    return t;
}

TableDef msysAces(const NewFile& n) {
    const uint16_t L = n.textBytes;
    TableDef t = systemTable(n, "MSysACEs", kAcesTdef, 18);
    t.columns = {
        fixedColumn("ObjectId", ColumnType::Long, 0, 0, 4),
        varColumn("SID", ColumnType::Binary, 1, 0, L, kOwnerFlags),
        fixedColumn("ACM", ColumnType::Long, 2, 4, 4),
        fixedColumn("FInheritable", ColumnType::Boolean, 3, 0, 1),
    };
    t.indexes = {index("ObjectId", 0, 0, index_flags::Required, {0}, kAcesRoot, mapRow(n, 20))};
    return t;
}

TableDef msysQueries(const NewFile& n) {
    const uint16_t L = n.textBytes;
    TableDef t = systemTable(n, "MSysQueries", kQueriesTdef, 21);
    t.columns = {
        fixedColumn("ObjectId", ColumnType::Long, 0, 0, 4), fixedColumn("Attribute", ColumnType::Byte, 1, 4, 1),
        varColumn("Order", ColumnType::Binary, 2, 0, L),    varColumn("Name1", ColumnType::Text, 3, 1, L),
        varColumn("Name2", ColumnType::Text, 4, 2, L),      varColumn("Expression", ColumnType::Memo, 5, 3, 0),
        fixedColumn("Flag", ColumnType::Integer, 6, 5, 2),  fixedColumn("LvExtra", ColumnType::Long, 7, 7, 4),
    };
    if (n.jet3()) t.columns.pop_back(); // Access 97's MSysQueries has no LvExtra
    t.indexes = {index("ObjectIdAttribute", 0, 1, index_flags::Unique, {0, 1, 2}, kQueriesRoot, mapRow(n, 25))};
    return t;
}

TableDef msysRelationships(const NewFile& n) {
    const uint16_t L = n.textBytes;
    TableDef t = systemTable(n, "MSysRelationships", kRelationshipsTdef, 26);
    t.columns = {
        varColumn("szRelationship", ColumnType::Text, 0, 0, L),
        fixedColumn("grbit", ColumnType::Long, 1, 0, 4),
        fixedColumn("ccolumn", ColumnType::Long, 2, 4, 4),
        fixedColumn("icolumn", ColumnType::Long, 3, 8, 4),
        varColumn("szObject", ColumnType::Text, 4, 1, L),
        varColumn("szColumn", ColumnType::Text, 5, 2, L),
        varColumn("szReferencedObject", ColumnType::Text, 6, 3, L),
        varColumn("szReferencedColumn", ColumnType::Text, 7, 4, L),
    };
    t.indexes = {
        index("szRelationship", 0, 0, index_flags::IgnoreNulls, {0}, kRelRelationshipRoot, mapRow(n, 28)),
        index("szObject", 1, 0, index_flags::IgnoreNulls, {4}, kRelObjectRoot, mapRow(n, 29)),
        index("szReferencedObject", 2, 0, index_flags::IgnoreNulls, {6}, kRelReferencedObjectRoot, mapRow(n, 30)),
    };
    return t;
}

void finish(const NewFile& n, TableDef& t) {
    if (n.jet3()) {
        // Access 97 gives a fixed column the variable slot that comes next and lists the
        // logical indexes by name.
        uint16_t var = 0;
        for (auto& c : t.columns) {
            if (c.isFixed()) c.varIndex = var;
            else var = static_cast<uint16_t>(c.varIndex + 1);
        }
        std::sort(t.indexes.begin(), t.indexes.end(),
                  [](const IndexDef& a, const IndexDef& b) { return a.name < b.name; });
    }
    t.maxColumns = static_cast<uint16_t>(t.columns.size());
    t.varColumnCount = 0;
    for (const auto& c : t.columns) t.varColumnCount = static_cast<uint16_t>(t.varColumnCount + (c.isFixed() ? 0 : 1));
    t.physicalIndexCount = static_cast<uint32_t>(t.indexes.size());
    for (auto& idx : t.indexes)
        for (auto& ic : idx.columns)
            for (const auto& c : t.columns)
                if (c.number == ic.columnNumber) ic.columnName = c.name;
}

Value bin(std::initializer_list<uint8_t> b) { return Value::binary(Bytes(b)); }

// The security entries ADOX writes for an empty database: object id, SID, access mask,
// inheritable. The two-byte SIDs are the built-in "Admin" user and "Admins"/"Users" groups of
// a database without a workgroup file.
struct AceRow {
    int32_t object;
    uint8_t sid0, sid1;
    int32_t acm;
    bool inheritable;
};
constexpr AceRow kAces[] = {
    {2, 0x64, 0x8B, 393216, false},
    {3, 0x64, 0x8B, 393216, false},
    {4, 0x64, 0x8B, 393216, false},
    {5, 0x64, 0x8B, 917504, false},
    {kTablesContainerId, 0x65, 0x8E, 983294, true},
    {kTablesContainerId, 0x64, 0x8B, 393217, false},
    {kRelationshipsContainerId, 0x65, 0x8E, 983294, true},
    {kRelationshipsContainerId, 0x64, 0x8B, 393217, false},
    {kDatabasesContainerId, 0x64, 0x8B, 393216, false},
    {0x10000000, 0x64, 0x8B, 393230, false},
    {0x10000000, 0x65, 0x8B, 14, false},
    {4, 0x65, 0x8B, 20, false},
    {5, 0x65, 0x8B, 20, false},
    {2, 0x65, 0x8B, 20, false},
    {kTablesContainerId, 0x65, 0x8B, 1048319, true},
    {kRelationshipsContainerId, 0x65, 0x8B, 1048575, true},
};

// Access 97 writes the same two-byte SIDs in its own numbering.
Value sid(const NewFile& n, uint8_t b0, uint8_t b1) {
    if (!n.jet3()) return bin({b0, b1});
    if (b0 == 0x64 && b1 == 0x8B) return bin({0x03, 0x01});
    if (b0 == 0x65 && b1 == 0x8E) return bin({0x02, 0x04});
    if (b0 == 0x65 && b1 == 0x8B) return bin({0x02, 0x01});
    if (b0 == 0x65 && b1 == 0x89) return bin({0x02, 0x03});
    throw std::logic_error("no Access 97 form of this SID");
}

std::vector<Value> objectRow(const TableDef& t, int32_t id, int32_t parent, const char* name, int16_t type,
                             double created, Value owner) {
    std::vector<Value> row(t.columns.size());
    row[0] = Value::longInt(id);
    row[1] = Value::longInt(parent);
    row[2] = Value::text(name);
    row[3] = Value::integer(type);
    row[4] = Value::dateTime(DateTime{created});
    row[5] = Value::dateTime(DateTime{created});
    row[6] = std::move(owner);
    row[7] = Value::longInt(static_cast<int32_t>(0x80000000u));
    return row;
}

std::vector<uint8_t> encodeRow(const NewFile& n, const TableDef& t, const std::vector<Value>& row) {
    std::vector<EncodedColumn> cols;
    for (size_t i = 0; i < t.columns.size(); ++i) cols.push_back(encodeValue(n.f, t.columns[i], row[i], n.charset));
    return assembleRow(n.f, t, cols);
}

// Fills a data page with rows and a leaf page per index with their entries.
void fillTable(const NewFile& n, std::vector<std::vector<uint8_t>>& pages, const TableDef& t, uint32_t dataPage,
               const std::vector<std::vector<Value>>& rows, TableDefExtras& extras) {
    std::vector<RowId> ids;
    if (dataPage != 0) {
        pages[dataPage] = newDataPage(n.f, t.definitionPage);
        for (const auto& r : rows) {
            const auto slot = dataPageAddRow(n.f, pages[dataPage], encodeRow(n, t, r));
            if (!slot) throw std::logic_error("system rows do not fit their page");
            ids.push_back(RowId{dataPage, *slot});
        }
    }
    extras.physical.assign(t.indexes.size(), {});
    for (const IndexDef& idx : t.indexes) {
        std::vector<IndexPageEntry> entries;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (idx.ignoresNulls() && rowKeyAllNull(t, idx, rows[i])) continue;
            entries.push_back(IndexPageEntry{rowKey(n.f, t, idx, rows[i]), ids[i], 0});
        }
        std::sort(entries.begin(), entries.end(), [](const IndexPageEntry& a, const IndexPageEntry& b) {
            return a.key != b.key ? a.key < b.key : a.row < b.row;
        });
        uint32_t distinct = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            if (i == 0 || entries[i].key != entries[i - 1].key) ++distinct;
        extras.physical[idx.physicalNumber].uniqueEntries = distinct;
        pages[idx.rootPage] = buildIndexPage(n.f, true, t.definitionPage, 0, 0, 0, entries);
    }
}

// What both versions' header pages begin with: the page type, the name (with its terminating
// zero), the version and the fields before the masked region that every file carries.
std::vector<uint8_t> headerStart(size_t pageSize, uint32_t version) {
    std::vector<uint8_t> p(pageSize, 0);
    static const char kName[] = "Standard Jet DB";
    p[1] = 0x01;
    std::memcpy(p.data() + 4, kName, sizeof kName);
    put32(p, 0x14, version);
    static const uint8_t kFixed18[8] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00};
    std::memcpy(p.data() + 0x18, kFixed18, sizeof kFixed18);
    put32(p, 0x20, 2);
    put32(p, 0x24, 3);
    put32(p, 0x28, 4);
    put32(p, 0x2C, 5);
    return p;
}

// Header page, unmasked. The masked region (0x18..0x97) holds, besides the fields the reader
// uses, constants that every Access 2000 file carries; they are written as ADOX writes them.
// Access 97's header: version 0, the sort order at 0x3A, the password unmasked, and its own
// table of 256 two-byte values at 0x600.
std::vector<uint8_t> jet3HeaderPage() {
    std::vector<uint8_t> p = headerStart(kJet3Format.pageSize, 0); // Jet 3
    put16(p, 0x38, 1);
    put16(p, 0x3A, 0x0409); // General sort order
    put16(p, 0x3C, 1252);   // code page
    put32(p, 0x3E, 0);      // database key: pages are not encoded
    put16(p, 0x56, 0x251E); // a constant of every Access 97 file seen
    for (size_t i = 0x600; i < 0x800; i += 2) put16(p, i, 0x0100);
    p[0x600] = 0x01;
    p[0x602] = 0x09;
    return p;
}

std::vector<uint8_t> headerPage(double created) {
    std::vector<uint8_t> p = headerStart(kJet4Format.pageSize, 1); // Jet 4
    put16(p, 0x3C, 1252);                                          // code page
    put32(p, 0x3E, 0);                                             // database key: pages are not encoded
    // Password (40 bytes, empty) masked with the whole days of the creation date.
    const auto days = static_cast<uint32_t>(static_cast<int64_t>(created));
    for (size_t i = 0; i < 40; i += 4) put32(p, 0x42 + i, days);
    put16(p, 0x6E, 0x0409); // General sort order, version 0
    uint64_t bits = 0;
    std::memcpy(&bits, &created, sizeof bits);
    put32(p, 0x72, static_cast<uint32_t>(bits));
    put32(p, 0x76, static_cast<uint32_t>(bits >> 32));
    put32(p, 0x98, 0x0654);
    static const char kVersion[] = "4.0";
    std::memcpy(p.data() + 0x9C, kVersion, sizeof kVersion);
    // A table of 256 two-byte values at the end of the page, as in every Access 2000 file.
    for (size_t i = 0xE00; i < 0x1000; i += 2) put16(p, i, 0x0100);
    p[0xE00] = 0x01;
    return p;
}

} // namespace

double accessNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    DateTimeParts parts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
    return DateTime::fromParts(parts).days;
}

namespace {

NewFile newFile(const Format& f, const Jet3Charset* charset) {
    return f.isJet3() ? NewFile{f, 255, 15, charset} : NewFile{f, 510, kMapCount, nullptr};
}

std::vector<TableDef> systemTables(const NewFile& n) {
    std::vector<TableDef> out = {msysObjects(n), msysAces(n), msysQueries(n), msysRelationships(n)};
    for (auto& t : out) finish(n, t);
    return out;
}

std::vector<std::vector<uint8_t>> buildEmptyDatabase(const NewFile& n, double created) {
    std::vector<std::vector<uint8_t>> pages(pageCount(n));
    auto defs = systemTables(n);
    TableDef& objects = defs[0];
    TableDef& aces = defs[1];
    TableDef& queries = defs[2];
    TableDef& relationships = defs[3];

    const Value sysOwner = sid(n, 0x65, 0x89);
    std::vector<std::vector<Value>> objectRows = {
        objectRow(objects, kTablesContainerId, kTopContainerId, "Tables", 3, created, sysOwner),
        objectRow(objects, kDatabasesContainerId, kTopContainerId, "Databases", 3, created, sysOwner),
        objectRow(objects, kRelationshipsContainerId, kTopContainerId, "Relationships", 3, created, sysOwner),
        objectRow(objects, 0x10000000, kDatabasesContainerId, "MSysDb", 2, created, sid(n, 0x64, 0x8B)),
        objectRow(objects, 2, kTablesContainerId, "MSysObjects", 1, created, sysOwner),
        objectRow(objects, 3, kTablesContainerId, "MSysACEs", 1, created, sysOwner),
        objectRow(objects, 4, kTablesContainerId, "MSysQueries", 1, created, sysOwner),
        objectRow(objects, 5, kTablesContainerId, "MSysRelationships", 1, created, sysOwner),
    };
    std::vector<std::vector<Value>> aceRows;
    for (AceRow a : kAces) {
        // Access 97 gives the Admin user full rights on the Tables container.
        if (n.jet3() && a.object == kTablesContainerId && a.sid0 == 0x64) a = {a.object, a.sid0, a.sid1, 1048319, true};
        aceRows.push_back(
            {Value::longInt(a.object), sid(n, a.sid0, a.sid1), Value::longInt(a.acm), Value::boolean(a.inheritable)});
    }

    TableDefExtras objectsExtras, acesExtras, queriesExtras, relExtras;
    fillTable(n, pages, objects, kObjectsData, objectRows, objectsExtras);
    fillTable(n, pages, aces, kAcesData, aceRows, acesExtras);
    fillTable(n, pages, queries, 0, {}, queriesExtras);
    fillTable(n, pages, relationships, 0, {}, relExtras);
    objects.storedRowCount = static_cast<uint32_t>(objectRows.size());
    aces.storedRowCount = static_cast<uint32_t>(aceRows.size());

    // Long-value usage maps of the Memo/OLE columns: two rows each on the maps page.
    uint8_t slot = 2;
    for (const ColumnDef& c : objects.columns) {
        if (!c.isLongValue()) continue;
        objectsExtras.longValueMaps.push_back({c.number, mapRow(n, slot), mapRow(n, static_cast<uint8_t>(slot + 1))});
        slot = static_cast<uint8_t>(slot + 2);
    }
    queriesExtras.longValueMaps.push_back({5, mapRow(n, 23), mapRow(n, 24)});

    // The maps page: 31 inline maps in slot order.
    std::vector<std::vector<uint32_t>> maps(kMapCount);
    maps[0] = {kObjectsData};
    maps[1] = {kObjectsData};
    maps[16] = {kObjectsParentIdNameRoot};
    maps[17] = {kObjectsIdRoot};
    maps[18] = {kAcesData};
    maps[19] = {kAcesData};
    maps[20] = {kAcesRoot};
    maps[25] = {kQueriesRoot};
    maps[28] = {kRelRelationshipRoot};
    maps[29] = {kRelObjectRoot};
    maps[30] = {kRelReferencedObjectRoot};
    const size_t bitmap = mapBitmapBytes(n.f);
    for (uint8_t map = 0; map < kMapCount; ++map) {
        const uint32_t page = mapRow(n, map) >> 8;
        if (pages[page].empty()) pages[page] = newDataPage(n.f, 0);
        if (!dataPageAddRow(n.f, pages[page], encodeInlineUsageMap(0, maps[map], bitmap)))
            throw std::logic_error("usage maps do not fit their page");
    }

    // Global map page: slot 0 marks the pages past the end of the file as free; slot 1 is
    // an empty map.
    pages[kGlobalMapPage] = newDataPage(n.f, 1);
    {
        std::vector<uint32_t> free;
        for (uint32_t p = pageCount(n); p < bitmap * 8; ++p) free.push_back(p);
        dataPageAddRow(n.f, pages[kGlobalMapPage], encodeInlineUsageMap(0, free, bitmap));
        dataPageAddRow(n.f, pages[kGlobalMapPage], encodeInlineUsageMap(0, {}, bitmap));
    }

    const std::pair<TableDef*, TableDefExtras*> tables[] = {
        {&objects, &objectsExtras}, {&aces, &acesExtras}, {&queries, &queriesExtras}, {&relationships, &relExtras}};
    for (auto [t, extras] : tables) {
        const auto stream = encodeTableDefinition(n.f, *t, *extras, n.charset);
        const uint32_t at[] = {t->definitionPage};
        pages[t->definitionPage] = paginateTableDefinition(n.f, stream, at).front();
    }
    pages[kHeaderPage] = n.jet3() ? jet3HeaderPage() : headerPage(created);
    return pages;
}

} // namespace

std::vector<TableDef> systemTableDefinitions() { return systemTables(newFile(kJet4Format, nullptr)); }

std::vector<std::vector<uint8_t>> buildEmptyJet4Database(double created) {
    return buildEmptyDatabase(newFile(kJet4Format, nullptr), created);
}

std::vector<std::vector<uint8_t>> buildEmptyJet3Database(double created) {
    const Jet3Charset cp1252("new.mdb", "", 1252);
    return buildEmptyDatabase(newFile(kJet3Format, &cp1252), created);
}

void createEmptyJet4Database(const std::filesystem::path& path) { createEmptyDatabaseFile(path, Version::Jet4); }

void createEmptyDatabaseFile(const std::filesystem::path& path, Version version) {
    const std::string name = path.filename().string();
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        throw IoError(name, std::nullopt,
                      path.string() + " exists already; choose a new file name or delete the old file first.");
    }
    const Format& f = version == Version::Jet3 ? kJet3Format : kJet4Format;
    auto pages = version == Version::Jet3 ? buildEmptyJet3Database(accessNow()) : buildEmptyJet4Database(accessNow());
    // Mask the header region as it is stored.
    auto mask = headerMask();
    for (uint32_t i = 0; i < f.maskedHeaderLength; ++i) pages[0][f.maskedHeaderOffset + i] ^= mask[i];

    std::random_device rd;
    const std::filesystem::path tmp = path.parent_path() / ("." + name + ".tmp" + std::to_string(rd() % 1000000));
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw IoError(name, std::nullopt,
                      "cannot create " + path.string() + ": " + std::strerror(errno) +
                          ". Check that the folder exists and that you may write to it.");
    }
    bool ok = true;
    for (const auto& p : pages) {
        size_t done = 0;
        while (ok && done < p.size()) {
            const ssize_t n = ::write(fd, p.data() + done, p.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += static_cast<size_t>(n);
        }
    }
    const int err = errno;
    if (ok && ::fsync(fd) != 0) ok = false;
    ::close(fd);
    if (!ok || ::link(tmp.c_str(), path.c_str()) != 0) {
        const int e = ok ? errno : err;
        ::unlink(tmp.c_str());
        throw IoError(
            name, std::nullopt,
            "cannot create " + path.string() + ": " + std::strerror(e) +
                (e == EEXIST ? ". The file exists already; choose a new name." : ". Check the free disk space."));
    }
    ::unlink(tmp.c_str());
}

} // namespace jet::detail
