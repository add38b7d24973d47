#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "eval.h"
#include "exec_plan.h"
#include "exec_steps.h"
#include "exec_streams.h"
#include "jet/schema.h"

namespace jet::sql::exec {

using detail::bind;
using detail::coerce;
using detail::evaluate;
using jet::sameName;

namespace {

std::unique_ptr<TableAccess> openTableForChange(Database& db, const std::string& name) {
    auto table = db.openTable(name);
    if (!table) {
        if (db.viewSql(name))
            throw NotSupportedError("Changing rows through the saved query '" + name +
                                    "' is not supported; change the table it reads instead.");
        noSuchTable(name);
    }
    return table;
}

std::size_t columnPosition(const TableAccess& table, const std::string& name, const char* statement) {
    const auto& cols = table.columns();
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (sameName(cols[i].name, name)) return i;
    throw ExecutionError(std::string("The ") + statement + " statement contains the following unknown field name: '" +
                         name + "'. Make sure you have typed the name correctly, and try the operation again.");
}

// Jet refuses Null in a column of the primary key.
void checkPrimaryKeyNulls(const TableAccess& table, const Row& row) {
    for (const IndexInfo& ix : table.indexes()) {
        if (!ix.primaryKey) continue;
        for (std::size_t c : ix.columns)
            if (row[c].isNull() && !table.columns()[c].autoNumber)
                throw ExecutionError("Index or primary key cannot contain a Null value: the field '" + table.name() +
                                     "." + table.columns()[c].name + "' is part of the primary key.");
    }
}

std::unique_ptr<Stream> openChangeRows(TableAccess& table, const Expr* where, std::int64_t identity) {
    AccessPlan plan = planAccess(table, where, nullptr, identity);
    std::unique_ptr<Stream> stream;
    if (plan.impossible) {
        stream = std::make_unique<CursorStream>(std::make_unique<EmptyCursor>());
    } else if (plan.useIndex) {
        stream = std::make_unique<CursorStream>(table.seek(plan.index, plan.range));
        if (plan.coversWhere) where = nullptr;
    } else {
        stream = std::make_unique<CursorStream>(table.scan());
    }
    if (where) stream = std::make_unique<FilterStream>(std::move(stream), where, identity);
    return stream;
}

} // namespace

Result runInsert(InsertStatement& s, Database& db, std::int64_t& identity) {
    auto table = openTableForChange(db, s.table);
    const auto& cols = table->columns();
    std::vector<std::size_t> targets;
    if (s.columns.empty()) {
        if (s.values.size() != cols.size())
            throw ExecutionError(
                "Number of query values and destination fields are not the same: " + std::to_string(s.values.size()) +
                " values for the " + std::to_string(cols.size()) + " fields of '" + table->name() + "'.");
        for (std::size_t i = 0; i < cols.size(); ++i) targets.push_back(i);
    } else {
        for (const std::string& name : s.columns) {
            std::size_t c = columnPosition(*table, name, "INSERT INTO");
            if (std::find(targets.begin(), targets.end(), c) != targets.end())
                throw ExecutionError("Duplicate output destination '" + cols[c].name +
                                     "' in the INSERT INTO statement.");
            targets.push_back(c);
        }
    }
    Row row(cols.size());
    std::vector<bool> given(cols.size(), false);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        bind(*s.values[i], nullptr);
        row[targets[i]] = coerce(evaluate(*s.values[i], nullptr, identity), cols[targets[i]], table->name());
        given[targets[i]] = true;
    }
    for (std::size_t c = 0; c < cols.size(); ++c)
        if (!given[c]) row[c] = coerce(Value(), cols[c], table->name()); // Required fields must be given
    checkPrimaryKeyNulls(*table, row);
    std::optional<std::int64_t> number = table->insertRow(row);
    if (number) identity = *number;
    return Result::affected(1);
}

Result runUpdate(UpdateStatement& s, Database& db, std::int64_t identity) {
    auto table = openTableForChange(db, s.table);
    const auto& cols = table->columns();
    std::vector<std::string> names;
    for (const ColumnInfo& c : cols) names.push_back(c.name);
    detail::Scope scope{&names, table->name(), ""};
    std::vector<std::size_t> targets;
    for (auto& [name, expr] : s.assignments) {
        std::size_t c = columnPosition(*table, name, "UPDATE");
        if (cols[c].autoNumber)
            throw ExecutionError("Cannot update '" + cols[c].name +
                                 "'; field not updateable (it is an AutoNumber field).");
        targets.push_back(c);
        bind(*expr, &scope);
    }
    if (s.where) bind(*s.where, &scope);

    // Compute every new row first: a value that does not fit stops the statement before
    // anything has changed.
    std::vector<std::pair<RowId, Row>> changes;
    {
        auto stream = openChangeRows(*table, s.where.get(), identity);
        while (stream->next()) {
            Row row = stream->row();
            const Row& old = stream->row();
            for (std::size_t i = 0; i < targets.size(); ++i)
                row[targets[i]] =
                    coerce(evaluate(*s.assignments[i].second, &old, identity), cols[targets[i]], table->name());
            checkPrimaryKeyNulls(*table, row);
            changes.emplace_back(stream->rowId(), std::move(row));
        }
    }
    std::int64_t done = 0;
    for (auto& [id, row] : changes) {
        try {
            table->updateRow(id, row);
        } catch (const std::exception& e) {
            std::throw_with_nested(RowChangeError(std::string(e.what()) + " (row " + std::to_string(done + 1) + " of " +
                                                  std::to_string(changes.size())));
        }
        ++done;
    }
    return Result::affected(done);
}

Result runDelete(DeleteStatement& s, Database& db, std::int64_t identity) {
    auto table = openTableForChange(db, s.table);
    std::vector<std::string> names;
    for (const ColumnInfo& c : table->columns()) names.push_back(c.name);
    detail::Scope scope{&names, table->name(), ""};
    if (s.where) bind(*s.where, &scope);
    if (!s.where)
        if (auto done = table->deleteAllRows()) return Result::affected(static_cast<std::int64_t>(*done));
    std::vector<RowId> ids;
    {
        auto stream = openChangeRows(*table, s.where.get(), identity);
        while (stream->next()) ids.push_back(stream->rowId());
    }
    std::int64_t done = 0;
    for (RowId id : ids) {
        try {
            table->deleteRow(id);
        } catch (const std::exception& e) {
            std::throw_with_nested(RowChangeError(std::string(e.what()) + " (row " + std::to_string(done + 1) + " of " +
                                                  std::to_string(ids.size())));
        }
        ++done;
    }
    return Result::affected(done);
}

} // namespace jet::sql::exec
