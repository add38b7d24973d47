// Prints syntax trees back as canonical Jet SQL (see ast.h).
#include "jet/sql/ast.h"

#include <cmath>

namespace jet::sql {
namespace {

std::string bracket(const std::string& name) { return "[" + name + "]"; }

const char* binaryOpText(BinaryOp op) {
    switch (op) {
    case BinaryOp::Or: return "OR";
    case BinaryOp::And: return "AND";
    case BinaryOp::Equal: return "=";
    case BinaryOp::NotEqual: return "<>";
    case BinaryOp::Less: return "<";
    case BinaryOp::LessEqual: return "<=";
    case BinaryOp::Greater: return ">";
    case BinaryOp::GreaterEqual: return ">=";
    case BinaryOp::Add: return "+";
    case BinaryOp::Subtract: return "-";
    case BinaryOp::Multiply: return "*";
    case BinaryOp::Divide: return "/";
    case BinaryOp::IntDivide: return "\\";
    case BinaryOp::Concat: return "&";
    }
    return "?";
}

std::string quoteText(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

std::string typeToSql(const TypeSpec& t) {
    if (t.autoNumber) return "COUNTER";
    std::string out(columnTypeName(t.type));
    if (t.type == ColumnType::Text || t.type == ColumnType::Binary) out += "(" + std::to_string(t.size) + ")";
    if (t.type == ColumnType::Decimal) out += "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    return out;
}

struct StatementPrinter {
    std::string operator()(const SelectStatement& s) const {
        std::string out = "SELECT";
        if (s.top) out += " TOP " + std::to_string(*s.top);
        for (std::size_t i = 0; i < s.items.size(); ++i) {
            const SelectItem& item = s.items[i];
            out += i == 0 ? " " : ", ";
            if (item.star) {
                out += item.qualifier.empty() ? "*" : bracket(item.qualifier) + ".*";
            } else {
                out += toSql(*item.expr);
                if (!item.alias.empty()) out += " AS " + bracket(item.alias);
            }
        }
        if (s.intoTable) {
            out += " INTO " + bracket(*s.intoTable);
            if (s.intoFile) out += " IN " + quoteText(*s.intoFile);
        }
        if (s.from) {
            out += " FROM " + bracket(*s.from);
            if (!s.fromAlias.empty()) out += " AS " + bracket(s.fromAlias);
        }
        if (s.where) out += " WHERE " + toSql(*s.where);
        for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
            out += i == 0 ? " ORDER BY " : ", ";
            out += toSql(*s.orderBy[i].expr);
            if (s.orderBy[i].descending) out += " DESC";
        }
        return out;
    }
    std::string operator()(const CreateTableStatement& s) const {
        std::string out = "CREATE TABLE " + bracket(s.table) + " (";
        bool first = true;
        for (const ColumnDefinition& c : s.columns) {
            out += first ? "" : ", ";
            first = false;
            out += bracket(c.name) + " " + typeToSql(c.type);
            if (c.compressed) out += " WITH COMPRESSION";
            if (c.notNull) out += " NOT NULL";
            if (!c.constraintName.empty()) out += " CONSTRAINT " + bracket(c.constraintName);
            if (c.primaryKey) out += " PRIMARY KEY";
            if (c.unique) out += " UNIQUE";
        }
        for (const TableConstraint& c : s.constraints) {
            out += ", ";
            if (!c.name.empty()) out += "CONSTRAINT " + bracket(c.name) + " ";
            out += c.primaryKey ? "PRIMARY KEY (" : "UNIQUE (";
            for (std::size_t i = 0; i < c.columns.size(); ++i) out += (i ? ", " : "") + bracket(c.columns[i]);
            out += ")";
        }
        return out + ")";
    }
    std::string operator()(const InsertStatement& s) const {
        std::string out = "INSERT INTO " + bracket(s.table);
        if (!s.columns.empty()) {
            out += " (";
            for (std::size_t i = 0; i < s.columns.size(); ++i) out += (i ? ", " : "") + bracket(s.columns[i]);
            out += ")";
        }
        out += " VALUES (";
        for (std::size_t i = 0; i < s.values.size(); ++i) out += (i ? ", " : "") + toSql(*s.values[i]);
        return out + ")";
    }
    std::string operator()(const UpdateStatement& s) const {
        std::string out = "UPDATE " + bracket(s.table) + " SET ";
        for (std::size_t i = 0; i < s.assignments.size(); ++i)
            out += (i ? ", " : "") + bracket(s.assignments[i].first) + " = " + toSql(*s.assignments[i].second);
        if (s.where) out += " WHERE " + toSql(*s.where);
        return out;
    }
    std::string operator()(const DeleteStatement& s) const {
        std::string out = "DELETE FROM " + bracket(s.table);
        if (s.where) out += " WHERE " + toSql(*s.where);
        return out;
    }
    std::string operator()(const DropTableStatement& s) const { return "DROP TABLE " + bracket(s.table); }
};

} // namespace

std::string literalToSql(const Value& v) {
    if (v.isNull()) return "NULL";
    if (v.isBool()) return v.asBool() ? "TRUE" : "FALSE";
    if (v.isText()) return quoteText(v.asText());
    if (v.isDateTime()) return "#" + dateTimeToString(v.asDateTime()) + "#";
    if (v.isBytes()) return "0x" + valueToText(v);
    if (v.isGuid()) return quoteText(v.asGuid().text);
    if (v.isDouble()) {
        std::string text = valueToText(v);
        if (text.find_first_of(".eE") == std::string::npos) text += ".0";
        return text;
    }
    return valueToText(v);
}

std::string toSql(const Expr& e) {
    switch (e.kind) {
    case ExprKind::Literal: return literalToSql(e.literal);
    case ExprKind::Column: return e.qualifier.empty() ? bracket(e.name) : bracket(e.qualifier) + "." + bracket(e.name);
    case ExprKind::Unary:
        return e.unaryOp == UnaryOp::Not ? "(NOT " + toSql(*e.left) + ")" : "(-" + toSql(*e.left) + ")";
    case ExprKind::Binary: return "(" + toSql(*e.left) + " " + binaryOpText(e.binaryOp) + " " + toSql(*e.right) + ")";
    case ExprKind::IsNull: return "(" + toSql(*e.left) + (e.negated ? " IS NOT NULL)" : " IS NULL)");
    case ExprKind::Like: return "(" + toSql(*e.left) + (e.negated ? " NOT LIKE " : " LIKE ") + toSql(*e.right) + ")";
    case ExprKind::Between:
        return "(" + toSql(*e.left) + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + toSql(*e.right) + " AND " +
               toSql(*e.third) + ")";
    case ExprKind::InList: {
        std::string out = "(" + toSql(*e.left) + (e.negated ? " NOT IN (" : " IN (");
        for (std::size_t i = 0; i < e.list.size(); ++i) out += (i ? ", " : "") + toSql(*e.list[i]);
        return out + "))";
    }
    case ExprKind::CountStar: return "COUNT(*)";
    case ExprKind::Identity: return "@@IDENTITY";
    }
    return "?";
}

std::string toSql(const Statement& statement) { return std::visit(StatementPrinter{}, statement); }

} // namespace jet::sql
