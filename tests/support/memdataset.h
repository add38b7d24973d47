// An in-memory data set for the data set, grid, search and print tests: rows of typed values,
// a count of the values read (to show what the grid converts) and of the rows posted, and a
// switch that makes the next post fail.
#pragma once

#include "db/DataSet.h"
#include "db/DbError.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace tablor::test {

class MemDataSet : public TDataSet {
public:
    struct Col {
        QString name;
        TFieldType kind;
    };
    std::vector<Col> cols;
    std::vector<std::vector<QVariant>> rows;
    std::vector<size_t> order;
    mutable long valuesRead = 0;
    bool failNextPost = false;
    int posts = 0;

    MemDataSet() = default;
    MemDataSet(std::vector<Col> columns, std::vector<std::vector<QVariant>> data)
        : cols(std::move(columns)), rows(std::move(data)) {}

protected:
    void InternalOpen() override {
        order.resize(rows.size());
        std::iota(order.begin(), order.end(), 0);
        for (const Col& c : cols) addField(c.name, c.kind, 50);
    }
    void InternalClose() override { order.clear(); }
    int storedCount() const override { return static_cast<int>(order.size()); }
    bool storedIsNull(int row, int col) const override { return !rows[order[row]][col].isValid(); }
    QVariant storedValue(int row, int col) const override {
        ++valuesRead;
        return rows[order[row]][col];
    }
    void InternalPostInsert(const EditBuffer& b) override {
        if (failNextPost) {
            failNextPost = false;
            throw EDatabaseError(QStringLiteral("refused"));
        }
        ++posts;
        rows.push_back(b.values);
        order.push_back(rows.size() - 1);
    }
    void InternalPostEdit(int row, const EditBuffer& b) override {
        if (failNextPost) {
            failNextPost = false;
            throw EDatabaseError(QStringLiteral("refused"));
        }
        ++posts;
        for (size_t c = 0; c < cols.size(); ++c)
            if (b.assigned[c]) rows[order[row]][c] = b.values[c];
    }
    void InternalDelete(int row) override { order.erase(order.begin() + row); }
    int InternalSort(int col, int currentRow) override {
        const size_t cur = currentRow >= 0 ? order[currentRow] : size_t(-1);
        if (col < 0) {
            std::sort(order.begin(), order.end());
        } else {
            std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { // nulls first
                const QVariant &x = rows[a][col], &y = rows[b][col];
                if (!x.isValid() || !y.isValid()) return !x.isValid() && y.isValid();
                return QVariant::compare(x, y) == QPartialOrdering::Less;
            });
        }
        return static_cast<int>(std::find(order.begin(), order.end(), cur) - order.begin());
    }
};

} // namespace tablor::test
