// jet::Database: an open Access .mdb file (Jet 3 = Access 97, Jet 4 = Access 2000-2003).
// The Database owns the file handle and the page cache; tables, cursors and index cursors
// keep it alive through a shared handle, so they stay valid after the Database object
// itself is gone. Not thread-safe: use one Database per thread.
#pragma once

#include "jet/cursor.h"
#include "jet/relationships.h"
#include "jet/schema.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace jet {

namespace detail {
class DatabaseImpl;
class DatabaseAccess;
} // namespace detail

enum class Version : uint8_t { Jet3, Jet4 };

struct OpenOptions {
    // Jet 3 text is in the code page of the machine that wrote it; the header does not
    // always say which (a Chinese Windows writes GBK under a header that says 1252).
    // Empty: use the header's code page. Otherwise an iconv name ("GBK", "CP1251") or a
    // Windows code page number as text ("936").
    std::string jet3CodePage;
    bool writable = false;   // open for writing (the writer's entry point)
    size_t cachePages = 512; // pages kept decoded in memory
};

class Database {
public:
    // Opens and checks the header; throws IoError, FormatError or UnsupportedError.
    static Database open(const std::filesystem::path& path, const OpenOptions& options = {});

    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    ~Database();

    Version version() const;
    uint32_t pageSize() const;
    uint32_t pageCount() const;
    uint16_t codePage() const;           // the header's code page
    uint16_t sortOrder() const;          // the header's default collation
    bool isPageEncoded() const;          // pages RC4-encoded with the database key
    const std::string& fileName() const; // for messages
    const std::filesystem::path& path() const;

    // Catalog.
    std::vector<CatalogEntry> objects() const;   // tables, system tables, views, linked tables
    std::vector<std::string> tableNames() const; // user tables only, catalog order
    std::vector<CatalogEntry> views() const;     // saved select queries
    std::vector<CatalogEntry> linkedTables() const;
    bool hasTable(std::string_view name) const; // case-insensitive, system tables too
    // The relationships of MSysRelationships, in its row order (none when it is missing).
    std::vector<Relationship> relationships() const;

    // Table definition (cached; system tables too). Throws NotFoundError.
    std::shared_ptr<const TableDef> table(std::string_view name) const;
    std::shared_ptr<const TableDef> tableAt(uint32_t definitionPage, std::string name) const;

    // Rows in storage order; memory does not grow with the row count.
    RowCursor scan(std::string_view tableName, const ScanOptions& options = {}) const;
    RowCursor scan(std::shared_ptr<const TableDef> table, const ScanOptions& options = {}) const;

    // One row by its row id; nullopt when the slot is empty or deleted.
    std::optional<std::vector<Value>> readRow(const TableDef& table, RowId id) const;
    // The same for many rows: a reader that keeps its decoding state between rows.
    RowReader rowReader(std::shared_ptr<const TableDef> table) const;

    // The number of live rows (counts them; the stored count can be stale).
    uint64_t countRows(const TableDef& table) const;

    // Index entries in key order, or from the first entry whose key is >= `key`.
    IndexCursor indexScan(std::shared_ptr<const TableDef> table, const IndexDef& index) const;
    IndexCursor indexSeek(std::shared_ptr<const TableDef> table, const IndexDef& index,
                          std::span<const uint8_t> key) const;
    // Row ids whose key bytes equal `key` exactly.
    std::vector<RowId> indexFind(std::shared_ptr<const TableDef> table, const IndexDef& index,
                                 std::span<const uint8_t> key) const;
    // Row ids whose indexed columns equal `values` (one per index column, in index order),
    // found through the index. Throws jet::KeyEncodingError for a value of the wrong kind.
    std::vector<RowId> indexFindValues(std::shared_ptr<const TableDef> table, const IndexDef& index,
                                       std::span<const Value> values) const;
    // Index entries in key order from the first whose leading columns are >= `leading` (one
    // value per leading index column, in index order; fewer than the index has). Throws
    // jet::KeyEncodingError for a value of the wrong kind.
    IndexCursor indexSeekValues(std::shared_ptr<const TableDef> table, const IndexDef& index,
                                std::span<const Value> leading) const;

private:
    friend class detail::DatabaseAccess; // the engine's own code reaches the internals (jet/src)
    explicit Database(std::shared_ptr<detail::DatabaseImpl> impl);
    std::shared_ptr<detail::DatabaseImpl> impl_;
};

} // namespace jet
