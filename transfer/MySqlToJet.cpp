// MySqlToJet.cpp — conversion of the server's text values (see MySqlToJet.h).
#include "transfer/MySqlToJet.h"

#include "jet/writer.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tablor::transfer {

namespace {

[[noreturn]] void refuse(const jet::ColumnDef& c, std::string_view text, const std::string& why) {
    throw std::invalid_argument("\"" + std::string(text.substr(0, 60)) + "\" " + why + " for column [" + c.name +
                                "] (" + jet::columnTypeName(c.type) + ")");
}

bool digits(const char* p, size_t n, int& out) {
    out = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        out = out * 10 + (p[i] - '0');
    }
    return true;
}

jet::Value fromBits(const char* data, size_t size, const jet::ColumnDef& c) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v = v << 8 | static_cast<unsigned char>(data[i]);
    switch (c.type) {
    case jet::ColumnType::Byte:
        if (v > 255) refuse(c, std::to_string(v), "is out of range");
        return jet::Value::byte(static_cast<uint8_t>(v));
    case jet::ColumnType::Boolean: return jet::Value::boolean(v != 0);
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long:
    case jet::ColumnType::Numeric:
    case jet::ColumnType::Currency:
    case jet::ColumnType::Double:
    case jet::ColumnType::Single:
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo: return jet::valueFromText(c, std::to_string(v));
    default: return jet::Value::binary(jet::Bytes(data, data + size));
    }
}

} // namespace

bool parseMySqlDateTime(const char* p, size_t n, jet::DateTime& out) {
    const std::string_view s(p, n);
    jet::DateTimeParts parts{};
    int micros = 0;
    bool ok = n >= 10 && p[4] == '-' && p[7] == '-' && digits(p, 4, parts.year) && digits(p + 5, 2, parts.month) &&
              digits(p + 8, 2, parts.day);
    if (ok && n > 10) {
        ok = n >= 19 && p[10] == ' ' && p[13] == ':' && p[16] == ':' && digits(p + 11, 2, parts.hour) &&
             digits(p + 14, 2, parts.minute) && digits(p + 17, 2, parts.second);
        if (ok && n > 19) {
            int fraction = 0;
            ok = p[19] == '.' && n <= 26 && n > 20 && digits(p + 20, n - 20, fraction);
            for (size_t i = n; i < 26; ++i) fraction *= 10;
            micros = fraction;
        }
    }
    if (!ok) throw std::invalid_argument("\"" + std::string(s.substr(0, 40)) + "\" is no date");
    if (parts.year == 0 && parts.month == 0 && parts.day == 0) return false;
    if (parts.year < 100 || parts.month < 1 || parts.month > 12 || parts.day < 1 || parts.day > 31 || parts.hour > 23 ||
        parts.minute > 59 || parts.second > 59)
        throw std::invalid_argument("\"" + std::string(s) + "\" is no date Access can hold (years 100 to 9999)");
    const int hour = parts.hour, minute = parts.minute, second = parts.second;
    parts.hour = parts.minute = parts.second = 0;
    const double day = jet::DateTime::fromParts(parts).days;
    // Before 1899-12-30 the day number is negative and the time still counts away from zero.
    const double frac = ((hour * 3600.0 + minute * 60.0 + second) * 1e6 + micros) / 86400e6;
    out.days = day >= 0 ? day + frac : day - frac;
    // Far from 1899 a double has no room for every microsecond: 23:59:59.999999 of 9999-12-31
    // would round to the next day, which Access does not have. Keep such a time in its day.
    if (day >= 0 && out.days >= day + 1) out.days = std::nextafter(day + 1, day);
    if (day < 0 && out.days <= day - 1) out.days = std::nextafter(day - 1, day);
    return true;
}

jet::Value toJetValue(ValueSource source, const char* data, size_t size, const jet::ColumnDef& c) {
    if (data == nullptr) return {};
    const std::string_view s(data, size);
    if (source == ValueSource::Bits) return fromBits(data, size, c);
    switch (c.type) {
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo: return jet::Value::text(std::string(s));
    case jet::ColumnType::Binary:
    case jet::ColumnType::Ole: return jet::Value::binary(jet::Bytes(data, data + size));
    case jet::ColumnType::DateTime:
        if (source == ValueSource::Temporal) {
            jet::DateTime d;
            try {
                if (!parseMySqlDateTime(data, size, d)) return {};
            } catch (const std::invalid_argument&) {
                refuse(c, s, "is no date Access can hold (years 100 to 9999)");
            }
            return jet::Value::dateTime(d);
        }
        break;
    case jet::ColumnType::Long:
        if (source == ValueSource::Number) {
            // The common case without the detour through valueFromText's checks.
            int64_t v = 0;
            bool negative = false;
            size_t i = 0;
            if (i < size && data[i] == '-') negative = true, ++i;
            bool ok = i < size && size - i <= 10;
            for (; ok && i < size; ++i) {
                if (data[i] < '0' || data[i] > '9') ok = false;
                else v = v * 10 + (data[i] - '0');
            }
            if (ok) {
                if (negative) v = -v;
                if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
                    refuse(c, s, "is out of range (-2147483648 to 2147483647)");
                return jet::Value::longInt(static_cast<int32_t>(v));
            }
        }
        break;
    default: break;
    }
    return jet::valueFromText(c, s);
}

} // namespace tablor::transfer
