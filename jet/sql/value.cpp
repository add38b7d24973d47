// Value helpers: exact decimal text, Access day numbers and the text form of a value.
#include "jet/sql/value.h"

#include "jet/sql/error.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace jet::sql {

std::string_view columnTypeName(ColumnType type) {
    switch (type) {
    case ColumnType::Boolean: return "BIT";
    case ColumnType::Byte: return "BYTE";
    case ColumnType::Integer: return "SHORT";
    case ColumnType::Long: return "LONG";
    case ColumnType::Currency: return "CURRENCY";
    case ColumnType::Single: return "SINGLE";
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::DateTime: return "DATETIME";
    case ColumnType::Binary: return "BINARY";
    case ColumnType::Text: return "TEXT";
    case ColumnType::Ole: return "LONGBINARY";
    case ColumnType::Memo: return "MEMO";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Decimal: return "DECIMAL";
    }
    return "?";
}

double DateTime::linear() const {
    if (days >= 0) return days;
    double whole = std::trunc(days);
    return whole + (whole - days); // -1.25 (Dec 29, 06:00) is -0.75 on a continuous scale
}

void Value::wrongKind(const char* wanted) const {
    throw ExecutionError(std::string("A ") + wanted + " value was needed, but the value is " +
                         (isNull() ? "null" : "of another kind") + ". Convert it first.");
}

double Value::toDouble() const {
    if (isInt()) return static_cast<double>(asInt());
    if (isDouble()) return asDouble();
    if (isBool()) return asBool() ? -1.0 : 0.0;
    if (isDecimal()) {
        // One division rounds correctly only while both operands are exact doubles; past
        // that (17 digits, as a printed double has) the decimal text is converted instead.
        const Decimal& d = asDecimal();
        const Int128 limit = Int128(1) << 53;
        if (d.unscaled > -limit && d.unscaled < limit && d.scale <= 22)
            return static_cast<double>(d.unscaled) / std::pow(10.0, d.scale);
        return textToDouble(decimalToString(d)).value_or(0.0);
    }
    if (isDateTime()) return asDateTime().days;
    return 0.0;
}

std::optional<double> textToDouble(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string decimalToString(const Decimal& d) {
    bool negative = d.unscaled < 0;
    UInt128 u = negative ? static_cast<UInt128>(-(d.unscaled + 1)) + 1 : static_cast<UInt128>(d.unscaled);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
        u /= 10;
    } while (u != 0);
    if (d.scale > 0) {
        while (digits.size() <= static_cast<std::size_t>(d.scale)) digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - d.scale, '.');
    }
    return negative ? "-" + digits : digits;
}

bool parseDecimal(std::string_view text, Decimal& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    UInt128 value = 0;
    int scale = 0;
    int digits = 0;
    bool dot = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.' && !dot) {
            dot = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (digits >= 37) return false; // beyond what 128 bits hold safely
        value = value * 10 + static_cast<unsigned>(c - '0');
        ++digits;
        if (dot) ++scale;
    }
    if (digits == 0) return false;
    out.unscaled = negative ? -static_cast<Int128>(value) : static_cast<Int128>(value);
    out.scale = scale;
    return true;
}

namespace {

// Days from 1970-01-01 to a civil date (Howard Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

const long long kAccessEpoch = daysFromCivil(1899, 12, 30);

} // namespace

DateTime makeDateTime(int year, int month, int day, int hour, int minute, double second) {
    long long whole = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kAccessEpoch;
    double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before the epoch Access keeps the fraction positive and subtracts it: -1.25 is Dec 29, 06:00.
    return DateTime{whole >= 0 ? static_cast<double>(whole) + fraction : static_cast<double>(whole) - fraction};
}

std::string dateTimeToString(DateTime dt) {
    // A file may hold any number as a date; beyond any calendar (or NaN) it shows as the
    // epoch, as the engine's DateTime::parts() shows it.
    if (!std::isfinite(dt.days) || std::fabs(dt.days) > 1e9) dt.days = 0;
    double whole = std::trunc(dt.days);
    double fraction = std::fabs(dt.days - whole);
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) { // rounding up to midnight moves to the next day
        seconds = 0;
        whole += dt.days >= 0 ? 1 : -1;
    }
    int y;
    unsigned m, d;
    civilFromDays(static_cast<long long>(whole) + kAccessEpoch, y, m, d);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02lld:%02lld:%02lld", y, m, d, seconds / 3600,
                  (seconds / 60) % 60, seconds % 60);
    return buffer;
}

std::string valueToText(const Value& v) {
    struct Visitor {
        std::string operator()(std::monostate) const { return ""; }
        std::string operator()(bool b) const { return b ? "1" : "0"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            char buffer[64];
            auto r = std::to_chars(buffer, buffer + sizeof buffer, d); // shortest text that reads back the same
            return std::string(buffer, r.ptr);
        }
        std::string operator()(const Decimal& d) const { return decimalToString(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(DateTime d) const { return dateTimeToString(d); }
        std::string operator()(const Bytes& b) const {
            static const char hex[] = "0123456789ABCDEF";
            std::string out;
            out.reserve(b.data.size() * 2);
            for (std::uint8_t c : b.data) {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            return out;
        }
        std::string operator()(const Guid& g) const { return g.text; }
    };
    return std::visit(Visitor{}, v.storage());
}

} // namespace jet::sql
