// Saved queries (see query_sql.h). Access stores a query as rows of MSysQueries, one per
// clause part, keyed by ObjectId = the query's MSysObjects Id:
//
// Attribute  MEANING (columns used)
// 0          query type (the catalog's Flags already tell select queries apart)
// 3          options (Flag: 0x01 all fields "*", 0x02 DISTINCT, 0x08 DISTINCTROW,
//            0x10 TOP (Name1 = the number), 0x20 TOP ... PERCENT)
// 5          source table or query (Name1 = name, Name2 = alias)
// 6          output column (Expression, Name1 = alias)
// 7          join (Flag: 1 inner, 2 left, 3 right; Name1, Name2 = the two sides;
//            Expression = the ON condition)
// 8          WHERE condition (Expression)
// 9          GROUP BY expression
// 10         HAVING condition
// 11         ORDER BY expression (Name1 "D" = descending)
#include "catalog/query_sql.h"

#include "database/database_impl.h"
#include "table/scan.h"

#include <algorithm>
#include <map>

namespace jet::detail {

namespace {
std::string txt(const std::vector<Value>& v, int c) {
    return c >= 0 && v[c].kind() == Value::Kind::Text ? v[c].asText() : std::string();
}
int64_t num(const std::vector<Value>& v, int c) {
    if (c < 0) return 0;
    switch (v[c].kind()) {
    case Value::Kind::Byte:
    case Value::Kind::Integer:
    case Value::Kind::Long: return v[c].toInt64();
    default: return 0;
    }
}
std::string bracket(const std::string& name) {
    if (name.empty()) return name;
    if (name.find_first_of(" -&/.#") == std::string::npos) return name;
    return "[" + name + "]";
}
std::string source(const std::string& name, const std::string& alias) {
    return alias.empty() ? bracket(name) : bracket(name) + " AS " + bracket(alias);
}
} // namespace

namespace {
struct Part {
    int64_t attribute;
    std::string order;
    std::vector<Value> values;
};
struct Columns {
    int attr, expr, flag, name1, name2;
};
std::string buildSql(std::vector<Part>& parts, const Columns& col);
} // namespace

void readViewSql(DatabaseImpl& db, std::vector<CatalogEntry>& catalog) {
    std::shared_ptr<const TableDef> def;
    std::map<int32_t, std::vector<Part>> byQuery;
    for (const auto& e : catalog) {
        if (e.kind == ObjectKind::SystemTable && e.name == "MSysQueries") {
            def = db.tableDef(e.definitionPage, e.name);
        }
        if (e.kind == ObjectKind::View) byQuery[e.id];
    }
    if (!def || byQuery.empty()) return;
    const int cAttr = def->findColumn("Attribute"), cExpr = def->findColumn("Expression"),
              cFlag = def->findColumn("Flag"), cName1 = def->findColumn("Name1"), cName2 = def->findColumn("Name2"),
              cObj = def->findColumn("ObjectId");
    if (cAttr < 0 || cObj < 0) return;

    const int cOrder = def->findColumn("Order");
    RowScanner scan(db, def, true);
    while (scan.next()) {
        const auto& v = scan.values();
        auto it = byQuery.find(static_cast<int32_t>(num(v, cObj)));
        if (it == byQuery.end()) continue;
        it->second.push_back({num(v, cAttr), cOrder >= 0 ? v[cOrder].toString() : std::string(), v});
    }
    const Columns col{cAttr, cExpr, cFlag, cName1, cName2};
    for (auto& e : catalog) {
        if (e.kind != ObjectKind::View) continue;
        auto& parts = byQuery[e.id];
        if (!parts.empty()) e.sql = buildSql(parts, col);
    }
}

namespace {
std::string buildSql(std::vector<Part>& parts, const Columns& col) {
    const int cExpr = col.expr, cFlag = col.flag, cName1 = col.name1, cName2 = col.name2;
    int options = 0;
    std::string top;
    std::vector<std::pair<std::string, std::string>> tables; // name, alias
    std::vector<std::string> columns, groups, orders;
    std::string where, having;
    struct Join {
        int type;
        std::string left, right, on;
    };
    std::vector<Join> joins;
    // Within a clause the parts come in the order of their Order column.
    std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
        return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
    });
    for (const auto& part : parts) {
        const auto& v = part.values;
        const std::string expr = txt(v, cExpr), n1 = txt(v, cName1), n2 = txt(v, cName2);
        switch (part.attribute) {
        case 3:
            options = static_cast<int>(num(v, cFlag));
            top = n1;
            break;
        case 5: tables.emplace_back(n1, n2); break;
        case 6: columns.push_back(n1.empty() ? expr : expr + " AS " + bracket(n1)); break;
        case 7: joins.push_back({static_cast<int>(num(v, cFlag)), n1, n2, expr}); break;
        case 8: where = expr; break;
        case 9: groups.push_back(expr); break;
        case 10: having = expr; break;
        case 11: orders.push_back(n1 == "D" ? expr + " DESC" : expr); break;
        default: break;
        }
    }
    std::string sql = "SELECT ";
    if (options & 0x02) sql += "DISTINCT ";
    if (options & 0x08) sql += "DISTINCTROW ";
    if ((options & 0x10) && !top.empty()) sql += "TOP " + top + ((options & 0x20) ? " PERCENT " : " ");
    std::string cols;
    if (options & 0x01) cols = "*";
    for (const auto& c : columns) cols += (cols.empty() ? "" : ", ") + c;
    sql += cols.empty() ? "*" : cols;

    // FROM: joined tables become a join expression, the rest a comma list.
    auto shown = [&](const std::string& n) {
        for (const auto& [name, alias] : tables) {
            if (alias == n || (alias.empty() && name == n)) return source(name, alias);
        }
        return bracket(n);
    };
    std::vector<std::string> from;
    std::vector<std::string> used;
    std::string joined;
    // Each join adds the side not yet in the expression.
    for (const auto& j : joins) {
        const bool haveLeft = std::find(used.begin(), used.end(), j.left) != used.end();
        const bool haveRight = std::find(used.begin(), used.end(), j.right) != used.end();
        std::string kind = j.type == 2 ? " LEFT JOIN " : j.type == 3 ? " RIGHT JOIN " : " INNER JOIN ";
        std::string added;
        if (joined.empty()) {
            joined = shown(j.left);
            added = j.right;
        } else if (haveLeft && !haveRight) {
            added = j.right;
        } else if (haveRight && !haveLeft) {
            added = j.left;
            if (j.type == 2) kind = " RIGHT JOIN ";
            else if (j.type == 3) kind = " LEFT JOIN ";
        } else {
            added = haveLeft ? std::string() : j.right; // both present: condition only
        }
        if (used.size() > 1 || (!used.empty() && !added.empty())) joined = "(" + joined + ")";
        if (added.empty()) {
            joined += " AND " + j.on;
        } else {
            joined += kind + shown(added) + " ON " + j.on;
        }
        for (const auto* n : {&j.left, &j.right}) {
            if (std::find(used.begin(), used.end(), *n) == used.end()) used.push_back(*n);
        }
    }
    if (!joined.empty()) from.push_back(joined);
    for (const auto& [name, alias] : tables) {
        const std::string& key = alias.empty() ? name : alias;
        if (std::find(used.begin(), used.end(), key) == used.end()) from.push_back(source(name, alias));
    }
    if (!from.empty()) {
        sql += "\nFROM ";
        for (size_t i = 0; i < from.size(); ++i) sql += (i ? ", " : "") + from[i];
    }
    if (!where.empty()) sql += "\nWHERE " + where;
    if (!groups.empty()) {
        sql += "\nGROUP BY ";
        for (size_t i = 0; i < groups.size(); ++i) sql += (i ? ", " : "") + groups[i];
    }
    if (!having.empty()) sql += "\nHAVING " + having;
    if (!orders.empty()) {
        sql += "\nORDER BY ";
        for (size_t i = 0; i < orders.size(); ++i) sql += (i ? ", " : "") + orders[i];
    }
    return sql + ";";
}
} // namespace

} // namespace jet::detail
