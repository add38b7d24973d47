// Referential integrity as Jet enforces it, for the writer: a child row must name an existing
// parent row (unless a column of its foreign key is null); a parent row with children is
// neither deleted nor given another key unless the relationship cascades, and then the
// children follow (deleted, given the new key, or set to null). A table in a relationship is
// not dropped. Relationships that do not enforce integrity are left alone.
//
// Every check is made before the change is written: a refused change writes nothing. A
// cascade is planned as a whole (down to grandchildren) before the first row changes.
#pragma once

#include "jet/database.h"
#include "jet/relationships.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jet::detail {

// What the rules need from the writer.
class RuleTarget {
public:
    virtual ~RuleTarget() = default;
    // The reader, once the writer's unflushed changes to `table` are visible to it.
    virtual const Database& readable(const std::string& table) = 0;
    // Gets the writer ready to change `table`, before any row of the current change is written.
    virtual void prepare(const std::string& table) = 0;
    // Row changes that do not consult the rules again: the rules planned them.
    virtual void eraseRow(const std::string& table, RowId id) = 0;
    virtual void updateRow(const std::string& table, RowId id, std::span<const Value> row) = 0;
};

// A row a cascade changes: deleted (no row) or given new values.
struct CascadeStep {
    std::string table;
    RowId id;
    std::optional<std::vector<Value>> row;
};
using CascadePlan = std::vector<CascadeStep>;

class ReferentialRules {
public:
    ReferentialRules(std::vector<Relationship> relationships, std::string fileName);

    bool empty() const { return relationships_.empty(); }

    // Throws ConstraintError when `row`, about to be added to `table`, names a missing parent.
    void checkInsert(RuleTarget& target, const TableDef& table, std::span<const Value> row) const;
    // The checks of a row about to change from `before` to `after`, and the changes of its
    // children that go with it. Throws ConstraintError when the change is refused.
    CascadePlan planUpdate(RuleTarget& target, const TableDef& table, RowId id, std::span<const Value> before,
                           std::span<const Value> after) const;
    // The same for a row about to be deleted.
    CascadePlan planErase(RuleTarget& target, const TableDef& table, RowId id, std::span<const Value> row) const;
    // Carries out a plan (after the row it was made for has changed).
    static void apply(RuleTarget& target, const CascadePlan& plan);
    // Throws ConstraintError when `table` is part of a relationship.
    void checkDrop(std::string_view table) const;
    // Whether deleting rows of `table` can touch other rows: it is the parent of an enforced
    // relationship (a cascade, or children that refuse it).
    bool guardsRowsOf(std::string_view table) const;

private:
    struct Planner;
    void refuseMissingParent(RuleTarget& target, const TableDef& table, std::span<const Value> row,
                             std::span<const Value> before) const;

    std::vector<Relationship> relationships_;
    std::string fileName_;
};

} // namespace jet::detail
