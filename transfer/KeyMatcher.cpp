// KeyMatcher.cpp — key bytes of server rows looked up among those of the Access index.
#include "transfer/KeyMatcher.h"

namespace tablor::transfer {

namespace {

jet::KeyValue keyValue(const jet::Value& v) {
    using K = jet::Value::Kind;
    switch (v.kind()) {
    case K::Null: return std::monostate{};
    case K::Boolean: return v.asBoolean();
    case K::Byte:
    case K::Integer:
    case K::Long: return v.toInt64();
    case K::Currency: return v.asCurrency().scaled;
    case K::Single: return static_cast<double>(v.asSingle());
    case K::Double: return v.asDouble();
    case K::DateTime: return v.asDateTime().days;
    case K::Text: return jet::utf8ToUtf16(v.asText());
    case K::Guid: {
        // Rows keep the first three groups little-endian, keys the text order.
        static constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        jet::KeyGuid g;
        for (size_t i = 0; i < 16; ++i) g.bytes[i] = v.asGuid().bytes[static_cast<size_t>(order[i])];
        return g;
    }
    case K::Decimal: {
        const jet::Decimal& d = v.asDecimal();
        jet::KeyDecimal k;
        k.negative = d.negative;
        for (int i = 0; i < 8; ++i) {
            k.magnitude[static_cast<size_t>(i)] = static_cast<uint8_t>(d.high >> (56 - 8 * i));
            k.magnitude[static_cast<size_t>(8 + i)] = static_cast<uint8_t>(d.low >> (56 - 8 * i));
        }
        return k;
    }
    case K::Binary: break;
    }
    throw jet::KeyEncodingError("a binary value cannot be part of an Access key");
}

} // namespace

KeyMatcher::KeyMatcher(const jet::Database& db, std::shared_ptr<const jet::TableDef> table,
                       const jet::IndexDef& index) {
    const jet::TextSortOrder order =
        db.version() == jet::Version::Jet3 ? jet::TextSortOrder::General97 : jet::TextSortOrder::GeneralLegacy;
    for (const jet::IndexColumn& ic : index.columns) {
        jet::KeyColumn k;
        for (const jet::ColumnDef& c : table->columns)
            if (c.number == ic.columnNumber) k.type = static_cast<jet::KeyColumnType>(c.type);
        k.ascending = ic.ascending;
        k.sortOrder = order;
        m_columns.push_back(k);
    }
    m_values.resize(m_columns.size());
    auto cursor = db.indexScan(std::move(table), index);
    while (cursor.next()) {
        const jet::IndexEntry& e = cursor.entry();
        m_rows.emplace(std::string(e.key.begin(), e.key.end()), e.row.packed());
    }
}

std::optional<jet::RowId> KeyMatcher::find(std::span<const jet::Value> values) {
    for (size_t i = 0; i < values.size() && i < m_values.size(); ++i) m_values[i] = keyValue(values[i]);
    const std::vector<uint8_t> key = jet::encodeKey(m_columns, m_values);
    const auto it = m_rows.find(std::string(key.begin(), key.end()));
    if (it == m_rows.end()) return std::nullopt;
    return jet::RowId::fromPacked(it->second);
}

} // namespace tablor::transfer
