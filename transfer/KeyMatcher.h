// KeyMatcher.h — finds the Access row that a server row updates when the download matches rows
// by key: one walk of the Access index over the key columns up front, then a hash lookup of the
// row's key bytes, so that matching costs about as much as appending. Keys compare as the
// Access index compares them (text without regard to case, as Access does).
//
// Memory: one entry per Access row (its key bytes and row id, about 60 bytes).
#pragma once

#include "jet/database.h"
#include "jet/index_keys.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace tablor::transfer {

class KeyMatcher {
public:
    KeyMatcher(const jet::Database& db, std::shared_ptr<const jet::TableDef> table, const jet::IndexDef& index);

    // The row whose key holds `values` (one per index column, in index order), if there is one.
    // Throws jet::KeyEncodingError for a value the key cannot hold.
    std::optional<jet::RowId> find(std::span<const jet::Value> values);
    size_t size() const { return m_rows.size(); }

private:
    std::vector<jet::KeyColumn> m_columns;
    std::vector<jet::KeyValue> m_values;
    std::unordered_map<std::string, uint32_t> m_rows; // key bytes -> RowId::packed()
};

} // namespace tablor::transfer
