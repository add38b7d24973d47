// jet::Value and its exact number types (see value.h).
#include "jet/error.h"
#include "jet/schema.h"
#include "jet/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {

namespace {
__extension__ typedef unsigned __int128 U128;

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
const int64_t kAccessEpoch = daysFromCivil(1899, 12, 30);

std::string u128ToString(U128 v) {
    if (v == 0) return "0";
    char buf[48];
    int i = sizeof buf;
    while (v > 0) {
        buf[--i] = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    }
    return std::string(buf + i, buf + sizeof buf);
}

// Digits with a decimal point inserted `scale` places from the right.
std::string withScale(std::string digits, unsigned scale, bool negative) {
    if (scale > 0) {
        if (digits.size() <= scale) digits.insert(0, scale - digits.size() + 1, '0');
        digits.insert(digits.size() - scale, 1, '.');
    }
    if (negative) digits.insert(0, 1, '-');
    return digits;
}

template <class F>
char* formatShortest(F v, char* out) {
    const F a = v < 0 ? -v : v;
    const bool plain = a == 0 || (a >= F(1e-5) && a < F(1e15));
    auto r = plain ? std::to_chars(out, out + 40, v, std::chars_format::fixed) : std::to_chars(out, out + 40, v);
    return r.ptr;
}

template <class F>
std::string shortest(F v) {
    char buf[48];
    return std::string(buf, formatShortest(v, buf));
}
} // namespace

char* formatDouble(double v, char* out) { return formatShortest(v, out); }
char* formatSingle(float v, char* out) { return formatShortest(v, out); }

std::string Currency::toString() const {
    const bool neg = scaled < 0;
    const U128 mag = neg ? static_cast<U128>(-(scaled + 1)) + 1 : static_cast<U128>(scaled);
    return withScale(u128ToString(mag), 4, neg);
}

DateTimeParts DateTime::parts() const {
    DateTimeParts p;
    double v = days;
    // Access keeps years 100 to 9999; other programs store more. Values beyond any
    // calendar (or NaN) show as the epoch rather than overflow.
    if (!std::isfinite(v) || v > 1e9 || v < -1e9) v = 0;
    double whole = std::trunc(v);
    int64_t secs = std::llround(std::fabs(v - whole) * 86400.0);
    auto day = static_cast<int64_t>(whole);
    if (secs >= 86400) {
        secs -= 86400;
        ++day;
    }
    civilFromDays(kAccessEpoch + day, p.year, p.month, p.day);
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>(secs / 60 % 60);
    p.second = static_cast<int>(secs % 60);
    return p;
}

DateTime DateTime::fromParts(const DateTimeParts& p) {
    const int64_t day = daysFromCivil(p.year, p.month, p.day) - kAccessEpoch;
    const double frac = (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0;
    return DateTime{day >= 0 ? day + frac : day - frac};
}

std::string DateTime::toString() const {
    const auto p = parts();
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
    return buf;
}

std::string Guid::toString() const {
    const auto& b = bytes;
    char buf[48];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                  b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return buf;
}

std::string Decimal::toString() const {
    const U128 mag = (static_cast<U128>(high) << 64) | low;
    return withScale(u128ToString(mag), scale, negative && mag != 0);
}

const char* columnTypeName(ColumnType type) {
    switch (type) {
    case ColumnType::Boolean: return "Boolean";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long Integer";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "DateTime";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::Ole: return "OLE";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "Replication ID";
    case ColumnType::Numeric: return "Numeric";
    case ColumnType::Unknown0D: return "Unknown 0x0D";
    case ColumnType::Unknown11: return "Unknown 0x11";
    }
    return "Unknown";
}

bool isKnownColumnType(uint8_t code) {
    return (code >= 0x01 && code <= 0x0D) || code == 0x0F || code == 0x10 || code == 0x11;
}

int64_t Value::toInt64() const {
    switch (kind()) {
    case Kind::Boolean: return asBoolean() ? 1 : 0;
    case Kind::Byte: return asByte();
    case Kind::Integer: return asInteger();
    case Kind::Long: return asLong();
    default: throw ValueError("\"" + toString().substr(0, 40) + "\" is not a whole number");
    }
}

void Value::wrongKind(Kind wanted) const {
    static constexpr const char* names[] = {"null",     "Yes/No", "Byte",   "Integer",   "Long Integer",
                                            "Currency", "Single", "Double", "Date/Time", "text",
                                            "binary",   "GUID",   "Decimal"};
    const auto name = [](Kind k) { return names[static_cast<size_t>(k)]; };
    throw ValueError(
        std::string("a ") + name(wanted) + " value was needed but the value is " +
        (isNull() ? std::string("null") : std::string(name(kind())) + " \"" + toString().substr(0, 40) + "\""));
}

std::string Value::toString() const {
    static const char hex[] = "0123456789ABCDEF";
    switch (kind()) {
    case Kind::Null: return {};
    case Kind::Boolean: return asBoolean() ? "1" : "0";
    case Kind::Byte: return std::to_string(asByte());
    case Kind::Integer: return std::to_string(asInteger());
    case Kind::Long: return std::to_string(asLong());
    case Kind::Currency: return asCurrency().toString();
    case Kind::Single: return shortest(asSingle());
    case Kind::Double: return shortest(asDouble());
    case Kind::DateTime: return asDateTime().toString();
    case Kind::Text: return asText();
    case Kind::Binary: {
        std::string s;
        s.reserve(asBinary().size() * 2);
        for (uint8_t b : asBinary()) {
            s.push_back(hex[b >> 4]);
            s.push_back(hex[b & 15]);
        }
        return s;
    }
    case Kind::Guid: return asGuid().toString();
    case Kind::Decimal: return asDecimal().toString();
    }
    return {};
}

int TableDef::findColumn(std::string_view n) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (sameName(columns[i].name, n)) return static_cast<int>(i);
    }
    return -1;
}

const IndexDef* TableDef::findIndex(std::string_view n) const {
    for (const auto& ix : indexes) {
        if (sameName(ix.name, n)) return &ix;
    }
    return nullptr;
}

} // namespace jet
