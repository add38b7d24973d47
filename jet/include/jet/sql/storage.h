// What the SQL executor needs of a database: tables with their columns and indexes, row
// cursors (a full scan and a key-range seek on an index), saved queries' SQL, and the
// row and table changes that statements make. The engine adapter implements it over the
// engine's public API; tests can implement it in memory.
//
// Values cross this boundary in one canonical form per column type:
//   Boolean -> bool; Byte, Integer, Long -> int64; Currency -> Decimal with scale 4;
//   Decimal -> Decimal with the column's scale; Single, Double -> double; DateTime -> DateTime;
//   Text, Memo -> UTF-8 string; Binary, Ole -> Bytes; Guid -> Guid; a missing value -> Null.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/value.h"

namespace jet::sql {

struct ColumnInfo {
    std::string name;
    ColumnType type = ColumnType::Text;
    std::uint32_t size = 0;     // Text: characters; Binary: bytes; otherwise 0
    std::uint8_t precision = 0; // Decimal
    std::uint8_t scale = 0;     // Decimal
    bool autoNumber = false;
    bool required = false;   // NOT NULL
    bool compressed = false; // Text/Memo stored as compressed Unicode
};

struct IndexInfo {
    std::string name;
    std::vector<std::size_t> columns; // positions in the table's column list, most significant first
    std::vector<bool> descending;     // one flag per column
    bool primaryKey = false;
    bool unique = false;
    bool seekable = true; // the storage can seek on its first column
};

using RowId = std::uint64_t; // opaque; valid until the row is changed

// A cursor over rows. next() moves to the next row (false at the end); row() and rowId()
// describe the current row until the next call of next().
class RowCursor {
public:
    virtual ~RowCursor() = default;
    virtual bool next() = 0;
    virtual const Row& row() const = 0;
    virtual RowId rowId() const = 0;
};

struct KeyBound {
    Value value; // in the canonical form of the key column's type
    bool inclusive = true;
};

// A range of the first key column of an index; an absent bound is open.
struct KeyRange {
    std::optional<KeyBound> low;
    std::optional<KeyBound> high;
};

class TableAccess {
public:
    virtual ~TableAccess() = default;
    virtual const std::string& name() const = 0;
    virtual const std::vector<ColumnInfo>& columns() const = 0;
    virtual const std::vector<IndexInfo>& indexes() const = 0;

    // Every row, in the table's physical order.
    virtual std::unique_ptr<RowCursor> scan() = 0;
    // Every row whose key in index `index` (its first column) lies in `range`, each once, in
    // ascending key order; rows with a Null key are left out. For Byte, Integer and Long keys
    // exactly the rows in range (the executor then does not test them again); for other key
    // types it may return more rows than the range holds (they are filtered), never fewer.
    virtual std::unique_ptr<RowCursor> seek(std::size_t index, const KeyRange& range) = 0;
    // The rows really there (not a count stored in the table definition).
    virtual std::uint64_t countRows() = 0;

    // Changes. Values are in column order and canonical form; Null in an auto-number column
    // means "assign the next number". insertRow returns the auto-number assigned, if any.
    // They throw (with a message naming the table) when the database is read-only or a key
    // would be duplicated; then nothing is changed.
    virtual std::optional<std::int64_t> insertRow(const Row& values) = 0;
    virtual void updateRow(RowId row, const Row& values) = 0;
    virtual void deleteRow(RowId row) = 0;
    // Deletes every row (DELETE without a condition) when the storage has a faster way than
    // row by row; returns how many rows went, or nothing when the executor should delete
    // them one by one.
    virtual std::optional<std::uint64_t> deleteAllRows() { return std::nullopt; }
};

struct TableDefinition {
    std::string name;
    std::vector<ColumnInfo> columns;
    std::vector<IndexInfo> indexes; // primary key and unique indexes
};

// The changes made while it is open, as one step: commit() keeps them, destroying the scope
// without commit() undoes them all.
class ChangeScope {
public:
    virtual ~ChangeScope() = default;
    virtual void commit() = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // Opens a scope for the row changes of one statement; nullptr when the database cannot
    // undo changes (then a statement that fails keeps what it changed so far).
    virtual std::unique_ptr<ChangeScope> beginChanges() { return nullptr; }
    // Writes the changes made so far to the disk, where a database keeps them in a cache
    // first; throws when that fails (closing it would only say so on stderr).
    virtual void flush() {}
    // The file this database was opened from (for recognising IN 'file' naming itself).
    virtual std::string path() const = 0;
    virtual std::vector<std::string> tableNames() = 0;
    // The SQL of a saved select query (a view), or nothing when `name` is not one.
    virtual std::optional<std::string> viewSql(std::string_view name) = 0;
    // The table named `name` (letter case ignored, as Jet does), or nullptr.
    virtual std::unique_ptr<TableAccess> openTable(std::string_view name) = 0;

    virtual void createTable(const TableDefinition& definition) = 0;
    virtual void dropTable(std::string_view name) = 0;
    // Another database file, opened for writing (SELECT ... INTO [t] IN 'file').
    virtual std::shared_ptr<Database> openOther(const std::string& path) = 0;
};

} // namespace jet::sql
