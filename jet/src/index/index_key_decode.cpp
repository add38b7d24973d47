// Index key decoding (see index_key_decode.h).
#include "index/index_key_decode.h"

#include <cstring>

namespace jet::detail {

std::optional<std::vector<Value>> decodeNumericKey(std::span<const uint8_t> key,
                                                   const std::vector<const ColumnDef*>& columns,
                                                   const std::vector<bool>& ascending) {
    std::vector<Value> out;
    size_t at = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnDef& c = *columns[i];
        const bool asc = ascending[i];
        if (at >= key.size()) return std::nullopt;
        const uint8_t flag = key[at++];
        if (flag == (asc ? 0x00 : 0xFF)) {
            out.push_back(Value::null());
            continue;
        }
        if (flag != (asc ? 0x7F : 0x80)) return std::nullopt;
        size_t size = 0;
        bool floating = false;
        switch (c.type) {
        case ColumnType::Byte: size = 1; break;
        case ColumnType::Integer: size = 2; break;
        case ColumnType::Long: size = 4; break;
        case ColumnType::Currency: size = 8; break;
        case ColumnType::Single:
            size = 4;
            floating = true;
            break;
        case ColumnType::Double:
        case ColumnType::DateTime:
            size = 8;
            floating = true;
            break;
        default: return std::nullopt;
        }
        if (key.size() - at < size) return std::nullopt;
        uint64_t bits = 0;
        for (size_t k = 0; k < size; ++k) {
            uint8_t b = key[at + k];
            if (!asc) b = static_cast<uint8_t>(~b);
            bits = (bits << 8) | b;
        }
        at += size;
        const uint64_t sign = uint64_t{1} << (size * 8 - 1);
        const uint64_t mask = size == 8 ? ~uint64_t{0} : (uint64_t{1} << (size * 8)) - 1;
        if (floating) {
            bits = (bits & sign) ? (bits ^ sign) : (~bits & mask);
        } else {
            bits ^= sign;
        }
        switch (c.type) {
        case ColumnType::Byte:
            out.push_back(Value::byte(static_cast<uint8_t>(bits ^ sign)));
            break; // unsigned: no flip
        case ColumnType::Integer: out.push_back(Value::integer(static_cast<int16_t>(bits))); break;
        case ColumnType::Long: out.push_back(Value::longInt(static_cast<int32_t>(bits))); break;
        case ColumnType::Currency: out.push_back(Value::currency({static_cast<int64_t>(bits)})); break;
        case ColumnType::Single: {
            const auto b32 = static_cast<uint32_t>(bits);
            float f;
            std::memcpy(&f, &b32, 4);
            out.push_back(Value::single(f));
            break;
        }
        default: {
            double d;
            std::memcpy(&d, &bits, 8);
            out.push_back(c.type == ColumnType::Double ? Value::dbl(d) : Value::dateTime({d}));
        }
        }
    }
    if (at != key.size()) return std::nullopt;
    return out;
}

} // namespace jet::detail
