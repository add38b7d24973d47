// Row decoding (see row_codec.h).
#include "table/row_codec.h"

#include "file/bytes.h"
#include "database/database_impl.h"
#include "lval/long_value.h"

#include <cstring>

namespace jet::detail {

uint16_t fixedSizeOf(ColumnType type) {
    switch (type) {
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Currency: return 8;
    case ColumnType::Single: return 4;
    case ColumnType::Double: return 8;
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    default: return 0;
    }
}

RowDecoder::RowDecoder(DatabaseImpl& db, const TableDef& table) : db_(&db), table_(&table) {}

// Row layout. From the start: the column count, the fixed-length columns at their
// offsets, the variable-length data; from the end backwards: the null mask, the count
// of variable columns, the offset table. When the table has no variable columns, the
// row is only the count, the fixed data and the null mask.
//
// Jet 4:
// OFFSET            SIZE        MEANING
// 0                 2           number of columns in this row (n)
// 2                 ...         fixed data (column at 2 + fixed offset)
// ...               ...         variable data
// end-m-2-2(v+1)    2(v+1)      offsets from the row start, stored last-to-first: the
//                               entry nearest the count is variable column 0; the extra
//                               last entry is the end of the variable data
// end-m-2           2           v: number of variable columns in this row
// end-m             m           null mask, m = (n + 7) / 8 bytes, low bit first
//
// Jet 3: the same with 1-byte count, 1-byte v and 1-byte offsets. Rows longer than 256
// bytes add a jump table between v and the offsets: (row length - 1) / 256 bytes, each the
// number of the first variable column whose offset is at or past the next multiple of
// 256 (stored nearest-to-v first; a last entry can be unused). An offset's true value is
// its byte plus 256 times the number of jump entries at or below its column.
void RowDecoder::parseLayout(std::span<const uint8_t> row, uint32_t page, RowLayout& l) const {
    const auto& f = db_->format();
    auto& file = db_->file();
    const size_t len = row.size();
    if (len < f.rowCountSize + 1) file.corrupt(page, "has a row too short to hold its column count");
    l.columnCount = f.rowCountSize == 1 ? row[0] : u16(row, 0);
    const size_t maskSize = (l.columnCount + 7u) / 8u;
    if (maskSize + f.rowCountSize > len) file.corrupt(page, "has a row whose null mask does not fit");
    l.nullMask = row.subspan(len - maskSize, maskSize);
    l.varOffsets.clear();
    l.varCount = 0;
    if (table_->varColumnCount == 0) {
        l.fixedEnd = static_cast<uint32_t>(len - maskSize);
        return;
    }
    if (f.isJet3()) {
        const size_t end = len - 1; // index of the last byte
        if (maskSize + 1 > end) file.corrupt(page, "has a row too short for its variable columns");
        l.varCount = row[end - maskSize];
        size_t jumps = (len - 1) / 256;
        if (end < maskSize + jumps + 1 + l.varCount) {
            file.corrupt(page, "has a row too short for its variable column table");
        }
        const size_t colPtr = end - maskSize - jumps - 1;
        if ((colPtr - l.varCount) / 256 < jumps) --jumps; // last jump entry unused
        l.varOffsets.resize(l.varCount + 1u);
        size_t used = 0;
        for (size_t i = 0; i <= l.varCount; ++i) {
            while (used < jumps && i == row[end - maskSize - used - 1]) ++used;
            l.varOffsets[i] = static_cast<uint16_t>(row[colPtr - i] + used * 256);
        }
    } else {
        if (len < maskSize + 2 + f.rowCountSize) file.corrupt(page, "has a row too short for its variable columns");
        l.varCount = u16(row, len - maskSize - 2);
        const size_t tableBytes = 2u * (l.varCount + 1u);
        if (len < maskSize + 2 + tableBytes + f.rowCountSize) {
            file.corrupt(page, "has a row too short for its variable column table");
        }
        l.varOffsets.resize(l.varCount + 1u);
        for (size_t i = 0; i <= l.varCount; ++i) {
            l.varOffsets[i] = u16(row, len - maskSize - 4 - 2 * i);
        }
    }
    const size_t tableStart = f.isJet3() ? len - maskSize - 1 - ((len - 1) / 256) - (l.varCount + 1u)
                                         : len - maskSize - 2 - 2u * (l.varCount + 1u);
    for (size_t i = 0; i <= l.varCount; ++i) {
        if (l.varOffsets[i] < f.rowCountSize || l.varOffsets[i] > tableStart ||
            (i > 0 && l.varOffsets[i] < l.varOffsets[i - 1])) {
            file.corrupt(page, "has a row whose variable column offsets are out of order");
        }
    }
    l.fixedEnd = l.varOffsets[0];
}

std::span<const uint8_t> RowDecoder::columnBytes(std::span<const uint8_t> row, const RowLayout& l,
                                                 const ColumnDef& c) const {
    const auto& f = db_->format();
    if (c.isFixed()) {
        const uint32_t size = c.type == ColumnType::Boolean ? 0 : fixedSizeOf(c.type) ? fixedSizeOf(c.type) : c.length;
        const uint32_t at = f.rowCountSize + c.fixedOffset;
        if (at + size > l.fixedEnd) return {};
        return row.subspan(at, size);
    }
    if (c.varIndex >= l.varCount) return {};
    const uint16_t a = l.varOffsets[c.varIndex];
    const uint16_t b = l.varOffsets[c.varIndex + 1u];
    return row.subspan(a, b - a);
}

Value RowDecoder::decodeValue(const ColumnDef& c, std::span<const uint8_t> b, uint32_t page,
                              bool readLongValues) const {
    auto need = [&](size_t n) {
        if (b.size() < n) {
            db_->file().corrupt(page, "has a value of column \"" + c.name + "\" that is too short");
        }
    };
    switch (c.type) {
    case ColumnType::Boolean: return Value::boolean(true);
    case ColumnType::Byte: need(1); return Value::byte(b[0]);
    case ColumnType::Integer: need(2); return Value::integer(static_cast<int16_t>(u16(b, 0)));
    case ColumnType::Long: need(4); return Value::longInt(static_cast<int32_t>(u32(b, 0)));
    case ColumnType::Currency: need(8); return Value::currency({static_cast<int64_t>(u64(b, 0))});
    case ColumnType::Single: {
        need(4);
        const uint32_t bits = u32(b, 0);
        float v;
        std::memcpy(&v, &bits, 4);
        return Value::single(v);
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
        need(8);
        const uint64_t bits = u64(b, 0);
        double v;
        std::memcpy(&v, &bits, 8);
        return c.type == ColumnType::Double ? Value::dbl(v) : Value::dateTime({v});
    }
    case ColumnType::Guid: {
        need(16);
        Guid g;
        std::memcpy(g.bytes.data(), b.data(), 16);
        return Value::guid(g);
    }
    case ColumnType::Numeric: {
        // 1 byte sign (0x80 negative), then four 32-bit little-endian words, most
        // significant word first.
        need(17);
        Decimal d;
        d.negative = (b[0] & 0x80) != 0;
        d.precision = c.precision;
        d.scale = c.scale;
        d.high = (static_cast<uint64_t>(u32(b, 1)) << 32) | u32(b, 5);
        d.low = (static_cast<uint64_t>(u32(b, 9)) << 32) | u32(b, 13);
        return Value::decimal(d);
    }
    case ColumnType::Text: {
        std::string s;
        db_->decodeText(b, s);
        return Value::text(std::move(s));
    }
    case ColumnType::Binary:
    case ColumnType::Unknown0D:
    case ColumnType::Unknown11: return Value::binary(Bytes(b.begin(), b.end()));
    case ColumnType::Memo:
    case ColumnType::Ole: {
        if (!readLongValues) return Value::null();
        Bytes data = readLongValue(*db_, b, page);
        if (c.type == ColumnType::Ole) return Value::binary(std::move(data));
        std::string s;
        db_->decodeText(data, s);
        return Value::text(std::move(s));
    }
    }
    return Value::null();
}

void RowDecoder::decode(std::span<const uint8_t> row, uint32_t page, std::vector<Value>& out, bool readLongValues) {
    parseLayout(row, page, layout_);
    const auto& cols = table_->columns;
    out.resize(cols.size());
    for (size_t i = 0; i < cols.size(); ++i) {
        const auto& c = cols[i];
        const bool present = layout_.present(c.number);
        if (c.type == ColumnType::Boolean) {
            out[i] = Value::boolean(present);
            continue;
        }
        if (!present) {
            out[i] = Value::null();
            continue;
        }
        auto b = columnBytes(row, layout_, c);
        if (b.empty() && c.isFixed()) {
            out[i] = Value::null(); // column added after the row was written
            continue;
        }
        if (b.empty() && c.isLongValue()) {
            // Present but no 12-byte field: a zero-length value.
            out[i] = c.type == ColumnType::Memo ? Value::text({}) : Value::binary({});
            continue;
        }
        out[i] = decodeValue(c, b, page, readLongValues);
    }
}

} // namespace jet::detail
