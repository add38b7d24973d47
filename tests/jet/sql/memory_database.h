// An in-memory jet::sql::Database for the executor's tests: tables as row vectors,
// unique indexes enforced, seeks answered from a sorted copy of the keys. It counts the
// rows its cursors hand out, so tests can see whether a statement scanned or sought.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "jet/sql/storage.h"

namespace jet::sql::testing {

struct MemoryTable {
    TableDefinition definition;
    std::vector<std::optional<Row>> rows; // deleted rows leave an empty slot
    std::int64_t nextAutoNumber = 1;
};

struct MemoryStats {
    std::uint64_t rowsRead = 0; // rows handed out by cursors
    std::uint64_t scans = 0;
    std::uint64_t seeks = 0;
};

class MemoryDatabase : public Database, public std::enable_shared_from_this<MemoryDatabase> {
public:
    explicit MemoryDatabase(std::string path = "memory.mdb") : path_(std::move(path)) {}

    std::string path() const override { return path_; }
    std::vector<std::string> tableNames() override;
    std::optional<std::string> viewSql(std::string_view name) override;
    std::unique_ptr<TableAccess> openTable(std::string_view name) override;
    void createTable(const TableDefinition& definition) override;
    void dropTable(std::string_view name) override;
    std::shared_ptr<Database> openOther(const std::string& path) override;

    void addView(const std::string& name, const std::string& sql) { views_[name] = sql; }
    // Other "files" that SELECT ... INTO ... IN 'file' can reach, by path.
    void addOther(const std::string& path, std::shared_ptr<MemoryDatabase> db) { others_[path] = std::move(db); }

    MemoryStats stats;

private:
    MemoryTable* find(std::string_view name);
    std::string path_;
    std::vector<std::unique_ptr<MemoryTable>> tables_;
    std::map<std::string, std::string> views_;
    std::map<std::string, std::shared_ptr<MemoryDatabase>> others_;
};

} // namespace jet::sql::testing
