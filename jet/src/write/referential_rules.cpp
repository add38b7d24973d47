// Referential integrity for the writer (see referential_rules.h).
#include "write/referential_rules.h"

#include <algorithm>

#include "jet/index_keys.h"
#include "jet/text.h"
#include "jet/writer.h"
#include "catalog/related_rows.h"

#include <limits>
#include <set>
#include <utility>

namespace jet::detail {

namespace {

constexpr size_t kAll = std::numeric_limits<size_t>::max();

// Whether two key tuples of `table`'s `columns` are the same key (text without regard to
// case, as the indexes compare it).
bool sameKey(const Database& db, const TableDef& table, const std::vector<size_t>& columns, std::span<const Value> a,
             std::span<const Value> b) {
    if (std::equal(a.begin(), a.end(), b.begin(), b.end())) return true;
    if (anyNull(a) || anyNull(b)) return false;
    try {
        return columnsKey(db, table, columns, a) == columnsKey(db, table, columns, b);
    } catch (const KeyEncodingError&) {
        return false;
    }
}

std::string related(const Relationship& r) { return " (relationship '" + r.name + "')"; }

} // namespace

ReferentialRules::ReferentialRules(std::vector<Relationship> relationships, std::string fileName)
    : relationships_(std::move(relationships)), fileName_(std::move(fileName)) {}

// Walks the children of a changing row, and theirs, collecting what the cascades do.
struct ReferentialRules::Planner {
    const ReferentialRules& rules;
    RuleTarget& target;
    CascadePlan plan;
    std::set<std::pair<uint32_t, uint32_t>> seen; // (table definition page, row)

    [[noreturn]] void refuse(const std::string& message) const {
        throw ConstraintError(rules.fileName_, std::nullopt, message + " Nothing was written.");
    }

    // `after` null: the row is deleted.
    void visit(const TableDef& table, RowId id, std::span<const Value> before, const std::vector<Value>* after) {
        seen.emplace(table.definitionPage, id.packed());
        for (const Relationship& r : rules.relationships_) {
            if (!r.enforced() || !sameName(r.parentTable, table.name)) continue;
            const Database& db = target.readable(r.childTable);
            const auto b = bindRelationship(db, r);
            if (!b) continue;
            const auto oldKey = keyValues(before, b->parentColumns);
            if (anyNull(oldKey)) continue; // no child can name a key with a null column
            std::vector<Value> newKey;
            if (after) {
                newKey = keyValues(*after, b->parentColumns);
                if (sameKey(db, table, b->parentColumns, oldKey, newKey)) continue;
            }
            const auto children = findRows(db, b->child, b->childColumns, oldKey, kAll);
            if (children.empty()) continue;
            const bool follows = after ? r.cascadesUpdates() : (r.cascadesDeletes() || r.cascadesNull());
            if (!follows)
                refuse("The record cannot be deleted or changed because table '" + b->child->name +
                       "' includes related records." + related(r));
            target.prepare(b->child->name);
            for (RowId child : children) {
                if (!seen.emplace(b->child->definitionPage, child.packed()).second) continue;
                auto old = db.readRow(*b->child, child);
                if (!old) continue;
                if (!after && r.cascadesDeletes()) {
                    plan.push_back({b->child->name, child, std::nullopt});
                    visit(*b->child, child, *old, nullptr);
                    continue;
                }
                std::vector<Value> changed = *old;
                for (size_t i = 0; i < b->childColumns.size(); ++i) {
                    const size_t c = b->childColumns[i];
                    if (after) {
                        changed[c] = newKey[i];
                    } else if (b->child->columns[c].required) {
                        refuse("The record cannot be deleted: relationship '" + r.name + "' sets column [" +
                               b->child->columns[c].name + "] of table '" + b->child->name +
                               "' to null, but the column is required.");
                    } else {
                        changed[c] = Value();
                    }
                }
                visit(*b->child, child, *old, &changed);
                plan.push_back({b->child->name, child, std::move(changed)});
            }
        }
    }
};

void ReferentialRules::refuseMissingParent(RuleTarget& target, const TableDef& table, std::span<const Value> row,
                                           std::span<const Value> before) const {
    for (const Relationship& r : relationships_) {
        if (!r.enforced() || !sameName(r.childTable, table.name)) continue;
        const Database& db = target.readable(r.parentTable);
        const auto b = bindRelationship(db, r);
        if (!b) continue;
        const auto key = keyValues(row, b->childColumns);
        if (anyNull(key)) continue; // a key with a null column names no parent: allowed
        if (!before.empty() && sameKey(db, table, b->childColumns, keyValues(before, b->childColumns), key)) continue;
        if (findRows(db, b->parent, b->parentColumns, key, 1).empty())
            throw ConstraintError(fileName_, std::nullopt,
                                  "You cannot add or change a record because a related record is required in table '" +
                                      b->parent->name + "'." + related(r) + " No row of '" + b->parent->name +
                                      "' has " + describeKey(*b->parent, b->parentColumns, key) +
                                      "; nothing was written.");
    }
}

void ReferentialRules::checkInsert(RuleTarget& target, const TableDef& table, std::span<const Value> row) const {
    refuseMissingParent(target, table, row, {});
}

CascadePlan ReferentialRules::planUpdate(RuleTarget& target, const TableDef& table, RowId id,
                                         std::span<const Value> before, std::span<const Value> after) const {
    refuseMissingParent(target, table, after, before);
    Planner p{*this, target, {}, {}};
    const std::vector<Value> changed(after.begin(), after.end());
    p.visit(table, id, before, &changed);
    return std::move(p.plan);
}

CascadePlan ReferentialRules::planErase(RuleTarget& target, const TableDef& table, RowId id,
                                        std::span<const Value> row) const {
    Planner p{*this, target, {}, {}};
    p.visit(table, id, row, nullptr);
    return std::move(p.plan);
}

void ReferentialRules::apply(RuleTarget& target, const CascadePlan& plan) {
    for (const CascadeStep& step : plan) {
        if (step.row) target.updateRow(step.table, step.id, *step.row);
        else target.eraseRow(step.table, step.id);
    }
}

bool ReferentialRules::guardsRowsOf(std::string_view table) const {
    return std::any_of(relationships_.begin(), relationships_.end(),
                       [&](const Relationship& r) { return r.enforced() && sameName(r.parentTable, table); });
}

void ReferentialRules::checkDrop(std::string_view table) const {
    std::string names;
    for (const Relationship& r : relationships_) {
        if (!sameName(r.childTable, table) && !sameName(r.parentTable, table)) continue;
        names += (names.empty() ? "'" : ", '") + r.name + "'";
    }
    if (!names.empty())
        throw ConstraintError(fileName_, std::nullopt,
                              "Table '" + std::string(table) + "' is part of one or more relationships (" + names +
                                  "); delete the relationships in Access first. Nothing was written.");
}

} // namespace jet::detail
