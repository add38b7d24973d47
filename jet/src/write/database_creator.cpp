// Creating a new empty Jet 4 database (see database_creator.h).
#include "write/database_creator.h"

#include "file/bytes.h"
#include "jet/error.h"
#include "write/page_builders.h"
#include "file/page_file.h"
#include "table/row_encoder.h"
#include "index/row_keys.h"
#include "table/table_def_writer.h"

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

const Format& F() { return kJet4Format; }

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
};

constexpr size_t kMapBitmapBytes = 64; // Jet 4 usage-map rows: 5-byte head + 64-byte bitmap

uint32_t mapRow(uint8_t slot) { return (kMapsPage << 8) | slot; }

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

TableDef systemTable(const char* name, uint32_t page, uint8_t usedSlot) {
    TableDef t;
    t.name = name;
    t.definitionPage = page;
    t.tableType = 0x53;
    t.usageMap = mapRow(usedSlot);
    t.freeSpaceMap = mapRow(static_cast<uint8_t>(usedSlot + 1));
    return t;
}

constexpr uint8_t kOwnerFlags = column_flags::Nullable | column_flags::Replication | 0x20;

TableDef msysObjects() {
    TableDef t = systemTable("MSysObjects", kObjectsTdef, 0);
    t.columns = {
        fixedColumn("Id", ColumnType::Long, 0, 0, 4),
        fixedColumn("ParentId", ColumnType::Long, 1, 4, 4),
        varColumn("Name", ColumnType::Text, 2, 0, 510),
        fixedColumn("Type", ColumnType::Integer, 3, 8, 2),
        fixedColumn("DateCreate", ColumnType::DateTime, 4, 10, 8),
        fixedColumn("DateUpdate", ColumnType::DateTime, 5, 18, 8),
        varColumn("Owner", ColumnType::Binary, 6, 1, 510, kOwnerFlags),
        fixedColumn("Flags", ColumnType::Long, 7, 26, 4),
        varColumn("Database", ColumnType::Memo, 8, 2, 0),
        varColumn("Connect", ColumnType::Memo, 9, 3, 0),
        varColumn("ForeignName", ColumnType::Text, 10, 4, 510),
        varColumn("RmtInfoShort", ColumnType::Binary, 11, 5, 510),
        varColumn("RmtInfoLong", ColumnType::Ole, 12, 6, 0),
        varColumn("Lv", ColumnType::Ole, 13, 7, 0),
        varColumn("LvProp", ColumnType::Ole, 14, 8, 0),
        varColumn("LvModule", ColumnType::Ole, 15, 9, 0),
        varColumn("LvExtra", ColumnType::Ole, 16, 10, 0),
    };
    t.indexes = {
        index("ParentIdName", 0, 0, index_flags::Unique, {1, 2}, kObjectsParentIdNameRoot, mapRow(16)),
        index("Id", 1, 1, index_flags::Unique, {0}, kObjectsIdRoot, mapRow(17)),
    };
    return t;
}

TableDef msysAces() {
    TableDef t = systemTable("MSysACEs", kAcesTdef, 18);
    t.columns = {
        fixedColumn("ObjectId", ColumnType::Long, 0, 0, 4),
        varColumn("SID", ColumnType::Binary, 1, 0, 510, kOwnerFlags),
        fixedColumn("ACM", ColumnType::Long, 2, 4, 4),
        fixedColumn("FInheritable", ColumnType::Boolean, 3, 0, 1),
    };
    t.indexes = {index("ObjectId", 0, 0, index_flags::Required, {0}, kAcesRoot, mapRow(20))};
    return t;
}

TableDef msysQueries() {
    TableDef t = systemTable("MSysQueries", kQueriesTdef, 21);
    t.columns = {
        fixedColumn("ObjectId", ColumnType::Long, 0, 0, 4), fixedColumn("Attribute", ColumnType::Byte, 1, 4, 1),
        varColumn("Order", ColumnType::Binary, 2, 0, 510),  varColumn("Name1", ColumnType::Text, 3, 1, 510),
        varColumn("Name2", ColumnType::Text, 4, 2, 510),    varColumn("Expression", ColumnType::Memo, 5, 3, 0),
        fixedColumn("Flag", ColumnType::Integer, 6, 5, 2),  fixedColumn("LvExtra", ColumnType::Long, 7, 7, 4),
    };
    t.indexes = {index("ObjectIdAttribute", 0, 1, index_flags::Unique, {0, 1, 2}, kQueriesRoot, mapRow(25))};
    return t;
}

TableDef msysRelationships() {
    TableDef t = systemTable("MSysRelationships", kRelationshipsTdef, 26);
    t.columns = {
        varColumn("szRelationship", ColumnType::Text, 0, 0, 510),
        fixedColumn("grbit", ColumnType::Long, 1, 0, 4),
        fixedColumn("ccolumn", ColumnType::Long, 2, 4, 4),
        fixedColumn("icolumn", ColumnType::Long, 3, 8, 4),
        varColumn("szObject", ColumnType::Text, 4, 1, 510),
        varColumn("szColumn", ColumnType::Text, 5, 2, 510),
        varColumn("szReferencedObject", ColumnType::Text, 6, 3, 510),
        varColumn("szReferencedColumn", ColumnType::Text, 7, 4, 510),
    };
    t.indexes = {
        index("szRelationship", 0, 0, index_flags::IgnoreNulls, {0}, kRelRelationshipRoot, mapRow(28)),
        index("szObject", 1, 0, index_flags::IgnoreNulls, {4}, kRelObjectRoot, mapRow(29)),
        index("szReferencedObject", 2, 0, index_flags::IgnoreNulls, {6}, kRelReferencedObjectRoot, mapRow(30)),
    };
    return t;
}

void finish(TableDef& t) {
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

std::vector<uint8_t> encodeRow(const TableDef& t, const std::vector<Value>& row) {
    std::vector<EncodedColumn> cols;
    for (size_t i = 0; i < t.columns.size(); ++i) cols.push_back(encodeValue(F(), t.columns[i], row[i]));
    return assembleRow(F(), t, cols);
}

// Fills a data page with rows and a leaf page per index with their entries.
void fillTable(std::vector<std::vector<uint8_t>>& pages, const TableDef& t, uint32_t dataPage,
               const std::vector<std::vector<Value>>& rows, TableDefExtras& extras) {
    std::vector<RowId> ids;
    if (dataPage != 0) {
        pages[dataPage] = newDataPage(F(), t.definitionPage);
        for (const auto& r : rows) {
            const auto slot = dataPageAddRow(F(), pages[dataPage], encodeRow(t, r));
            if (!slot) throw std::logic_error("system rows do not fit their page");
            ids.push_back(RowId{dataPage, *slot});
        }
    }
    extras.physical.assign(t.indexes.size(), {});
    for (const IndexDef& idx : t.indexes) {
        std::vector<IndexPageEntry> entries;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (idx.ignoresNulls() && rowKeyAllNull(t, idx, rows[i])) continue;
            entries.push_back(IndexPageEntry{rowKey(F(), t, idx, rows[i]), ids[i], 0});
        }
        std::sort(entries.begin(), entries.end(), [](const IndexPageEntry& a, const IndexPageEntry& b) {
            return a.key != b.key ? a.key < b.key : a.row < b.row;
        });
        uint32_t distinct = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            if (i == 0 || entries[i].key != entries[i - 1].key) ++distinct;
        extras.physical[idx.physicalNumber].uniqueEntries = distinct;
        pages[idx.rootPage] = buildIndexPage(F(), true, t.definitionPage, 0, 0, 0, entries);
    }
}

// Header page, unmasked. The masked region (0x18..0x97) holds, besides the fields the reader
// uses, constants that every Access 2000 file carries; they are written as ADOX writes them.
std::vector<uint8_t> headerPage(double created) {
    std::vector<uint8_t> p(F().pageSize, 0);
    static const char kName[] = "Standard Jet DB";
    p[1] = 0x01;
    std::memcpy(p.data() + 4, kName, sizeof kName); // with its terminating zero
    put32(p, 0x14, 1);                              // Jet 4
    static const uint8_t kFixed18[8] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00};
    std::memcpy(p.data() + 0x18, kFixed18, sizeof kFixed18);
    put32(p, 0x20, 2);
    put32(p, 0x24, 3);
    put32(p, 0x28, 4);
    put32(p, 0x2C, 5);
    put16(p, 0x3C, 1252); // code page
    put32(p, 0x3E, 0);    // database key: pages are not encoded
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

std::vector<TableDef> systemTableDefinitions() {
    std::vector<TableDef> out = {msysObjects(), msysAces(), msysQueries(), msysRelationships()};
    for (auto& t : out) finish(t);
    return out;
}

std::vector<std::vector<uint8_t>> buildEmptyJet4Database(double created) {
    std::vector<std::vector<uint8_t>> pages(kPageCount);
    auto defs = systemTableDefinitions();
    TableDef& objects = defs[0];
    TableDef& aces = defs[1];
    TableDef& queries = defs[2];
    TableDef& relationships = defs[3];

    const Value sysOwner = bin({0x65, 0x89});
    std::vector<std::vector<Value>> objectRows = {
        objectRow(objects, kTablesContainerId, kTopContainerId, "Tables", 3, created, sysOwner),
        objectRow(objects, kDatabasesContainerId, kTopContainerId, "Databases", 3, created, sysOwner),
        objectRow(objects, kRelationshipsContainerId, kTopContainerId, "Relationships", 3, created, sysOwner),
        objectRow(objects, 0x10000000, kDatabasesContainerId, "MSysDb", 2, created, bin({0x64, 0x8B})),
        objectRow(objects, 2, kTablesContainerId, "MSysObjects", 1, created, sysOwner),
        objectRow(objects, 3, kTablesContainerId, "MSysACEs", 1, created, sysOwner),
        objectRow(objects, 4, kTablesContainerId, "MSysQueries", 1, created, sysOwner),
        objectRow(objects, 5, kTablesContainerId, "MSysRelationships", 1, created, sysOwner),
    };
    std::vector<std::vector<Value>> aceRows;
    for (const AceRow& a : kAces)
        aceRows.push_back(
            {Value::longInt(a.object), bin({a.sid0, a.sid1}), Value::longInt(a.acm), Value::boolean(a.inheritable)});

    TableDefExtras objectsExtras, acesExtras, queriesExtras, relExtras;
    fillTable(pages, objects, kObjectsData, objectRows, objectsExtras);
    fillTable(pages, aces, kAcesData, aceRows, acesExtras);
    fillTable(pages, queries, 0, {}, queriesExtras);
    fillTable(pages, relationships, 0, {}, relExtras);
    objects.storedRowCount = static_cast<uint32_t>(objectRows.size());
    aces.storedRowCount = static_cast<uint32_t>(aceRows.size());

    // Long-value usage maps of the Memo/OLE columns: two rows each on the maps page.
    uint8_t slot = 2;
    for (const ColumnDef& c : objects.columns) {
        if (!c.isLongValue()) continue;
        objectsExtras.longValueMaps.push_back({c.number, mapRow(slot), mapRow(static_cast<uint8_t>(slot + 1))});
        slot = static_cast<uint8_t>(slot + 2);
    }
    queriesExtras.longValueMaps.push_back({5, mapRow(23), mapRow(24)});

    // The maps page: 31 inline maps in slot order.
    std::vector<std::vector<uint32_t>> maps(31);
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
    pages[kMapsPage] = newDataPage(F(), 0);
    for (const auto& m : maps) {
        if (!dataPageAddRow(F(), pages[kMapsPage], encodeInlineUsageMap(0, m, kMapBitmapBytes)))
            throw std::logic_error("usage maps do not fit their page");
    }

    // Global map page: slot 0 marks the pages past the end of the file as free; slot 1 is
    // an empty map.
    pages[kGlobalMapPage] = newDataPage(F(), 1);
    {
        std::vector<uint32_t> free;
        for (uint32_t p = kPageCount; p < kMapBitmapBytes * 8; ++p) free.push_back(p);
        dataPageAddRow(F(), pages[kGlobalMapPage], encodeInlineUsageMap(0, free, kMapBitmapBytes));
        dataPageAddRow(F(), pages[kGlobalMapPage], encodeInlineUsageMap(0, {}, kMapBitmapBytes));
    }

    const std::pair<TableDef*, TableDefExtras*> tables[] = {
        {&objects, &objectsExtras}, {&aces, &acesExtras}, {&queries, &queriesExtras}, {&relationships, &relExtras}};
    for (auto [t, extras] : tables) {
        const auto stream = encodeTableDefinition(F(), *t, *extras);
        const uint32_t at[] = {t->definitionPage};
        pages[t->definitionPage] = paginateTableDefinition(F(), stream, at).front();
    }
    pages[kHeaderPage] = headerPage(created);
    return pages;
}

void createEmptyJet4Database(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        throw IoError(name, std::nullopt,
                      path.string() + " exists already; choose a new file name or delete the old file first.");
    }
    auto pages = buildEmptyJet4Database(accessNow());
    // Mask the header region as it is stored.
    auto mask = headerMask();
    for (uint32_t i = 0; i < F().maskedHeaderLength; ++i) pages[0][F().maskedHeaderOffset + i] ^= mask[i];

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
