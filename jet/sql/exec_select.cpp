#include <memory>
#include <string>
#include <vector>

#include "eval.h"
#include "exec_plan.h"
#include "exec_steps.h"
#include "exec_streams.h"
#include "jet/schema.h"
#include "jet/sql/error.h"
#include "jet/sql/parser.h"

namespace jet::sql::exec {

using detail::bind;
using detail::evaluate;
using jet::sameName;

namespace {

constexpr int kMaxViewDepth = 16;

struct Source {
    std::string name;
    std::vector<ResultColumn> columns;
    std::vector<std::string> names;
    std::unique_ptr<TableAccess> table; // when the source is a table
    std::unique_ptr<RowSet> view;       // when it is a saved query
};

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

} // namespace

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

} // namespace jet::sql::exec
