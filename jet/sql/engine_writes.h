// Internal to the engine adapter: the changes a writable database makes, over the
// engine's public write API (jet/writer.h). Kept apart so that the read side does not
// depend on it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "jet/database.h"
#include "jet/sql/engine.h"
#include "jet/sql/storage.h"

namespace jet::sql::detail {

class EngineWrites {
public:
    virtual ~EngineWrites() = default;
    // The file as the writer sees it. The writer keeps changed pages in its cache until it
    // flushes them, so call refresh() before reading after a change.
    virtual std::shared_ptr<jet::Database> database() = 0;
    virtual void refresh() = 0;
    // The row changes from here on as one step (a savepoint of the writer).
    virtual std::unique_ptr<ChangeScope> beginChanges() = 0;
    virtual void flush() = 0;
    virtual void createTable(const TableDefinition& definition) = 0;
    virtual void dropTable(std::string_view name) = 0;
    virtual std::optional<std::int64_t> insertRow(const jet::TableDef& table, const Row& values) = 0;
    virtual RowId updateRow(const jet::TableDef& table, RowId row, const Row& values) = 0;
    virtual void deleteRow(const jet::TableDef& table, RowId row) = 0;
    virtual std::uint64_t deleteAllRows(const jet::TableDef& table) = 0;
};

// Opens `path` for writing (create: makes a new empty Access 2000 file there first).
// The write side over a writer that the caller holds open.
std::unique_ptr<EngineWrites> wrapEngineWriter(std::shared_ptr<jet::DatabaseWriter> writer);

std::unique_ptr<EngineWrites> openEngineWrites(const std::filesystem::path& path, const EngineOptions& options,
                                               bool create);

} // namespace jet::sql::detail
