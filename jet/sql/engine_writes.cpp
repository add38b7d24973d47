// The engine adapter's write side over jet::DatabaseWriter (see engine_writes.h).
#include "engine_writes.h"

#include <map>

#include "jet/sql/error.h"
#include "jet/writer.h"

namespace jet::sql::detail {
namespace {

jet::ColumnType toEngineType(ColumnType t) {
    switch (t) {
    case ColumnType::Boolean: return jet::ColumnType::Boolean;
    case ColumnType::Byte: return jet::ColumnType::Byte;
    case ColumnType::Integer: return jet::ColumnType::Integer;
    case ColumnType::Long: return jet::ColumnType::Long;
    case ColumnType::Currency: return jet::ColumnType::Currency;
    case ColumnType::Single: return jet::ColumnType::Single;
    case ColumnType::Double: return jet::ColumnType::Double;
    case ColumnType::DateTime: return jet::ColumnType::DateTime;
    case ColumnType::Binary: return jet::ColumnType::Binary;
    case ColumnType::Text: return jet::ColumnType::Text;
    case ColumnType::Ole: return jet::ColumnType::Ole;
    case ColumnType::Memo: return jet::ColumnType::Memo;
    case ColumnType::Guid: return jet::ColumnType::Guid;
    case ColumnType::Decimal: return jet::ColumnType::Numeric;
    }
    return jet::ColumnType::Text;
}

std::vector<jet::Value> engineRow(const jet::TableDef& table, const Row& values) {
    std::vector<jet::Value> row;
    row.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) row.push_back(toEngineValue(values[i], table.columns[i].type));
    return row;
}

class WriterWrites : public EngineWrites {
public:
    explicit WriterWrites(jet::DatabaseWriter writer)
        : writer_(std::make_shared<jet::DatabaseWriter>(std::move(writer))) {}
    explicit WriterWrites(std::shared_ptr<jet::DatabaseWriter> writer) : writer_(std::move(writer)) {}

    std::shared_ptr<jet::Database> database() override {
        // Shares ownership with the writer: the Database lives as long as the writer does.
        return std::shared_ptr<jet::Database>(writer_, &writer_->database());
    }

    void refresh() override {
        if (!dirty_) return;
        writer_->database(); // flushes the pages changed since the last read
        dirty_ = false;
    }

    void flush() override { writer_->flush(); }

    std::unique_ptr<ChangeScope> beginChanges() override {
        class Scope : public ChangeScope {
        public:
            explicit Scope(std::shared_ptr<jet::DatabaseWriter> writer)
                : writer_(std::move(writer)), savepoint_(*writer_) {}
            void commit() override { savepoint_.release(); }

        private:
            std::shared_ptr<jet::DatabaseWriter> writer_; // outlives the savepoint
            jet::DatabaseWriter::Savepoint savepoint_;
        };
        dirty_ = true;
        return std::make_unique<Scope>(writer_);
    }

    void createTable(const TableDefinition& def) override {
        dirty_ = true;
        jet::TableSpec tableSpec;
        tableSpec.name = def.name;
        for (const ColumnInfo& c : def.columns) {
            jet::ColumnSpec col;
            col.name = c.name;
            col.type = toEngineType(c.type);
            col.length = static_cast<std::uint16_t>(c.size);
            if (c.type == ColumnType::Decimal) {
                col.precision = c.precision;
                col.scale = c.scale;
            }
            col.notNull = c.required;
            col.autoNumber = c.autoNumber;
            tableSpec.columns.push_back(col);
        }
        for (const IndexInfo& ix : def.indexes) {
            jet::IndexSpec index;
            index.name = ix.name;
            for (std::size_t c : ix.columns) index.columns.push_back(def.columns[c].name);
            index.descending = ix.descending;
            index.primaryKey = ix.primaryKey;
            index.unique = ix.unique;
            tableSpec.indexes.push_back(index);
        }
        writer_->createTable(tableSpec);
        tables_.clear();
    }

    void dropTable(std::string_view name) override {
        dirty_ = true;
        tables_.clear();
        writer_->dropTable(name);
    }

    std::optional<std::int64_t> insertRow(const jet::TableDef& table, const Row& values) override {
        std::vector<jet::Value> row = engineRow(table, values);
        dirty_ = true;
        jet::InsertResult r = tableWriter(table).insert(row);
        if (r.autoNumber) return *r.autoNumber;
        return std::nullopt;
    }

    RowId updateRow(const jet::TableDef& table, RowId id, const Row& values) override {
        std::vector<jet::Value> row = engineRow(table, values);
        dirty_ = true;
        return tableWriter(table).update(jet::RowId::fromPacked(static_cast<std::uint32_t>(id)), row).packed();
    }

    void deleteRow(const jet::TableDef& table, RowId id) override {
        dirty_ = true;
        tableWriter(table).erase(jet::RowId::fromPacked(static_cast<std::uint32_t>(id)));
    }

    std::uint64_t deleteAllRows(const jet::TableDef& table) override {
        dirty_ = true;
        return tableWriter(table).eraseAll();
    }

private:
    jet::TableWriter& tableWriter(const jet::TableDef& table) {
        auto it = tables_.find(table.definitionPage);
        if (it == tables_.end()) it = tables_.emplace(table.definitionPage, writer_->table(table.name)).first;
        return it->second;
    }
    std::shared_ptr<jet::DatabaseWriter> writer_;
    std::map<std::uint32_t, jet::TableWriter> tables_;
    bool dirty_ = false;
};

} // namespace

std::unique_ptr<EngineWrites> wrapEngineWriter(std::shared_ptr<jet::DatabaseWriter> writer) {
    return std::make_unique<WriterWrites>(std::move(writer));
}

std::unique_ptr<EngineWrites> openEngineWrites(const std::filesystem::path& path, const EngineOptions& options,
                                               bool create) {
    if (create) return std::make_unique<WriterWrites>(jet::DatabaseWriter::create(path));
    jet::OpenOptions open;
    open.jet3CodePage = options.jet3CodePage;
    open.writable = true;
    return std::make_unique<WriterWrites>(jet::DatabaseWriter::open(path, open));
}

} // namespace jet::sql::detail
