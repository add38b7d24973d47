#include "exec_plan.h"

#include <cmath>
#include <optional>

#include "eval.h"
#include "jet/sql/error.h"

namespace jet::sql::exec {

using detail::compareValues;
using detail::evaluate;

namespace {

bool seekableType(ColumnType t) {
    switch (t) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime: return true;
    default: return false;
    }
}

bool isConstant(const Expr& e) {
    if (e.kind == ExprKind::Column || e.kind == ExprKind::CountStar) return false;
    if (e.left && !isConstant(*e.left)) return false;
    if (e.right && !isConstant(*e.right)) return false;
    if (e.third && !isConstant(*e.third)) return false;
    for (const auto& item : e.list)
        if (!isConstant(*item)) return false;
    return true;
}

void conjuncts(const Expr& e, std::vector<const Expr*>& out) {
    if (e.kind == ExprKind::Binary && e.binaryOp == BinaryOp::And) {
        conjuncts(*e.left, out);
        conjuncts(*e.right, out);
    } else {
        out.push_back(&e);
    }
}

struct ColumnBounds {
    std::optional<Value> low, high; // as given, not yet in the column's type
    bool lowInclusive = true, highInclusive = true;
    bool impossible = false;
};

void tighten(ColumnBounds& b, const Value& v, bool inclusive, bool isLow) {
    std::optional<Value>& slot = isLow ? b.low : b.high;
    bool& incl = isLow ? b.lowInclusive : b.highInclusive;
    if (v.isNull()) {
        b.impossible = true; // a comparison with Null is never true
        return;
    }
    if (!slot) {
        slot = v;
        incl = inclusive;
        return;
    }
    std::optional<int> c;
    try {
        c = compareValues(v, *slot);
    } catch (const ExecutionError&) {
        return;
    }
    if (!c) return;
    if ((isLow && *c > 0) || (!isLow && *c < 0)) {
        slot = v;
        incl = inclusive;
    } else if (*c == 0) {
        incl = incl && inclusive;
    }
}

// A bound in the key column's canonical form; may widen the range (the filter runs
// afterwards) but never narrows it. nullopt drops the bound; `impossible` marks a range
// that no row can meet.
std::optional<KeyBound> keyBound(const Value& v, bool inclusive, bool isLow, const ColumnInfo& c, bool& impossible) {
    if (c.type == ColumnType::DateTime) {
        if (!v.isDateTime() && !v.isNumeric()) return std::nullopt;
        double days = v.isDateTime() ? v.asDateTime().days : v.toDouble();
        if (days < 0) return std::nullopt; // before 1899-12-30 key order is not time order
        return KeyBound{Value(DateTime{days}), inclusive};
    }
    if (!v.isNumeric()) return std::nullopt;
    if (c.type == ColumnType::Double) return KeyBound{Value(v.toDouble()), inclusive};
    if (c.type == ColumnType::Currency) {
        double d = v.toDouble() * 10000.0;
        d = isLow ? std::floor(d) - 1 : std::ceil(d) + 1;
        if (std::fabs(d) > 9.2e18) return std::nullopt;
        return KeyBound{Value(Decimal{static_cast<Int128>(d), 4}), true};
    }
    // Byte, Integer, Long: whole numbers only.
    double lo = c.type == ColumnType::Byte ? 0 : c.type == ColumnType::Integer ? -32768 : -2147483648.0;
    double hi = c.type == ColumnType::Byte ? 255 : c.type == ColumnType::Integer ? 32767 : 2147483647.0;
    double d;
    if (v.isInt()) {
        d = static_cast<double>(v.asInt());
    } else {
        d = v.toDouble();
    }
    bool whole = d == std::floor(d);
    double k;
    if (isLow) {
        k = whole ? (inclusive ? d : d + 1) : std::ceil(d);
        if (k > hi) {
            impossible = true;
            return std::nullopt;
        }
        if (k <= lo) return std::nullopt;
    } else {
        k = whole ? (inclusive ? d : d - 1) : std::floor(d);
        if (k < lo) {
            impossible = true;
            return std::nullopt;
        }
        if (k >= hi) return std::nullopt;
    }
    return KeyBound{Value(static_cast<std::int64_t>(k)), true};
}

std::optional<std::size_t> findIndex(const TableAccess& table, std::size_t column) {
    std::optional<std::size_t> best;
    const auto& indexes = table.indexes();
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const IndexInfo& ix = indexes[i];
        if (!ix.seekable || ix.columns.empty() || ix.columns[0] != column) continue;
        if (!ix.descending.empty() && ix.descending[0]) continue;
        if (!best || (ix.primaryKey && !indexes[*best].primaryKey) ||
            (ix.unique && !indexes[*best].unique && !indexes[*best].primaryKey) ||
            (ix.columns.size() < indexes[*best].columns.size() && ix.unique == indexes[*best].unique))
            best = i;
    }
    return best;
}

} // namespace

AccessPlan planAccess(TableAccess& table, const Expr* where, const std::vector<OrderItem>* order,
                      std::int64_t identity) {
    AccessPlan plan;
    const auto& columns = table.columns();
    if (where) {
        std::vector<const Expr*> terms;
        conjuncts(*where, terms);
        std::vector<ColumnBounds> bounds(columns.size());
        std::vector<bool> touched(columns.size(), false);
        std::vector<bool> equality(columns.size(), false);
        std::vector<int> termCount(columns.size(), 0);
        for (const Expr* t : terms) {
            if (t->kind == ExprKind::Binary) {
                const Expr* col = nullptr;
                const Expr* other = nullptr;
                bool flipped = false;
                if (t->left->kind == ExprKind::Column && isConstant(*t->right)) {
                    col = t->left.get();
                    other = t->right.get();
                } else if (t->right->kind == ExprKind::Column && isConstant(*t->left)) {
                    col = t->right.get();
                    other = t->left.get();
                    flipped = true;
                }
                if (!col || !seekableType(columns[col->columnIndex].type)) continue;
                BinaryOp op = t->binaryOp;
                if (flipped) {
                    if (op == BinaryOp::Less) op = BinaryOp::Greater;
                    else if (op == BinaryOp::LessEqual) op = BinaryOp::GreaterEqual;
                    else if (op == BinaryOp::Greater) op = BinaryOp::Less;
                    else if (op == BinaryOp::GreaterEqual) op = BinaryOp::LessEqual;
                }
                Value v = evaluate(*other, nullptr, identity);
                ColumnBounds& b = bounds[col->columnIndex];
                switch (op) {
                case BinaryOp::Equal:
                    tighten(b, v, true, true);
                    tighten(b, v, true, false);
                    equality[col->columnIndex] = true;
                    break;
                case BinaryOp::Greater: tighten(b, v, false, true); break;
                case BinaryOp::GreaterEqual: tighten(b, v, true, true); break;
                case BinaryOp::Less: tighten(b, v, false, false); break;
                case BinaryOp::LessEqual: tighten(b, v, true, false); break;
                default: continue;
                }
                touched[col->columnIndex] = true;
                ++termCount[col->columnIndex];
            } else if (t->kind == ExprKind::Between && !t->negated && t->left->kind == ExprKind::Column &&
                       isConstant(*t->right) && isConstant(*t->third) &&
                       seekableType(columns[t->left->columnIndex].type)) {
                ColumnBounds& b = bounds[t->left->columnIndex];
                tighten(b, evaluate(*t->right, nullptr, identity), true, true);
                tighten(b, evaluate(*t->third, nullptr, identity), true, false);
                touched[t->left->columnIndex] = true;
                ++termCount[t->left->columnIndex];
            }
        }
        int bestScore = 0;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (!touched[c]) continue;
            std::optional<std::size_t> ix = findIndex(table, c);
            if (!ix) continue;
            ColumnBounds& b = bounds[c];
            KeyRange range;
            bool impossible = b.impossible;
            if (b.low) range.low = keyBound(*b.low, b.lowInclusive, true, columns[c], impossible);
            if (b.high) range.high = keyBound(*b.high, b.highInclusive, false, columns[c], impossible);
            if (impossible) {
                plan.impossible = true;
                return plan;
            }
            if (!range.low && !range.high) continue;
            const IndexInfo& info = table.indexes()[*ix];
            int score = equality[c] ? ((info.unique || info.primaryKey) && info.columns.size() == 1 ? 100 : 80)
                        : (range.low && range.high) ? 50
                                                    : 30;
            if (score > bestScore) {
                bestScore = score;
                plan.useIndex = true;
                plan.index = *ix;
                plan.range = range;
                plan.orderedColumn = columns[c].type == ColumnType::DateTime ? static_cast<std::size_t>(-1) : c;
                // One comparison on a whole-number key: the range is exactly the condition
                // (bounds were turned into whole numbers above), so no row needs testing again.
                ColumnType t = columns[c].type;
                plan.coversWhere = terms.size() == 1 && termCount[c] == 1 &&
                                   (t == ColumnType::Byte || t == ColumnType::Integer || t == ColumnType::Long);
            }
        }
    }
    // ORDER BY on an indexed column that cannot hold Null: walk the whole index in order.
    if (!plan.useIndex && order && order->size() == 1 && !(*order)[0].descending &&
        (*order)[0].expr->kind == ExprKind::Column) {
        std::size_t c = (*order)[0].expr->columnIndex;
        if (seekableType(columns[c].type) && columns[c].type != ColumnType::DateTime) {
            std::optional<std::size_t> ix = findIndex(table, c);
            if (ix && (table.indexes()[*ix].primaryKey || columns[c].required)) {
                plan.useIndex = true;
                plan.index = *ix;
                plan.orderedColumn = c;
            }
        }
    }
    return plan;
}

} // namespace jet::sql::exec
