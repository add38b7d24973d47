// The row streams a statement reads through: a cursor or a saved query's rows, then the
// WHERE filter, the ORDER BY sort and TOP, each pulling rows from the one before only as
// they are asked for.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "eval.h"
#include "jet/sql/ast.h"
#include "jet/sql/executor.h"

namespace jet::sql::exec {

// The truth of a WHERE condition; throws when the value is neither true nor false.
bool isTrue(const Value& v);

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
            if (isTrue(detail::evaluate(*where_, &in_->row(), identity_))) return true;
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

int compareKeys(const std::vector<Value>& a, const std::vector<Value>& b, const std::vector<OrderItem>& order);

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
            for (const OrderItem& item : order_) r.keys.push_back(detail::evaluate(*item.expr, &in_->row(), identity_));
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
        for (const OrderItem& item : *order_) keys.push_back(detail::evaluate(*item.expr, &row, identity_));
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

class EmptyCursor : public RowCursor {
public:
    bool next() override { return false; }
    const Row& row() const override { return row_; }
    RowId rowId() const override { return 0; }

private:
    Row row_;
};

} // namespace jet::sql::exec
