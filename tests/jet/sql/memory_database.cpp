// In-memory Database for the executor's tests (see memory_database.h).
#include "memory_database.h"

#include <algorithm>
#include <stdexcept>

#include "eval.h"

namespace jet::sql::testing {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

class VectorCursor : public RowCursor {
public:
    VectorCursor(MemoryTable& table, std::vector<std::size_t> slots, MemoryStats& stats)
        : table_(table), slots_(std::move(slots)), stats_(stats) {}
    bool next() override {
        while (next_ < slots_.size()) {
            at_ = slots_[next_++];
            if (table_.rows[at_]) {
                ++stats_.rowsRead;
                return true;
            }
        }
        return false;
    }
    const Row& row() const override { return *table_.rows[at_]; }
    RowId rowId() const override { return at_; }

private:
    MemoryTable& table_;
    std::vector<std::size_t> slots_;
    std::size_t next_ = 0;
    std::size_t at_ = 0;
    MemoryStats& stats_;
};

bool inRange(const Value& key, const KeyRange& range) {
    if (range.low) {
        int c = *detail::compareValues(key, range.low->value);
        if (c < 0 || (c == 0 && !range.low->inclusive)) return false;
    }
    if (range.high) {
        int c = *detail::compareValues(key, range.high->value);
        if (c > 0 || (c == 0 && !range.high->inclusive)) return false;
    }
    return true;
}

class MemoryTableAccess : public TableAccess {
public:
    MemoryTableAccess(MemoryTable& table, MemoryStats& stats) : table_(table), stats_(stats) {}
    const std::string& name() const override { return table_.definition.name; }
    const std::vector<ColumnInfo>& columns() const override { return table_.definition.columns; }
    const std::vector<IndexInfo>& indexes() const override { return table_.definition.indexes; }

    std::unique_ptr<RowCursor> scan() override {
        ++stats_.scans;
        std::vector<std::size_t> slots(table_.rows.size());
        for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = i;
        return std::make_unique<VectorCursor>(table_, std::move(slots), stats_);
    }

    std::unique_ptr<RowCursor> seek(std::size_t index, const KeyRange& range) override {
        ++stats_.seeks;
        std::size_t column = table_.definition.indexes.at(index).columns.at(0);
        std::vector<std::size_t> slots;
        for (std::size_t i = 0; i < table_.rows.size(); ++i) {
            if (!table_.rows[i]) continue;
            const Value& key = (*table_.rows[i])[column];
            if (!key.isNull() && inRange(key, range)) slots.push_back(i);
        }
        std::stable_sort(slots.begin(), slots.end(), [&](std::size_t a, std::size_t b) {
            return detail::orderValues((*table_.rows[a])[column], (*table_.rows[b])[column]) < 0;
        });
        return std::make_unique<VectorCursor>(table_, std::move(slots), stats_);
    }

    std::uint64_t countRows() override {
        return static_cast<std::uint64_t>(
            std::count_if(table_.rows.begin(), table_.rows.end(), [](const auto& r) { return r.has_value(); }));
    }

    std::optional<std::int64_t> insertRow(const Row& values) override {
        Row row = values;
        std::optional<std::int64_t> assigned;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (table_.definition.columns[c].autoNumber) {
                if (row[c].isNull()) {
                    row[c] = Value(table_.nextAutoNumber);
                    assigned = table_.nextAutoNumber;
                }
                table_.nextAutoNumber = std::max(table_.nextAutoNumber, row[c].asInt() + 1);
            }
        }
        checkUnique(row, std::nullopt);
        table_.rows.push_back(std::move(row));
        return assigned;
    }

    void updateRow(RowId id, const Row& values) override {
        checkUnique(values, id);
        table_.rows.at(id) = values;
    }

    void deleteRow(RowId id) override { table_.rows.at(id).reset(); }

private:
    void checkUnique(const Row& row, std::optional<RowId> self) {
        for (const IndexInfo& ix : table_.definition.indexes) {
            if (!ix.unique && !ix.primaryKey) continue;
            for (std::size_t i = 0; i < table_.rows.size(); ++i) {
                if (!table_.rows[i] || (self && *self == i)) continue;
                bool same = true;
                for (std::size_t c : ix.columns) {
                    const Value& a = row[c];
                    const Value& b = (*table_.rows[i])[c];
                    if (a.isNull() || b.isNull() || *detail::compareValues(a, b) != 0) same = false;
                }
                if (same)
                    throw std::runtime_error(
                        "The changes you requested to the table were not successful because they would create "
                        "duplicate values in the index, primary key, or relationship (index '" +
                        ix.name + "' of '" + table_.definition.name + "').");
            }
        }
    }
    MemoryTable& table_;
    MemoryStats& stats_;
};

} // namespace

MemoryTable* MemoryDatabase::find(std::string_view name) {
    for (auto& t : tables_)
        if (lower(t->definition.name) == lower(name)) return t.get();
    return nullptr;
}

std::vector<std::string> MemoryDatabase::tableNames() {
    std::vector<std::string> names;
    for (auto& t : tables_) names.push_back(t->definition.name);
    return names;
}

std::optional<std::string> MemoryDatabase::viewSql(std::string_view name) {
    for (auto& [n, sql] : views_)
        if (lower(n) == lower(name)) return sql;
    return std::nullopt;
}

std::unique_ptr<TableAccess> MemoryDatabase::openTable(std::string_view name) {
    MemoryTable* t = find(name);
    if (!t) return nullptr;
    return std::make_unique<MemoryTableAccess>(*t, stats);
}

void MemoryDatabase::createTable(const TableDefinition& definition) {
    if (find(definition.name)) throw std::runtime_error("table exists: " + definition.name);
    auto t = std::make_unique<MemoryTable>();
    t->definition = definition;
    tables_.push_back(std::move(t));
}

void MemoryDatabase::dropTable(std::string_view name) {
    auto it = std::find_if(tables_.begin(), tables_.end(),
                           [&](const auto& t) { return lower(t->definition.name) == lower(name); });
    if (it == tables_.end()) throw std::runtime_error("no such table");
    tables_.erase(it);
}

std::shared_ptr<Database> MemoryDatabase::openOther(const std::string& path) {
    auto it = others_.find(path);
    if (it == others_.end()) throw std::runtime_error("Could not find file '" + path + "'.");
    return it->second;
}

} // namespace jet::sql::testing
