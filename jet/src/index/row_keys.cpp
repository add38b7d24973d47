// Index keys of table rows (see row_keys.h).
#include "index/row_keys.h"

namespace jet::detail {

namespace {

const ColumnDef* columnByNumber(const TableDef& table, uint16_t number, size_t* position) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].number == number) {
            if (position) *position = i;
            return &table.columns[i];
        }
    }
    return nullptr;
}

} // namespace

KeyColumn keyColumnFor(const Format& format, const ColumnDef& column, bool ascending) {
    KeyColumn k;
    k.type = static_cast<KeyColumnType>(column.type);
    if (column.type == ColumnType::Ole) k.type = KeyColumnType::Binary;
    k.ascending = ascending;
    k.sortOrder = format.isJet3() ? TextSortOrder::General97 : TextSortOrder::GeneralLegacy;
    return k;
}

KeyValue keyValueFor(const ColumnDef& column, const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Null: return std::monostate{};
    case Value::Kind::Boolean: return v.asBoolean();
    case Value::Kind::Byte:
    case Value::Kind::Integer:
    case Value::Kind::Long: return v.toInt64();
    case Value::Kind::Currency: return v.asCurrency().scaled;
    case Value::Kind::Single: return static_cast<double>(v.asSingle());
    case Value::Kind::Double: return v.asDouble();
    case Value::Kind::DateTime: return v.asDateTime().days;
    case Value::Kind::Text: return utf8ToUtf16(v.asText());
    case Value::Kind::Guid: {
        // On disk the first three groups are little-endian; keys use the text order.
        const auto& d = v.asGuid().bytes;
        KeyGuid g;
        const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = d[static_cast<size_t>(order[i])];
        return g;
    }
    case Value::Kind::Decimal: {
        const Decimal& d = v.asDecimal();
        KeyDecimal k;
        k.negative = d.negative;
        for (int i = 0; i < 8; ++i) {
            k.magnitude[static_cast<size_t>(i)] = static_cast<uint8_t>(d.high >> (56 - 8 * i));
            k.magnitude[static_cast<size_t>(8 + i)] = static_cast<uint8_t>(d.low >> (56 - 8 * i));
        }
        return k;
    }
    case Value::Kind::Binary: break;
    }
    throw KeyEncodingError("column [" + column.name + "] holds binary data, which has no index key");
}

std::vector<uint8_t> rowKey(const Format& format, const TableDef& table, const IndexDef& index,
                            std::span<const Value> row) {
    std::vector<uint8_t> key;
    key.reserve(16 * index.columns.size());
    for (const IndexColumn& ic : index.columns) {
        size_t pos = 0;
        const ColumnDef* c = columnByNumber(table, ic.columnNumber, &pos);
        if (!c) continue;
        appendKeyValue(key, keyColumnFor(format, *c, ic.ascending), keyValueFor(*c, row[pos]));
    }
    return key;
}

bool rowKeyAllNull(const TableDef& table, const IndexDef& index, std::span<const Value> row) {
    for (const IndexColumn& ic : index.columns) {
        size_t pos = 0;
        if (columnByNumber(table, ic.columnNumber, &pos) && !row[pos].isNull()) return false;
    }
    return true;
}

} // namespace jet::detail
