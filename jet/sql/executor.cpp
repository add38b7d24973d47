// Runs parsed Jet SQL statements over a Database. A SELECT becomes a chain of streams
// (index seek or scan, filter, optional sort, TOP, projection) that reads rows only as the
// caller asks for them; changes collect the affected row ids first and change the rows
// after the read has finished, so that a change never disturbs the cursor that found it.
#include "jet/sql/executor.h"

#include "jet/schema.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "eval.h"
#include "jet/sql/error.h"
#include "jet/sql/parser.h"

namespace jet::sql {

using detail::bind;
using detail::coerce;
using detail::compareValues;
using detail::evaluate;
using detail::orderValues;

Result Result::affected(std::int64_t count) {
    Result r;
    r.affected_ = count;
    return r;
}

Result Result::withRows(std::unique_ptr<RowSet> rows) {
    Result r;
    r.rows_ = std::move(rows);
    return r;
}

RowSet& Result::rows() {
    if (!rows_) throw SqlError("The statement returned no rows; only a SELECT does.");
    return *rows_;
}

namespace {

constexpr int kMaxViewDepth = 16;

using jet::sameName;

[[noreturn]] void noSuchTable(const std::string& name) {
    throw ExecutionError("The Microsoft Jet database engine cannot find the input table or query '" + name +
                         "'. Make sure it exists and that its name is spelled correctly.");
}

bool isTrue(const Value& v) {
    if (v.isBool()) return v.asBool();
    if (v.isNull()) return false;
    if (v.isNumeric()) return v.toDouble() != 0;
    throw ExecutionError("Data type mismatch in criteria expression: the WHERE condition is not true or false.");
}

// ---- streams ---------------------------------------------------------------------------

class Stream {
public:
    virtual ~Stream() = default;
    virtual bool next() = 0;
    virtual const Row& row() const = 0;
    virtual RowId rowId() const = 0;
};

class CursorStream : public Stream {
public:
    explicit CursorStream(std::unique_ptr<RowCursor> c) : c_(std::move(c)) {}
    bool next() override { return c_->next(); }
    const Row& row() const override { return c_->row(); }
    RowId rowId() const override { return c_->rowId(); }

private:
    std::unique_ptr<RowCursor> c_;
};

class RowSetStream : public Stream {
public:
    explicit RowSetStream(std::unique_ptr<RowSet> r) : r_(std::move(r)) {}
    bool next() override { return r_->next(); }
    const Row& row() const override { return r_->row(); }
    RowId rowId() const override { return 0; }

private:
    std::unique_ptr<RowSet> r_;
};

class FilterStream : public Stream {
public:
    FilterStream(std::unique_ptr<Stream> in, const Expr* where, std::int64_t identity)
        : in_(std::move(in)), where_(where), identity_(identity) {}
    bool next() override {
        while (in_->next())
            if (isTrue(evaluate(*where_, &in_->row(), identity_))) return true;
        return false;
    }
    const Row& row() const override { return in_->row(); }
    RowId rowId() const override { return in_->rowId(); }

private:
    std::unique_ptr<Stream> in_;
    const Expr* where_;
    std::int64_t identity_;
};

struct SortKeyRow {
    std::vector<Value> keys;
    Row row;
    RowId id;
};

int compareKeys(const std::vector<Value>& a, const std::vector<Value>& b, const std::vector<OrderItem>& order) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        int c = orderValues(a[i], b[i]);
        if (c != 0) return order[i].descending ? -c : c;
    }
    return 0;
}

// ORDER BY without a usable index: reads every row, then sorts (stable, so rows with
// equal keys keep the table's order).
class SortStream : public Stream {
public:
    SortStream(std::unique_ptr<Stream> in, const std::vector<OrderItem>& order, std::int64_t identity)
        : in_(std::move(in)), order_(order), identity_(identity) {}
    bool next() override {
        if (!loaded_) load();
        if (next_ >= rows_.size()) return false;
        at_ = next_++;
        return true;
    }
    const Row& row() const override { return rows_[at_].row; }
    RowId rowId() const override { return rows_[at_].id; }

private:
    void load() {
        loaded_ = true;
        while (in_->next()) {
            SortKeyRow r;
            for (const OrderItem& item : order_) r.keys.push_back(evaluate(*item.expr, &in_->row(), identity_));
            r.row = in_->row();
            r.id = in_->rowId();
            rows_.push_back(std::move(r));
        }
        in_.reset();
        std::stable_sort(rows_.begin(), rows_.end(), [&](const SortKeyRow& a, const SortKeyRow& b) {
            return compareKeys(a.keys, b.keys, order_) < 0;
        });
    }
    std::unique_ptr<Stream> in_;
    const std::vector<OrderItem>& order_;
    std::int64_t identity_;
    std::vector<SortKeyRow> rows_;
    std::size_t at_ = 0;
    std::size_t next_ = 0;
    bool loaded_ = false;
};

// TOP n. With ORDER BY, Jet also returns the rows that tie with the n-th row.
class TopStream : public Stream {
public:
    TopStream(std::unique_ptr<Stream> in, std::int64_t n, const std::vector<OrderItem>* order, std::int64_t identity)
        : in_(std::move(in)), n_(n), order_(order), identity_(identity) {}
    bool next() override {
        if (done_ || (count_ >= n_ && !order_)) return false;
        if (!in_->next()) {
            done_ = true;
            return false;
        }
        ++count_;
        if (count_ <= n_) {
            if (count_ == n_ && order_) lastKeys_ = keysOf(in_->row());
            return true;
        }
        if (order_ && compareKeys(keysOf(in_->row()), lastKeys_, *order_) == 0) return true;
        done_ = true;
        return false;
    }
    const Row& row() const override { return in_->row(); }
    RowId rowId() const override { return in_->rowId(); }

private:
    std::vector<Value> keysOf(const Row& row) const {
        std::vector<Value> keys;
        for (const OrderItem& item : *order_) keys.push_back(evaluate(*item.expr, &row, identity_));
        return keys;
    }
    std::unique_ptr<Stream> in_;
    std::int64_t n_;
    const std::vector<OrderItem>* order_;
    std::int64_t identity_;
    std::int64_t count_ = 0;
    std::vector<Value> lastKeys_;
    bool done_ = false;
};

// ---- access paths ----------------------------------------------------------------------

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

struct AccessPlan {
    bool useIndex = false;
    bool impossible = false;
    std::size_t index = 0;
    KeyRange range;
    std::size_t orderedColumn = static_cast<std::size_t>(-1); // rows come sorted by this column
    bool coversWhere = false;                                 // the seek returns exactly the rows the WHERE accepts
};

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

class EmptyCursor : public RowCursor {
public:
    bool next() override { return false; }
    const Row& row() const override { return row_; }
    RowId rowId() const override { return 0; }

private:
    Row row_;
};

// ---- SELECT ------------------------------------------------------------------------------

struct Source {
    std::string name;
    std::vector<ResultColumn> columns;
    std::vector<std::string> names;
    std::unique_ptr<TableAccess> table; // when the source is a table
    std::unique_ptr<RowSet> view;       // when it is a saved query
};

std::unique_ptr<RowSet> openSelect(std::shared_ptr<SelectStatement> s, Database& db, std::int64_t identity, int depth);

ResultColumn resultColumnOf(const ColumnInfo& c) {
    ResultColumn r;
    r.name = c.name;
    r.type = c.type;
    r.size = c.size;
    r.precision = c.precision;
    r.scale = c.scale;
    return r;
}

Source openSource(const std::string& name, Database& db, std::int64_t identity, int depth) {
    Source src;
    src.name = name;
    if (auto table = db.openTable(name)) {
        for (const ColumnInfo& c : table->columns()) {
            src.columns.push_back(resultColumnOf(c));
            src.names.push_back(c.name);
        }
        src.name = table->name();
        src.table = std::move(table);
        return src;
    }
    std::optional<std::string> sql = db.viewSql(name);
    if (!sql) noSuchTable(name);
    if (sql->find_first_not_of(" \t\r\n;") == std::string::npos)
        throw ExecutionError("The saved query '" + name +
                             "' cannot be opened: its SQL text could not be read from the file.");
    if (depth >= kMaxViewDepth)
        throw ExecutionError("The saved query '" + name +
                             "' refers to itself through other queries; it cannot be opened.");
    Statement parsed;
    try {
        parsed = parse(*sql);
    } catch (const NotSupportedError& e) {
        throw NotSupportedError("The saved query '" + name + "' cannot be opened: " + e.what());
    } catch (const SqlError& e) {
        throw ExecutionError("The saved query '" + name + "' cannot be opened: " + e.what());
    }
    auto* select = std::get_if<SelectStatement>(&parsed);
    if (!select || select->intoTable)
        throw NotSupportedError("The saved query '" + name +
                                "' is not a plain SELECT query; it cannot be opened as a table.");
    auto shared = std::make_shared<SelectStatement>(std::move(*select));
    try {
        src.view = openSelect(shared, db, identity, depth + 1);
    } catch (const SqlError& e) {
        throw ExecutionError("The saved query '" + name + "' cannot be opened: " + e.what());
    }
    src.columns = src.view->columns();
    for (const ResultColumn& c : src.columns) src.names.push_back(c.name);
    return src;
}

ResultColumn describeExpr(const Expr& e, const std::vector<ResultColumn>& source, std::string name) {
    ResultColumn r;
    switch (e.kind) {
    case ExprKind::Column: r = source[e.columnIndex]; break;
    case ExprKind::Literal: r.type = detail::typeOfValue(e.literal); break;
    case ExprKind::Identity:
    case ExprKind::CountStar: r.type = ColumnType::Long; break;
    case ExprKind::IsNull:
    case ExprKind::Like:
    case ExprKind::Between:
    case ExprKind::InList: r.type = ColumnType::Boolean; break;
    case ExprKind::Unary: r.type = e.unaryOp == UnaryOp::Not ? ColumnType::Boolean : ColumnType::Double; break;
    case ExprKind::Binary:
        switch (e.binaryOp) {
        case BinaryOp::Concat: r.type = ColumnType::Memo; break;
        case BinaryOp::Add:
        case BinaryOp::Subtract:
        case BinaryOp::Multiply:
        case BinaryOp::Divide: r.type = ColumnType::Double; break;
        case BinaryOp::IntDivide: r.type = ColumnType::Long; break;
        default: r.type = ColumnType::Boolean; break;
        }
        break;
    }
    r.name = std::move(name);
    return r;
}

class VectorRowSet : public RowSet {
public:
    VectorRowSet(std::vector<ResultColumn> columns, std::vector<Row> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}
    const std::vector<ResultColumn>& columns() const override { return columns_; }
    bool next() override {
        if (next_ >= rows_.size()) return false;
        at_ = next_++;
        return true;
    }
    const Row& row() const override { return rows_[at_]; }

private:
    std::vector<ResultColumn> columns_;
    std::vector<Row> rows_;
    std::size_t at_ = 0;
    std::size_t next_ = 0;
};

// The SELECT list: which source column or expression makes each result column.
struct Projection {
    std::vector<ResultColumn> columns;
    std::vector<std::size_t> sourceColumn; // index into the source row, or npos for an expression
    std::vector<const Expr*> exprs;
    bool identity = true; // the result row is the source row as it is
};

Projection project(SelectStatement& s, const Source& src, const detail::Scope& scope) {
    Projection p;
    int exprNumber = 1000;
    for (SelectItem& item : s.items) {
        if (item.star) {
            if (!item.qualifier.empty() && !sameName(item.qualifier, src.name) &&
                !(!s.fromAlias.empty() && sameName(item.qualifier, s.fromAlias)))
                throw ExecutionError("Unknown table name [" + item.qualifier + "] in [" + item.qualifier +
                                     "].*: this query reads only [" + src.name + "].");
            for (std::size_t i = 0; i < src.columns.size(); ++i) {
                p.columns.push_back(src.columns[i]);
                p.sourceColumn.push_back(i);
                p.exprs.push_back(nullptr);
            }
            continue;
        }
        bind(*item.expr, &scope);
        std::string name = item.alias;
        if (name.empty()) {
            name = item.expr->kind == ExprKind::Column ? src.columns[item.expr->columnIndex].name
                                                       : "Expr" + std::to_string(exprNumber++);
        }
        p.columns.push_back(describeExpr(*item.expr, src.columns, name));
        if (item.expr->kind == ExprKind::Column) {
            p.sourceColumn.push_back(item.expr->columnIndex);
            p.exprs.push_back(nullptr);
        } else {
            p.sourceColumn.push_back(static_cast<std::size_t>(-1));
            p.exprs.push_back(item.expr.get());
        }
    }
    p.identity = p.columns.size() == src.columns.size();
    for (std::size_t i = 0; p.identity && i < p.sourceColumn.size(); ++i) p.identity = p.sourceColumn[i] == i;
    return p;
}

class SelectRowSet : public RowSet {
public:
    SelectRowSet(std::shared_ptr<SelectStatement> statement, Source source, std::unique_ptr<Stream> stream,
                 Projection projection, std::int64_t identity)
        : statement_(std::move(statement)), source_(std::move(source)), stream_(std::move(stream)),
          projection_(std::move(projection)), identity_(identity) {}
    const std::vector<ResultColumn>& columns() const override { return projection_.columns; }
    bool next() override {
        if (!stream_ || !stream_->next()) {
            stream_.reset(); // release the table as soon as the rows are done
            return false;
        }
        if (projection_.identity) return true;
        const Row& in = stream_->row();
        row_.resize(projection_.columns.size());
        for (std::size_t i = 0; i < row_.size(); ++i)
            row_[i] = projection_.exprs[i] ? evaluate(*projection_.exprs[i], &in, identity_)
                                           : in[projection_.sourceColumn[i]];
        return true;
    }
    const Row& row() const override { return projection_.identity ? stream_->row() : row_; }

private:
    std::shared_ptr<SelectStatement> statement_; // owns the expressions the stream uses
    Source source_;
    std::unique_ptr<Stream> stream_;
    Projection projection_;
    std::int64_t identity_;
    Row row_;
};

// Rows of `src` that meet `where`, through an index when one helps. `order` is the ORDER BY
// (may be empty); `sorted` tells whether the rows already come in that order.
std::unique_ptr<Stream> openRows(Source& src, const Expr* where, const std::vector<OrderItem>& order,
                                 std::int64_t identity, bool& sorted) {
    sorted = order.empty();
    std::unique_ptr<Stream> stream;
    if (src.table) {
        AccessPlan plan = planAccess(*src.table, where, order.empty() ? nullptr : &order, identity);
        if (plan.impossible) {
            stream = std::make_unique<CursorStream>(std::make_unique<EmptyCursor>());
            sorted = true;
        } else if (plan.useIndex) {
            stream = std::make_unique<CursorStream>(src.table->seek(plan.index, plan.range));
            if (order.size() == 1 && !order[0].descending && order[0].expr->kind == ExprKind::Column &&
                order[0].expr->columnIndex == plan.orderedColumn)
                sorted = true;
            if (plan.coversWhere) where = nullptr;
        } else {
            stream = std::make_unique<CursorStream>(src.table->scan());
        }
    } else {
        stream = std::make_unique<RowSetStream>(std::move(src.view));
    }
    if (where) stream = std::make_unique<FilterStream>(std::move(stream), where, identity);
    return stream;
}

std::unique_ptr<RowSet> openSelect(std::shared_ptr<SelectStatement> s, Database& db, std::int64_t identity, int depth) {
    bool hasCount = false, hasOther = false;
    for (const SelectItem& item : s->items) {
        if (!item.star && item.expr->kind == ExprKind::CountStar) {
            hasCount = true;
        } else {
            hasOther = true;
        }
    }
    if (hasCount && hasOther)
        throw ExecutionError("You tried to execute a query that does not include the specified expression as part of "
                             "an aggregate function: COUNT(*) cannot be combined with other columns (GROUP BY is not "
                             "supported).");

    if (!s->from) {
        if (hasCount) throw ExecutionError("COUNT(*) needs a FROM clause.");
        std::vector<ResultColumn> cols;
        Row row;
        int exprNumber = 1000;
        std::vector<ResultColumn> none;
        for (SelectItem& item : s->items) {
            bind(*item.expr, nullptr);
            std::string name = item.alias.empty() ? "Expr" + std::to_string(exprNumber++) : item.alias;
            cols.push_back(describeExpr(*item.expr, none, name));
            row.push_back(evaluate(*item.expr, nullptr, identity));
        }
        std::vector<Row> rows;
        if (!s->where || isTrue(evaluate(*s->where, nullptr, identity))) rows.push_back(std::move(row));
        return std::make_unique<VectorRowSet>(std::move(cols), std::move(rows));
    }

    Source src = openSource(*s->from, db, identity, depth);
    detail::Scope scope{&src.names, src.name, s->fromAlias};
    if (s->where) bind(*s->where, &scope);
    for (OrderItem& item : s->orderBy) bind(*item.expr, &scope);

    if (hasCount) {
        std::vector<ResultColumn> cols;
        int exprNumber = 1000;
        for (SelectItem& item : s->items) {
            ResultColumn c;
            c.name = item.alias.empty() ? "Expr" + std::to_string(exprNumber++) : item.alias;
            c.type = ColumnType::Long;
            cols.push_back(c);
        }
        std::int64_t count = 0;
        if (!s->where && src.table) {
            count = static_cast<std::int64_t>(src.table->countRows());
        } else {
            bool sorted = false;
            std::vector<OrderItem> noOrder;
            auto stream = openRows(src, s->where.get(), noOrder, identity, sorted);
            while (stream->next()) ++count;
        }
        std::vector<Row> rows{Row(cols.size(), Value(count))};
        return std::make_unique<VectorRowSet>(std::move(cols), std::move(rows));
    }

    Projection projection = project(*s, src, scope);
    bool sorted = false;
    std::unique_ptr<Stream> stream = openRows(src, s->where.get(), s->orderBy, identity, sorted);
    if (!sorted) stream = std::make_unique<SortStream>(std::move(stream), s->orderBy, identity);
    if (s->top)
        stream = std::make_unique<TopStream>(std::move(stream), *s->top, s->orderBy.empty() ? nullptr : &s->orderBy,
                                             identity);
    return std::make_unique<SelectRowSet>(s, std::move(src), std::move(stream), std::move(projection), identity);
}

// ---- changes ---------------------------------------------------------------------------

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

// A row of a statement failed; the message is finished by asOneStep, which knows whether the
// rows before it were undone.
struct RowChangeError : ExecutionError {
    using ExecutionError::ExecutionError;
};

// A statement's row changes are one step: they all stay, or none does.
template <class Run>
Result asOneStep(Database& db, Run&& run) {
    std::unique_ptr<ChangeScope> scope = db.beginChanges();
    try {
        Result r = run();
        if (scope) scope->commit();
        return r;
    } catch (const RowChangeError& e) {
        throw ExecutionError(std::string(e.what()) + (scope ? "; the statement was undone, nothing changed.)"
                                                            : "; the rows before it stay changed.)"));
    }
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
            throw RowChangeError(std::string(e.what()) + " (row " + std::to_string(done + 1) + " of " +
                                 std::to_string(changes.size()));
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
            throw RowChangeError(std::string(e.what()) + " (row " + std::to_string(done + 1) + " of " +
                                 std::to_string(ids.size()));
        }
        ++done;
    }
    return Result::affected(done);
}

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
        throw ExecutionError(message);
    }
    return Result::affected(count);
}

} // namespace

Connection::Connection(std::shared_ptr<Database> database) : database_(std::move(database)) {
    if (!database_) throw SqlError("A Jet SQL connection needs an open database.");
}

Result Connection::execute(std::string_view statement) {
    Statement parsed = parse(statement);
    Database& db = *database_;
    if (auto* s = std::get_if<SelectStatement>(&parsed)) {
        auto shared = std::make_shared<SelectStatement>(std::move(*s));
        if (shared->intoTable) return runSelectInto(shared, db, lastIdentity_);
        return Result::withRows(openSelect(shared, db, lastIdentity_, 0));
    }
    if (auto* s = std::get_if<InsertStatement>(&parsed))
        return asOneStep(db, [&] { return runInsert(*s, db, lastIdentity_); });
    if (auto* s = std::get_if<UpdateStatement>(&parsed))
        return asOneStep(db, [&] { return runUpdate(*s, db, lastIdentity_); });
    if (auto* s = std::get_if<DeleteStatement>(&parsed))
        return asOneStep(db, [&] { return runDelete(*s, db, lastIdentity_); });
    if (auto* s = std::get_if<CreateTableStatement>(&parsed)) return runCreate(*s, db);
    return runDrop(std::get<DropTableStatement>(parsed), db);
}

} // namespace jet::sql
