// The open database behind jet::Database: page file, text decoding, cached catalog and
// table definitions. Internal; the writer and the checker build on it.
#pragma once

#include "jet/database.h"
#include "file/page_file.h"
#include "value/text_codec.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace jet::detail {

class DatabaseImpl;

// The internals behind a jet::Database, for the writer, the checker and the engine's tests.
class DatabaseAccess {
public:
    static DatabaseImpl& impl(const Database& db) { return *db.impl_; }
};

inline DatabaseImpl& implOf(const Database& db) { return DatabaseAccess::impl(db); }

class DatabaseImpl {
public:
    DatabaseImpl(const std::filesystem::path& path, const OpenOptions& options);

    PageFile& file() { return file_; }
    const Format& format() const { return file_.format(); }
    const OpenOptions& options() const { return options_; }

    // Text of a row or definition to UTF-8 (Jet 4 UCS-2 or the Jet 3 code page).
    void decodeText(std::span<const uint8_t> bytes, std::string& out) const;
    std::string decodeText(std::span<const uint8_t> bytes) const;
    // The code page of a Jet 3 file's text (null for Jet 4).
    const Jet3Charset* charset() const { return charset_.get(); }

    const std::vector<CatalogEntry>& catalog();        // views without SQL (fast)
    const std::vector<CatalogEntry>& catalogWithSql(); // views with their SQL
    std::shared_ptr<const TableDef> tableDef(uint32_t page, const std::string& name);
    std::shared_ptr<const TableDef> tableByName(std::string_view name);
    // `def` with each column's "Required" property from the table's catalog row.
    std::shared_ptr<const TableDef> withColumnProperties(std::shared_ptr<const TableDef> def);

    // Reads the bytes of the row `rowPointer` points at, following overflow pointers.
    // nullopt for a deleted row. `owner`: when non-zero, the data page must belong to it.
    struct LocatedRow {
        PageRef page; // keeps `bytes` alive
        std::span<const uint8_t> bytes;
        RowId id;
    };
    std::optional<LocatedRow> locateRow(RowId id, uint32_t owner);

    // Drops the cached catalog and table definitions (the writer calls this after it changed
    // them, so the next read sees the file as it is now).
    void forgetCachedDefinitions() {
        catalog_.reset();
        tables_.clear();
    }

private:
    PageFile file_;
    OpenOptions options_;
    std::unique_ptr<Jet3Charset> charset_;
    std::optional<std::vector<CatalogEntry>> catalog_;
    bool viewSqlRead_ = false;
    std::map<uint32_t, std::shared_ptr<const TableDef>> tables_;
};

} // namespace jet::detail
