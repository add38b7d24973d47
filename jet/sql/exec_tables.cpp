#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "eval.h"
#include "exec_steps.h"
#include "jet/schema.h"

namespace jet::sql::exec {

using detail::coerce;
using jet::sameName;

namespace {

bool tableOrViewExists(Database& db, const std::string& name) {
    return db.openTable(name) != nullptr || db.viewSql(name).has_value();
}

std::string uniqueIndexName(const std::vector<IndexInfo>& indexes, std::string name) {
    std::string base = name;
    for (int n = 1;; ++n) {
        bool taken =
            std::any_of(indexes.begin(), indexes.end(), [&](const IndexInfo& ix) { return sameName(ix.name, name); });
        if (!taken) return name;
        name = base + std::to_string(n);
    }
}

ColumnInfo columnForCopy(const ResultColumn& r) {
    ColumnInfo c;
    c.name = r.name;
    c.type = r.type;
    c.size = r.size;
    c.precision = r.precision;
    c.scale = r.scale;
    if (c.type == ColumnType::Text && (c.size == 0 || c.size > 255)) c.size = 255;
    if (c.type == ColumnType::Binary && (c.size == 0 || c.size > 510)) c.size = 510;
    if (c.type == ColumnType::Decimal && c.precision == 0) {
        c.precision = 28;
        c.scale = 10;
    }
    return c;
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    auto x = std::filesystem::weakly_canonical(a, ec1);
    auto y = std::filesystem::weakly_canonical(b, ec2);
    return !ec1 && !ec2 && x == y;
}

} // namespace

Result runCreate(CreateTableStatement& s, Database& db) {
    if (tableOrViewExists(db, s.table)) throw ExecutionError("Table '" + s.table + "' already exists.");
    TableDefinition def;
    def.name = s.table;
    auto position = [&](const std::string& name) -> std::size_t {
        for (std::size_t i = 0; i < def.columns.size(); ++i)
            if (sameName(def.columns[i].name, name)) return i;
        throw ExecutionError("The field '" + name + "' named in a constraint is not a field of table '" + s.table +
                             "'.");
    };
    bool hasPrimary = false;
    auto addIndex = [&](std::vector<std::size_t> columns, bool primary, const std::string& name) {
        if (primary) {
            if (hasPrimary)
                throw ExecutionError("Primary key already exists: table '" + s.table + "' can have only one.");
            hasPrimary = true;
        }
        IndexInfo ix;
        ix.columns = std::move(columns);
        ix.descending.assign(ix.columns.size(), false);
        ix.primaryKey = primary;
        ix.unique = true;
        std::string fallback = primary ? "PrimaryKey" : def.columns[ix.columns[0]].name;
        ix.name = uniqueIndexName(def.indexes, name.empty() ? fallback : name);
        def.indexes.push_back(std::move(ix));
    };
    for (const ColumnDefinition& c : s.columns) {
        for (const ColumnInfo& existing : def.columns)
            if (sameName(existing.name, c.name))
                throw ExecutionError("Field '" + c.name + "' is defined more than once in table '" + s.table + "'.");
        ColumnInfo info;
        info.name = c.name;
        info.type = c.type.type;
        info.size = c.type.size;
        info.precision = c.type.precision;
        info.scale = c.type.scale;
        info.autoNumber = c.type.autoNumber;
        info.required = c.notNull;
        info.compressed = c.compressed;
        def.columns.push_back(info);
    }
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        const ColumnDefinition& c = s.columns[i];
        if (c.primaryKey) addIndex({i}, true, c.constraintName);
        if (c.unique) addIndex({i}, false, c.primaryKey ? "" : c.constraintName);
    }
    for (const TableConstraint& c : s.constraints) {
        std::vector<std::size_t> cols;
        for (const std::string& name : c.columns) cols.push_back(position(name));
        addIndex(cols, c.primaryKey, c.name);
    }
    for (const IndexInfo& ix : def.indexes)
        for (std::size_t c : ix.columns) {
            ColumnType t = def.columns[c].type;
            if (t == ColumnType::Memo || t == ColumnType::Ole)
                throw ExecutionError("Cannot index the field '" + def.columns[c].name +
                                     "': Memo and OLE Object fields "
                                     "cannot be part of a key.");
        }
    db.createTable(def);
    return Result::affected(0);
}

Result runDrop(DropTableStatement& s, Database& db) {
    if (!db.openTable(s.table)) {
        if (db.viewSql(s.table))
            throw NotSupportedError("DROP TABLE of the saved query '" + s.table + "' is not supported.");
        throw ExecutionError("Table '" + s.table + "' does not exist.");
    }
    db.dropTable(s.table);
    return Result::affected(0);
}

// SELECT ... INTO [t] [IN 'file'] FROM [s]: a new table with the columns of the result
// (auto-numbers become plain Long, no keys, as Jet's make-table query does) and its rows.
Result runSelectInto(std::shared_ptr<SelectStatement> s, Database& db, std::int64_t identity) {
    std::string target = *s->intoTable;
    std::shared_ptr<Database> other;
    Database* targetDb = &db;
    if (s->intoFile && !samePath(*s->intoFile, db.path())) {
        other = db.openOther(*s->intoFile);
        targetDb = other.get();
    }
    if (tableOrViewExists(*targetDb, target))
        throw ExecutionError("Table '" + target + "' already exists" +
                             (s->intoFile ? " in '" + *s->intoFile + "'" : std::string()) + ".");
    s->intoTable.reset();
    s->intoFile.reset();
    std::unique_ptr<RowSet> rows = openSelect(s, db, identity, 0);
    TableDefinition def;
    def.name = target;
    for (const ResultColumn& c : rows->columns()) {
        for (const ColumnInfo& existing : def.columns)
            if (sameName(existing.name, c.name))
                throw ExecutionError("The query would create the field '" + c.name + "' twice in table '" + target +
                                     "'; give one of them another name with AS.");
        def.columns.push_back(columnForCopy(c));
    }
    targetDb->createTable(def);
    std::int64_t count = 0;
    try {
        // The rows go in as one step, undone before the table is dropped again on a failure.
        std::unique_ptr<ChangeScope> scope = targetDb->beginChanges();
        auto table = targetDb->openTable(target);
        if (!table) throw ExecutionError("The new table '" + target + "' cannot be opened after creating it.");
        Row converted(def.columns.size());
        while (rows->next()) {
            const Row& row = rows->row();
            for (std::size_t i = 0; i < converted.size(); ++i) converted[i] = coerce(row[i], def.columns[i], target);
            table->insertRow(converted);
            ++count;
        }
        if (scope) scope->commit();
    } catch (const std::exception& e) {
        std::string message = std::string("Copying the rows into '") + target + "' failed after " +
                              std::to_string(count) + " rows: " + e.what();
        try {
            rows.reset();
            targetDb->dropTable(target);
            message += " The new table was removed again.";
        } catch (const std::exception&) {
            message += " The incomplete table '" + target + "' is still there; drop it before trying again.";
        }
        std::throw_with_nested(ExecutionError(message));
    }
    return Result::affected(count);
}

} // namespace jet::sql::exec
