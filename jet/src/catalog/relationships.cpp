// Relationships read from MSysRelationships, and the rows on either side of them (see
// jet/relationships.h and related_rows.h).
#include "catalog/related_rows.h"

#include "database/database_impl.h"
#include "jet/error.h"
#include "jet/index_keys.h"
#include "jet/text.h"
#include "index/row_keys.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace jet {

std::vector<Relationship> Database::relationships() const {
    std::vector<Relationship> out;
    if (!hasTable("MSysRelationships")) return out;
    auto cursor = scan("MSysRelationships", ScanOptions{false});
    const TableDef& t = cursor.table();
    const int name = t.findColumn("szRelationship"), grbit = t.findColumn("grbit"), at = t.findColumn("icolumn");
    const int child = t.findColumn("szObject"), childCol = t.findColumn("szColumn");
    const int parent = t.findColumn("szReferencedObject"), parentCol = t.findColumn("szReferencedColumn");
    if (std::min({name, grbit, at, child, childCol, parent, parentCol}) < 0)
        throw FormatError(fileName(), std::nullopt,
                          "MSysRelationships of " + fileName() +
                              " lacks one of its columns (szRelationship, grbit, icolumn, szObject, szColumn, "
                              "szReferencedObject, szReferencedColumn); repair the file with Access.");
    auto text = [&](int c) {
        const Value& v = cursor.values()[static_cast<size_t>(c)];
        return v.kind() == Value::Kind::Text ? v.asText() : std::string();
    };
    // One row per column pair; the pairs of a relationship in icolumn order.
    std::vector<std::vector<std::tuple<int64_t, std::string, std::string>>> pairs;
    while (cursor.next()) {
        const std::string n = text(name);
        size_t i = 0;
        while (i < out.size() && !(sameName(out[i].name, n) && sameName(out[i].childTable, text(child)) &&
                                   sameName(out[i].parentTable, text(parent))))
            ++i;
        if (i == out.size()) {
            Relationship r;
            r.name = n;
            r.childTable = text(child);
            r.parentTable = text(parent);
            const Value& g = cursor.values()[static_cast<size_t>(grbit)];
            r.flags = g.isNull() || g.kind() == Value::Kind::Text ? 0 : static_cast<uint32_t>(g.toInt64());
            out.push_back(std::move(r));
            pairs.emplace_back();
        }
        const Value& a = cursor.values()[static_cast<size_t>(at)];
        const int64_t position = a.isNull() || a.kind() == Value::Kind::Text ? 0 : a.toInt64();
        pairs[i].emplace_back(position, text(childCol), text(parentCol));
    }
    for (size_t i = 0; i < out.size(); ++i) {
        std::stable_sort(pairs[i].begin(), pairs[i].end(),
                         [](const auto& x, const auto& y) { return std::get<0>(x) < std::get<0>(y); });
        for (auto& [position, c, p] : pairs[i]) {
            out[i].childColumns.push_back(std::move(c));
            out[i].parentColumns.push_back(std::move(p));
        }
    }
    return out;
}

} // namespace jet

namespace jet::detail {

namespace {

std::optional<std::vector<size_t>> positions(const TableDef& t, const std::vector<std::string>& names) {
    std::vector<size_t> out;
    for (const auto& n : names) {
        size_t i = 0;
        while (i < t.columns.size() && !sameName(t.columns[i].name, n)) ++i;
        if (i == t.columns.size()) return std::nullopt;
        out.push_back(i);
    }
    return out;
}

// An index whose first columns are `columns`, in that order; one with no further columns
// first. Null when there is none.
const IndexDef* indexStartingWith(const TableDef& t, const std::vector<size_t>& columns, bool& exact) {
    const IndexDef* best = nullptr;
    for (const IndexDef& ix : t.indexes) {
        if (ix.columns.size() < columns.size()) continue;
        bool match = true;
        for (size_t i = 0; i < columns.size() && match; ++i)
            match = ix.columns[i].columnNumber == t.columns[columns[i]].number;
        if (!match) continue;
        if (!best || (ix.columns.size() == columns.size() && best->columns.size() != columns.size())) best = &ix;
    }
    exact = best && best->columns.size() == columns.size();
    return best;
}

} // namespace

std::optional<BoundRelationship> bindRelationship(const Database& db, const Relationship& r) {
    if (r.childColumns.empty() || r.childColumns.size() != r.parentColumns.size()) return std::nullopt;
    if (!db.hasTable(r.childTable) || !db.hasTable(r.parentTable)) return std::nullopt;
    BoundRelationship b;
    b.rel = &r;
    b.child = db.table(r.childTable);
    b.parent = db.table(r.parentTable);
    auto c = positions(*b.child, r.childColumns);
    auto p = positions(*b.parent, r.parentColumns);
    if (!c || !p) return std::nullopt;
    b.childColumns = std::move(*c);
    b.parentColumns = std::move(*p);
    return b;
}

std::vector<Value> keyValues(std::span<const Value> row, const std::vector<size_t>& columns) {
    std::vector<Value> out;
    out.reserve(columns.size());
    for (size_t c : columns) out.push_back(c < row.size() ? row[c] : Value());
    return out;
}

bool anyNull(std::span<const Value> values) {
    return std::any_of(values.begin(), values.end(), [](const Value& v) { return v.isNull(); });
}

std::vector<uint8_t> columnsKey(const Database& db, const TableDef& table, const std::vector<size_t>& columns,
                                std::span<const Value> values) {
    std::vector<uint8_t> key;
    for (size_t i = 0; i < columns.size() && i < values.size(); ++i) {
        const ColumnDef& c = table.columns[columns[i]];
        appendKeyValue(key, keyColumnFor(detail::implOf(db).format(), c, true), keyValueFor(c, values[i]));
    }
    return key;
}

std::vector<RowId> findRows(const Database& db, const std::shared_ptr<const TableDef>& table,
                            const std::vector<size_t>& columns, std::span<const Value> values, size_t limit) {
    std::vector<RowId> out;
    bool exact = false;
    const IndexDef* ix = indexStartingWith(*table, columns, exact);
    std::vector<uint8_t> key;
    try {
        if (ix) {
            // The index's own directions, so the bytes are a prefix of its entries' keys.
            for (size_t i = 0; i < columns.size(); ++i) {
                const ColumnDef& c = table->columns[columns[i]];
                appendKeyValue(key, keyColumnFor(detail::implOf(db).format(), c, ix->columns[i].ascending),
                               keyValueFor(c, values[i]));
            }
        } else {
            key = columnsKey(db, *table, columns, values);
        }
    } catch (const KeyEncodingError&) {
        ix = nullptr; // binary data: compared value by value below
        key.clear();
    }
    if (ix) {
        // Each entry's row is read back: only live rows that hold the key count, so an entry
        // left behind by a removal that did not reach the index cannot stand for a row.
        const auto wanted = columnsKey(db, *table, columns, values);
        auto cursor = db.indexSeek(table, *ix, key);
        auto reader = db.rowReader(table);
        std::vector<Value> row;
        while (out.size() < limit && cursor.next()) {
            const auto& k = cursor.entry().key;
            if (k.size() < key.size() || !std::equal(key.begin(), key.end(), k.begin())) break;
            if (exact && k.size() != key.size()) break;
            if (!reader.read(cursor.entry().row, row)) continue;
            const auto held = keyValues(row, columns);
            if (!anyNull(held) && columnsKey(db, *table, columns, held) == wanted) out.push_back(cursor.entry().row);
        }
        return out;
    }
    auto cursor = db.scan(table, ScanOptions{false});
    while (out.size() < limit && cursor.next()) {
        const auto row = keyValues(cursor.values(), columns);
        bool same = false;
        if (key.empty()) {
            same = std::equal(row.begin(), row.end(), values.begin(), values.end());
        } else {
            try {
                same = !anyNull(row) && columnsKey(db, *table, columns, row) == key;
            } catch (const KeyEncodingError&) {}
        }
        if (same) out.push_back(cursor.rowId());
    }
    return out;
}

std::string describeKey(const TableDef& table, const std::vector<size_t>& columns, std::span<const Value> values) {
    std::string s;
    for (size_t i = 0; i < columns.size() && i < values.size(); ++i) {
        if (i) s += ", ";
        s += table.columns[columns[i]].name + " = ";
        const Value& v = values[i];
        s += v.kind() == Value::Kind::Text ? "'" + v.asText() + "'" : v.toString();
    }
    return s;
}

std::vector<std::string> relationshipProblems(const Database& db) {
    std::vector<std::string> problems;
    std::vector<Relationship> all;
    try {
        all = db.relationships();
    } catch (const Error& e) {
        problems.push_back(std::string("relationships unreadable: ") + e.what());
        return problems;
    }
    for (const Relationship& r : all) {
        if (!r.enforced()) continue;
        std::optional<BoundRelationship> b;
        try {
            b = bindRelationship(db, r);
        } catch (const Error& e) {
            problems.push_back("relationship '" + r.name + "': " + e.what());
            continue;
        }
        if (!b) continue;
        const std::string where = "relationship '" + r.name + "': row ";
        try {
            // The parent's keys once, then every child row against them: two scans.
            std::set<std::vector<uint8_t>> keys;
            auto parents = db.scan(b->parent, ScanOptions{false});
            while (parents.next()) {
                const auto v = keyValues(parents.values(), b->parentColumns);
                if (!anyNull(v)) keys.insert(columnsKey(db, *b->parent, b->parentColumns, v));
            }
            auto children = db.scan(b->child, ScanOptions{false});
            while (children.next()) {
                const auto v = keyValues(children.values(), b->childColumns);
                if (anyNull(v)) continue; // a key with a null column refers to nothing
                std::optional<std::vector<uint8_t>> k;
                try {
                    k = columnsKey(db, *b->parent, b->parentColumns, v);
                } catch (const KeyEncodingError&) {}
                if (k && keys.count(*k)) continue;
                const RowId id = children.rowId();
                problems.push_back(where + std::to_string(id.page) + ":" + std::to_string(id.slot) + " of table \"" +
                                   b->child->name + "\" (" + describeKey(*b->child, b->childColumns, v) +
                                   ") has no related row in table \"" + b->parent->name + "\"");
                if (problems.size() >= 1000) return problems;
            }
        } catch (const Error& e) {
            problems.push_back("relationship '" + r.name + "': " + e.what());
        }
    }
    return problems;
}

} // namespace jet::detail
