// Table definitions as the engine reads them from a file: columns, indexes, catalog entries.
// Plain data: the writer fills the same structures to create tables.
#pragma once

#include "jet/text.h"
#include "jet/value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// Column flag bits as stored in the table definition.
namespace column_flags {
inline constexpr uint8_t Fixed = 0x01;    // fixed-length column
inline constexpr uint8_t Nullable = 0x02; // may be null
inline constexpr uint8_t AutoLong = 0x04; // AutoNumber (Long)
inline constexpr uint8_t Replication = 0x10;
inline constexpr uint8_t AutoGuid = 0x40; // AutoNumber (Replication ID)
inline constexpr uint8_t Hyperlink = 0x80;
} // namespace column_flags

struct ColumnDef {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint16_t number = 0;      // position in the row's null mask (counts deleted columns)
    uint16_t varIndex = 0;    // slot in the variable-column offset table
    uint16_t fixedOffset = 0; // offset in the fixed area (after the column count)
    uint16_t length = 0;      // bytes (Text: bytes on disk, so characters * 2 in Jet 4)
    uint8_t precision = 0;    // Numeric only
    uint8_t scale = 0;        // Numeric only
    uint8_t flags = 0;        // column_flags bits
    uint8_t extFlags = 0;     // Jet 4: 0x01 compressed Unicode
    uint16_t sortOrder = 0;   // text collation (0x409 General)
    uint16_t codePage = 0;    // Jet 3 text: the column's code page field
    bool required = false;    // NOT NULL: the column's "Required" property (kept in the catalog)

    bool isFixed() const { return flags & column_flags::Fixed; }
    // Access leaves the GUID flag on some Text columns too (Northwind with forms): only a Long or
    // a GUID column is ever numbered.
    bool isAutoLong() const { return (flags & column_flags::AutoLong) && type == ColumnType::Long; }
    bool isAutoGuid() const { return (flags & column_flags::AutoGuid) && type == ColumnType::Guid; }
    bool isAutoNumber() const { return isAutoLong() || isAutoGuid(); }
    bool isCompressedUnicode() const { return extFlags & 0x01; }
    bool isLongValue() const { return type == ColumnType::Memo || type == ColumnType::Ole; }
};

// One column of an index.
struct IndexColumn {
    uint16_t columnNumber = 0; // ColumnDef::number
    std::string columnName;    // empty when the index has lost its column
    bool ascending = true;
};

// Index flag bits of the physical index.
namespace index_flags {
inline constexpr uint8_t Unique = 0x01;
inline constexpr uint8_t IgnoreNulls = 0x02;
inline constexpr uint8_t Required = 0x08;
} // namespace index_flags

// A logical index (what the user sees) together with the physical index it uses.
struct IndexDef {
    std::string name;
    uint32_t number = 0;         // logical index number
    uint32_t physicalNumber = 0; // which physical index holds the entries
    uint8_t type = 0;            // 1 primary key, 2 foreign key (relationship), 0 other
    uint8_t flags = 0;           // index_flags of the physical index
    std::vector<IndexColumn> columns;
    uint32_t rootPage = 0;     // first index page (root of the B-tree)
    uint32_t usageMap = 0;     // row pointer of the index's usage map
    int32_t relatedIndex = -1; // foreign key: index number in the other table
    uint32_t relatedTablePage = 0;
    bool cascadeUpdates = false;
    bool cascadeDeletes = false;

    bool isPrimaryKey() const { return type == 1; }
    bool isForeignKey() const { return type == 2; }
    bool isUnique() const { return flags & index_flags::Unique; }
    bool ignoresNulls() const { return flags & index_flags::IgnoreNulls; }
    bool isRequired() const { return flags & index_flags::Required; }
};

struct TableDef {
    std::string name;
    uint32_t definitionPage = 0; // first page of the table definition
    uint32_t storedRowCount = 0; // the count kept in the definition (may be stale)
    uint32_t nextAutoNumber = 0;
    uint8_t tableType = 0x4E; // 0x4E user, 0x53 system
    uint16_t maxColumns = 0;  // columns a row may hold, deleted ones included
    uint16_t varColumnCount = 0;
    uint32_t usageMap = 0;     // row pointer of the owned-pages map
    uint32_t freeSpaceMap = 0; // row pointer of the pages-with-free-space map
    uint32_t physicalIndexCount = 0;
    std::vector<ColumnDef> columns; // in definition order
    std::vector<IndexDef> indexes;
    // Why the table's column properties (its NOT NULL rules among them) could not be read from
    // its catalog row; empty when they could. The rows stay readable; writers refuse the table.
    std::string propertiesProblem;

    // Position in `columns` of the named column (case-insensitive ASCII), or -1.
    int findColumn(std::string_view name) const;
    const IndexDef* findIndex(std::string_view name) const;
};

enum class ObjectKind : uint8_t { Table, SystemTable, View, LinkedTable };

// One entry of the catalog (MSysObjects) the engine exposes.
struct CatalogEntry {
    std::string name;
    ObjectKind kind = ObjectKind::Table;
    int32_t id = 0;
    uint32_t definitionPage = 0; // tables: first page of the table definition
    uint32_t flags = 0;
    std::string sql;            // views: the saved query's Jet SQL
    std::string linkedDatabase; // linked tables: the other file or the connect string
    std::string linkedName;     // linked tables: the table's name in the other database
    uint32_t catalogRow = 0;    // where its MSysObjects row is (RowId::packed())
};

} // namespace jet
