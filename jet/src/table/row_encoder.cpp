// The row encoder (see row_encoder.h).
#include "table/row_encoder.h"
#include "table/row_codec.h"

#include "jet/index_keys.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

// 128-bit arithmetic for Decimal magnitudes (GCC and Clang both provide it).
__extension__ typedef unsigned __int128 U128;
__extension__ typedef __int128 I128;

namespace jet::detail {

namespace {

void putLe(std::vector<uint8_t>& out, uint64_t v, int width) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Plain ASCII without NUL: one UTF-16 unit per byte, compressible as it stands.
bool isPlainAscii(std::string_view s) {
    for (char ch : s)
        if (static_cast<unsigned char>(ch) - 1u >= 0x7Fu) return false;
    return true;
}

std::string describe(const ColumnDef& c) { return "column [" + c.name + "] (" + columnTypeName(c.type) + ")"; }

int64_t integralOf(const ColumnDef& c, const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Boolean: return v.asBoolean() ? -1 : 0;
    case Value::Kind::Byte: return v.asByte();
    case Value::Kind::Integer: return v.asInteger();
    case Value::Kind::Long: return v.asLong();
    case Value::Kind::Single:
    case Value::Kind::Double: {
        const double d = v.kind() == Value::Kind::Single ? v.asSingle() : v.asDouble();
        if (std::nearbyint(d) != d || !std::isfinite(d) || std::fabs(d) > 9.2e18)
            throw ValueError("the value " + v.toString() + " is not a whole number, as " + describe(c) + " needs");
        return static_cast<int64_t>(d);
    }
    default: throw ValueError(describe(c) + " cannot hold the value \"" + v.toString() + "\"; convert it first");
    }
}

double floatingOf(const ColumnDef& c, const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Single: return v.asSingle();
    case Value::Kind::Double: return v.asDouble();
    case Value::Kind::DateTime: return v.asDateTime().days;
    case Value::Kind::Currency: return static_cast<double>(v.asCurrency().scaled) / 10000.0;
    case Value::Kind::Boolean:
    case Value::Kind::Byte:
    case Value::Kind::Integer:
    case Value::Kind::Long: return static_cast<double>(v.toInt64());
    default: throw ValueError(describe(c) + " cannot hold the value \"" + v.toString() + "\"; convert it first");
    }
}

void checkRange(const ColumnDef& c, int64_t v, int64_t lo, int64_t hi) {
    if (v < lo || v > hi)
        throw ValueError("the value " + std::to_string(v) + " is out of range for " + describe(c) + " (" +
                         std::to_string(lo) + " to " + std::to_string(hi) + ")");
}

// The fixed area's end and the number of variable slots of a table's rows.
void rowShape(const TableDef& table, uint32_t& fixedEnd, uint16_t& varSlots) {
    fixedEnd = 0;
    varSlots = 0;
    for (const ColumnDef& c : table.columns) {
        if (c.isFixed()) {
            // A fixed Text or Binary column takes its declared length.
            const uint32_t size = fixedSizeOf(c.type) ? fixedSizeOf(c.type) : c.length;
            fixedEnd = std::max<uint32_t>(fixedEnd, c.fixedOffset + size);
        } else {
            varSlots = std::max<uint16_t>(varSlots, static_cast<uint16_t>(c.varIndex + 1));
        }
    }
}

// See row_encoder.h for the layout.
std::vector<uint8_t> assembleJet3Row(const TableDef& table, std::span<const EncodedColumn> cols) {
    const uint16_t columnCount = table.maxColumns;
    uint32_t fixedEnd = 0;
    uint16_t varSlots = 0;
    rowShape(table, fixedEnd, varSlots);
    // Yes/No values live in the null mask only; Access 97 gives them no fixed byte.
    fixedEnd = 0;
    for (const ColumnDef& c : table.columns)
        if (c.isFixed() && c.type != ColumnType::Boolean)
            fixedEnd =
                std::max<uint32_t>(fixedEnd, c.fixedOffset + (fixedSizeOf(c.type) ? fixedSizeOf(c.type) : c.length));
    if (columnCount > 255 || varSlots > 255) throw std::logic_error("assembleRow: more columns than Access allows");
    const size_t maskBytes = (columnCount + 7u) / 8u;
    std::vector<uint8_t> row(1 + fixedEnd, 0);
    row[0] = static_cast<uint8_t>(columnCount);
    std::array<uint8_t, 32> mask{};
    std::array<const EncodedColumn*, 256> byVarSlot{};
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        const EncodedColumn& e = cols[i];
        if (e.present) mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8));
        if (c.type == ColumnType::Boolean || !e.present) continue;
        if (c.isFixed()) {
            if (c.fixedOffset + e.bytes.size() > fixedEnd)
                throw std::logic_error("assembleRow: a value longer than its fixed column");
            std::memcpy(row.data() + 1 + c.fixedOffset, e.bytes.data(), e.bytes.size());
        } else {
            byVarSlot[c.varIndex] = &e;
        }
    }
    if (varSlots > 0) {
        std::array<uint32_t, 256> at{}; // positions of the slots and, at varSlots, the end of the data
        for (uint16_t s = 0; s < varSlots; ++s) {
            at[s] = static_cast<uint32_t>(row.size());
            if (byVarSlot[s]) row.insert(row.end(), byVarSlot[s]->bytes.begin(), byVarSlot[s]->bytes.end());
        }
        const uint32_t eod = static_cast<uint32_t>(row.size());
        at[varSlots] = eod;
        const size_t needed = eod / 256; // jump entries the positions need
        const size_t length = eod + (varSlots + 1u) + needed + 1 + maskBytes;
        const size_t stored = (length - 1) / 256;
        const bool filler = stored == needed + 1;
        if (stored != needed && !filler)
            throw ValueError("a row of table [" + table.name + "] with " + std::to_string(varSlots) +
                             " variable columns cannot be laid out at " + std::to_string(length) + " bytes");
        // The end-of-data entry is stored first, then the slots from the last to the first.
        for (int s = varSlots; s >= 0; --s) row.push_back(static_cast<uint8_t>(at[static_cast<size_t>(s)] & 0xFF));
        std::vector<uint8_t> jumps;
        for (size_t k = 0; k < needed; ++k) {
            uint16_t s = 0;
            while (at[s] < (k + 1) * 256) ++s;
            jumps.push_back(static_cast<uint8_t>(s));
        }
        if (filler) jumps.push_back(0xFF); // as Access 97 fills it
        // Stored from the last entry to the first, so that the first sits next to n.
        row.insert(row.end(), jumps.rbegin(), jumps.rend());
        row.push_back(static_cast<uint8_t>(varSlots));
    }
    constexpr size_t kOverflowPointerSize = 4;
    if (row.size() + maskBytes < kOverflowPointerSize) row.resize(kOverflowPointerSize - maskBytes, 0);
    row.insert(row.end(), mask.begin(), mask.begin() + static_cast<std::ptrdiff_t>(maskBytes));
    return row;
}

} // namespace

std::vector<uint8_t> encodeJet4Text(std::string_view utf8, bool allowCompression, size_t maxChars) {
    if (isPlainAscii(utf8)) {
        // The common case, without the detour through UTF-16.
        if (maxChars != 0 && utf8.size() > maxChars)
            throw ValueError("the text has " + std::to_string(utf8.size()) + " characters, more than the " +
                             std::to_string(maxChars) + " the column holds");
        std::vector<uint8_t> out;
        if (allowCompression && !utf8.empty()) {
            out.resize(utf8.size() + 2);
            out[0] = 0xFF;
            out[1] = 0xFE;
            std::memcpy(out.data() + 2, utf8.data(), utf8.size());
        } else {
            out.resize(utf8.size() * 2, 0);
            for (size_t i = 0; i < utf8.size(); ++i) out[2 * i] = static_cast<uint8_t>(utf8[i]);
        }
        return out;
    }
    const std::u16string units = utf8ToUtf16(utf8);
    if (maxChars != 0 && units.size() > maxChars)
        throw ValueError("the text has " + std::to_string(units.size()) + " characters, more than the " +
                         std::to_string(maxChars) + " the column holds");
    bool compressible = allowCompression && !units.empty();
    for (char16_t c : units) {
        if (c == 0 || c > 0xFF) {
            compressible = false;
            break;
        }
    }
    std::vector<uint8_t> out;
    if (compressible) {
        out.reserve(units.size() + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : units) out.push_back(static_cast<uint8_t>(c));
    } else {
        out.reserve(units.size() * 2);
        for (char16_t c : units) {
            out.push_back(static_cast<uint8_t>(c & 0xFF));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    return out;
}

std::vector<uint8_t> encodeJet3Text(const Jet3Charset& charset, std::string_view utf8, size_t maxBytes) {
    std::vector<uint8_t> out;
    uint32_t bad = 0;
    if (!charset.encode(utf8, out, bad)) {
        std::string shown;
        appendUtf8(shown, bad);
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(bad));
        throw ValueError("the character \"" + shown + "\" (" + code + ") cannot be stored in this file's code page (" +
                         charset.name() + "); replace it or store the text in an Access 2000 file");
    }
    if (maxBytes != 0 && out.size() > maxBytes)
        throw ValueError("the text takes " + std::to_string(out.size()) + " bytes in code page " + charset.name() +
                         ", more than the " + std::to_string(maxBytes) + " the column holds");
    return out;
}

EncodedColumn encodeValue(const Format& format, const ColumnDef& c, const Value& v, const Jet3Charset* charset) {
    EncodedColumn out;
    if (v.isNull()) return out;
    out.present = true;
    auto& b = out.bytes;
    switch (c.type) {
    case ColumnType::Boolean:
        if (v.kind() == Value::Kind::Boolean) out.present = v.asBoolean();
        else out.present = integralOf(c, v) != 0;
        return out;
    case ColumnType::Byte: {
        const int64_t x = integralOf(c, v);
        checkRange(c, x, 0, 255);
        putLe(b, static_cast<uint64_t>(x), 1);
        return out;
    }
    case ColumnType::Integer: {
        const int64_t x = integralOf(c, v);
        checkRange(c, x, -32768, 32767);
        putLe(b, static_cast<uint64_t>(x), 2);
        return out;
    }
    case ColumnType::Long: {
        const int64_t x = integralOf(c, v);
        checkRange(c, x, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        putLe(b, static_cast<uint64_t>(x), 4);
        return out;
    }
    case ColumnType::Currency: {
        int64_t scaled = 0;
        if (v.kind() == Value::Kind::Currency) {
            scaled = v.asCurrency().scaled;
        } else if (v.kind() == Value::Kind::Single || v.kind() == Value::Kind::Double) {
            const double d = floatingOf(c, v) * 10000.0;
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
                throw ValueError("the value " + v.toString() + " is out of range for " + describe(c));
            scaled = static_cast<int64_t>(std::llround(d));
        } else {
            const int64_t x = integralOf(c, v);
            checkRange(c, x, -922337203685477, 922337203685477);
            scaled = x * 10000;
        }
        putLe(b, static_cast<uint64_t>(scaled), 8);
        return out;
    }
    case ColumnType::Single: {
        const float f = static_cast<float>(floatingOf(c, v));
        putLe(b, std::bit_cast<uint32_t>(f), 4);
        return out;
    }
    case ColumnType::Double: putLe(b, std::bit_cast<uint64_t>(floatingOf(c, v)), 8); return out;
    case ColumnType::DateTime:
        if (v.kind() != Value::Kind::DateTime && v.kind() != Value::Kind::Double)
            throw ValueError(describe(c) + " needs a date; \"" + v.toString() + "\" is not one");
        putLe(b, std::bit_cast<uint64_t>(floatingOf(c, v)), 8);
        return out;
    case ColumnType::Guid:
        if (v.kind() != Value::Kind::Guid)
            throw ValueError(describe(c) + " needs a GUID; \"" + v.toString() + "\" is not one");
        {
            const Guid g = v.asGuid();
            b.assign(g.bytes.begin(), g.bytes.end());
        }
        return out;
    case ColumnType::Numeric: {
        Decimal d;
        if (v.kind() == Value::Kind::Decimal) {
            d = v.asDecimal();
            if (d.scale != c.scale) {
                // Rescale exactly: up by powers of ten, down only when no digits are lost.
                U128 m = (static_cast<U128>(d.high) << 64) | d.low;
                int diff = int(c.scale) - int(d.scale);
                for (; diff > 0; --diff) m *= 10;
                for (; diff < 0; ++diff) {
                    if (m % 10 != 0)
                        throw ValueError("the value " + v.toString() + " has more decimals than " + describe(c) +
                                         " keeps (" + std::to_string(c.scale) + ")");
                    m /= 10;
                }
                d.high = static_cast<uint64_t>(m >> 64);
                d.low = static_cast<uint64_t>(m);
            }
        } else {
            const int64_t x = integralOf(c, v);
            d.negative = x < 0;
            U128 m = static_cast<U128>(x < 0 ? -static_cast<I128>(x) : x);
            for (int i = 0; i < c.scale; ++i) m *= 10;
            d.high = static_cast<uint64_t>(m >> 64);
            d.low = static_cast<uint64_t>(m);
        }
        // Digits check against the precision.
        U128 m = (static_cast<U128>(d.high) << 64) | d.low;
        U128 limit = 1;
        for (int i = 0; i < c.precision; ++i) limit *= 10;
        if (c.precision > 0 && c.precision <= 38 && m >= limit)
            throw ValueError("the value " + v.toString() + " has more digits than " + describe(c) + " holds (" +
                             std::to_string(c.precision) + ")");
        // Sign byte, then the 128-bit magnitude as four 32-bit little-endian words,
        // most significant word first.
        b.push_back(d.negative && m != 0 ? 0x80 : 0x00);
        const uint32_t words[4] = {static_cast<uint32_t>(d.high >> 32), static_cast<uint32_t>(d.high),
                                   static_cast<uint32_t>(d.low >> 32), static_cast<uint32_t>(d.low)};
        for (uint32_t w : words) putLe(b, w, 4);
        return out;
    }
    case ColumnType::Text: {
        if (v.kind() != Value::Kind::Text)
            throw ValueError(describe(c) + " needs text; convert \"" + v.toString() + "\" first");
        if (format.isJet3()) {
            if (!charset) throw std::logic_error("encodeValue: Access 97 text needs the file's code page");
            try {
                b = encodeJet3Text(*charset, v.asText(), c.length);
            } catch (const ValueError& e) {
                throw ValueError(std::string(e.what()) + " (" + describe(c) + ")");
            }
            // A fixed-length column keeps its bytes in the fixed area; a shorter value is
            // refused rather than padded in a way not seen in Access's files.
            if (c.isFixed() && b.size() != c.length)
                throw ValueError(describe(c) + " has a fixed length of " + std::to_string(c.length) +
                                 " bytes; writing a value of another length into it is not supported yet");
            return out;
        }
        // A fixed-length column (Access makes them from a CHAR type in DDL) holds its characters
        // uncompressed in the fixed area. The files we have only show values that fill the
        // column; how Access pads a shorter one is not known, so such a value is refused
        // rather than guessed.
        if (c.isFixed()) {
            b = encodeJet4Text(v.asText(), false, c.length / 2);
            if (b.size() != c.length)
                throw ValueError(describe(c) + " has a fixed length of " + std::to_string(c.length / 2) +
                                 " characters; writing a value of another length into it is not supported yet");
            return out;
        }
        try {
            b = encodeJet4Text(v.asText(), c.isCompressedUnicode(), c.length / 2);
        } catch (const ValueError& e) {
            throw ValueError(std::string(e.what()) + " (" + describe(c) + ")");
        }
        return out;
    }
    case ColumnType::Binary:
    case ColumnType::Unknown0D: // undocumented binary types, kept as read
    case ColumnType::Unknown11:
        if (v.kind() != Value::Kind::Binary) throw ValueError(describe(c) + " needs binary data");
        if (v.asBinary().size() > c.length)
            throw ValueError("the value has " + std::to_string(v.asBinary().size()) + " bytes, more than the " +
                             std::to_string(c.length) + " " + describe(c) + " holds");
        b = v.asBinary();
        return out;
    case ColumnType::Memo:
    case ColumnType::Ole: throw std::logic_error("encodeValue: long values go through the long-value writer");
    }
    throw ValueError(describe(c) + " has a type this engine cannot write");
}

std::vector<uint8_t> assembleRow(const Format& format, const TableDef& table, std::span<const EncodedColumn> cols) {
    if (format.isJet3()) return assembleJet3Row(table, cols);
    const uint16_t columnCount = table.maxColumns;
    uint32_t fixedEnd = 0;
    uint16_t varSlots = 0;
    rowShape(table, fixedEnd, varSlots);
    size_t varBytes = 0;
    for (const EncodedColumn& e : cols) varBytes += e.bytes.size();
    std::vector<uint8_t> row;
    row.reserve(2 + fixedEnd + varBytes + 2 * varSlots + 4 + (columnCount + 7) / 8);
    row.resize(2 + fixedEnd, 0);
    row[0] = static_cast<uint8_t>(columnCount);
    row[1] = static_cast<uint8_t>(columnCount >> 8);
    // A table has at most 255 columns (Access's limit, checked when it is created); fixed
    // arrays spare three allocations per row.
    if (columnCount > 256 || varSlots > 256)
        throw FormatError(
            {}, table.definitionPage,
            "assembleRow: more columns than Access allows (the file looks damaged; tablor-mdb check tells more)");
    const size_t maskBytes = (columnCount + 7u) / 8u;
    std::array<uint8_t, 32> mask{};
    std::array<const EncodedColumn*, 256> byVarSlot; // the first varSlots are used
    std::fill_n(byVarSlot.begin(), varSlots, nullptr);
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        const EncodedColumn& e = cols[i];
        if (e.present) mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8));
        if (c.type == ColumnType::Boolean) continue;
        if (c.isFixed()) {
            if (e.present && c.fixedOffset + e.bytes.size() > fixedEnd)
                throw FormatError(
                    {}, table.definitionPage,
                    "assembleRow: a value longer than its fixed column (the file looks damaged; tablor-mdb check tells more)");
            if (e.present) std::memcpy(row.data() + 2 + c.fixedOffset, e.bytes.data(), e.bytes.size());
        } else {
            byVarSlot[c.varIndex] = &e;
        }
    }
    if (varSlots > 0) {
        std::array<uint16_t, 256> offsets; // the first varSlots are set below
        for (uint16_t s = 0; s < varSlots; ++s) {
            offsets[s] = static_cast<uint16_t>(row.size());
            if (byVarSlot[s] && byVarSlot[s]->present)
                row.insert(row.end(), byVarSlot[s]->bytes.begin(), byVarSlot[s]->bytes.end());
        }
        const uint16_t eod = static_cast<uint16_t>(row.size());
        putLe(row, eod, 2);
        for (int s = varSlots - 1; s >= 0; --s) putLe(row, offsets[static_cast<size_t>(s)], 2);
        putLe(row, varSlots, 2);
    }
    // A row that has to move on a later update leaves a 4-byte pointer to its new place in its
    // own bytes (as Access and jackcess write it), so no row is shorter than that. Only a table
    // of Yes/No columns alone comes below; the padding goes between the fixed data and the
    // null mask, where jackcess pads too and readers look for nothing.
    constexpr size_t kOverflowPointerSize = 4;
    if (row.size() + maskBytes < kOverflowPointerSize) row.resize(kOverflowPointerSize - maskBytes, 0);
    row.insert(row.end(), mask.begin(), mask.begin() + static_cast<std::ptrdiff_t>(maskBytes));
    return row;
}

} // namespace jet::detail
