// The rows behind a data set: its fields, and a display order over the storage that
// sorting changes. SqlStore holds a query's rows, TableStore a table's.
#pragma once

#include "db/ADODB.h"
#include "db/AdoValues.h"

#include "jet/value.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <vector>

namespace tablor {

class TCustomADODataSet::Store {
public:
    struct Field {
        QString name;
        TFieldType kind;
        int size;
        bool required;
    };
    virtual ~Store() = default;

    std::vector<Field> fields;
    std::vector<jet::ColumnType> types;

    int count() const { return static_cast<int>(storageCount()); }
    size_t storageIndex(int row) const {
        return m_order.empty() ? static_cast<size_t>(row) : m_order[static_cast<size_t>(row)];
    }
    const std::vector<jet::Value>& row(int r) const { return storageRow(storageIndex(r)); }

    void insert(const std::vector<jet::Value>& values) {
        storageInsert(values);
        if (!m_order.empty()) m_order.push_back(static_cast<uint32_t>(storageCount() - 1));
    }
    void update(int r, const std::vector<jet::Value>& values) { storageUpdate(storageIndex(r), values); }
    void erase(int r) {
        const size_t s = storageIndex(r);
        storageErase(s);
        if (!m_order.empty()) {
            m_order.erase(m_order.begin() + r);
            for (uint32_t& o : m_order)
                if (o > s) --o;
        }
    }
    // Re-orders by column `col` (-1: storage order); returns the new row of `current`.
    int sort(int col, int current, bool& byIndex) {
        const size_t currentStorage = current >= 0 ? storageIndex(current) : SIZE_MAX;
        byIndex = false;
        if (col < 0) {
            m_order.clear();
        } else if (auto viaIndex = indexOrder(col)) {
            m_order = std::move(*viaIndex);
            byIndex = true;
        } else {
            const std::vector<jet::Value> values = columnValues(col);
            std::vector<ado::SortKey> keys;
            keys.reserve(values.size());
            for (const jet::Value& v : values) keys.push_back(ado::sortKeyOf(v));
            std::vector<uint32_t> order(values.size());
            std::iota(order.begin(), order.end(), 0u);
            std::stable_sort(order.begin(), order.end(),
                             [&](uint32_t a, uint32_t b) { return ado::keyLess(keys[a], keys[b]); });
            m_order = std::move(order);
        }
        if (currentStorage == SIZE_MAX) return current;
        if (m_order.empty()) return static_cast<int>(currentStorage);
        const auto it = std::find(m_order.begin(), m_order.end(), static_cast<uint32_t>(currentStorage));
        return it == m_order.end() ? 0 : static_cast<int>(it - m_order.begin());
    }

protected:
    virtual size_t storageCount() const = 0;
    virtual const std::vector<jet::Value>& storageRow(size_t s) const = 0;
    virtual void storageInsert(const std::vector<jet::Value>& values) = 0;
    virtual void storageUpdate(size_t s, const std::vector<jet::Value>& values) = 0;
    virtual void storageErase(size_t s) = 0;
    virtual std::vector<jet::Value> columnValues(int col) const = 0;
    virtual std::optional<std::vector<uint32_t>> indexOrder(int) const { return std::nullopt; }

    std::vector<uint32_t> m_order; // display row -> storage index; empty: storage order
};

} // namespace tablor
