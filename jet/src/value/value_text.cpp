// Text to column values (see valueFromText in jet/writer.h).
#include "jet/error.h"
#include "jet/writer.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace jet {

namespace {

__extension__ typedef unsigned __int128 U128;

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

[[noreturn]] void bad(const ColumnDef& c, std::string_view text, const std::string& why) {
    throw ValueError("\"" + std::string(text.substr(0, 60)) + "\" is not " + why + " for column [" + c.name + "] (" +
                     columnTypeName(c.type) + ")");
}

int64_t parseInteger(const ColumnDef& c, std::string_view s, int64_t lo, int64_t hi) {
    int64_t v = 0;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) {
        // "12.0" is a whole number too.
        double d = 0;
        auto [p2, ec2] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (ec2 != std::errc() || p2 != s.data() + s.size() || d != std::floor(d)) bad(c, s, "a whole number");
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) bad(c, s, "in range");
        return static_cast<int64_t>(d);
    }
    if (v < lo || v > hi) bad(c, s, "in range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return v;
}

// An exact decimal: sign, digits, and the number of digits after the point, scaled to `scale`.
bool parseScaled(std::string_view s, int scale, bool& negative, U128& out) {
    negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    U128 v = 0;
    int decimals = -1;
    bool digits = false;
    for (char ch : s) {
        if (ch == '.' || ch == ',') {
            if (decimals >= 0) return false;
            decimals = 0;
            continue;
        }
        if (ch < '0' || ch > '9') return false;
        digits = true;
        if (decimals >= 0) {
            if (decimals == scale) {
                if (ch != '0') return false; // more decimals than the column keeps
                continue;
            }
            ++decimals;
        }
        v = v * 10 + static_cast<unsigned>(ch - '0');
        if (v >> 120) return false;
    }
    if (!digits) return false;
    for (int d = decimals < 0 ? 0 : decimals; d < scale; ++d) v *= 10;
    out = v;
    return true;
}

bool digitsAt(std::string_view s, size_t at, size_t n, int& out) {
    if (at + n > s.size()) return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

Value parseDate(const ColumnDef& c, std::string_view s) {
    DateTimeParts p{};
    size_t timeAt = 0;
    if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
        if (!digitsAt(s, 0, 4, p.year) || !digitsAt(s, 5, 2, p.month) || !digitsAt(s, 8, 2, p.day)) bad(c, s, "a date");
        timeAt = 10;
    } else if (s.size() >= 10 && s[2] == '.' && s[5] == '.') {
        if (!digitsAt(s, 0, 2, p.day) || !digitsAt(s, 3, 2, p.month) || !digitsAt(s, 6, 4, p.year)) bad(c, s, "a date");
        timeAt = 10;
    } else {
        bad(c, s, "a date (YYYY-MM-DD or DD.MM.YYYY)");
    }
    if (timeAt < s.size()) {
        if (s[timeAt] != ' ' && s[timeAt] != 'T') bad(c, s, "a date");
        const size_t t = timeAt + 1;
        if (!digitsAt(s, t, 2, p.hour) || s.size() < t + 5 || s[t + 2] != ':' || !digitsAt(s, t + 3, 2, p.minute))
            bad(c, s, "a time");
        if (s.size() > t + 5) {
            if (s[t + 5] != ':' || !digitsAt(s, t + 6, 2, p.second) || s.size() != t + 8) bad(c, s, "a time");
        }
    }
    if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.hour > 23 || p.minute > 59 || p.second > 59 ||
        p.year < 100 || p.year > 9999)
        bad(c, s, "a valid date");
    return Value::dateTime(DateTime::fromParts(p));
}

Bytes parseHex(const ColumnDef& c, std::string_view s) {
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.size() % 2 != 0) bad(c, s, "hexadecimal bytes");
    Bytes out;
    for (size_t i = 0; i < s.size(); i += 2) {
        unsigned v = 0;
        auto [p, ec] = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
        if (ec != std::errc() || p != s.data() + i + 2) bad(c, s, "hexadecimal bytes");
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

} // namespace

Value valueFromText(const ColumnDef& c, std::string_view raw) {
    const std::string_view s = (c.type == ColumnType::Text || c.type == ColumnType::Memo) ? raw : trim(raw);
    if (raw.empty()) return Value();
    switch (c.type) {
    case ColumnType::Boolean: {
        std::string l;
        for (char ch : s) l += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (l == "1" || l == "-1" || l == "true" || l == "yes" || l == "ja" || l == "wahr") return Value::boolean(true);
        if (l == "0" || l == "false" || l == "no" || l == "nein" || l == "falsch") return Value::boolean(false);
        bad(c, s, "Yes or No");
    }
    case ColumnType::Byte: return Value::byte(static_cast<uint8_t>(parseInteger(c, s, 0, 255)));
    case ColumnType::Integer: return Value::integer(static_cast<int16_t>(parseInteger(c, s, -32768, 32767)));
    case ColumnType::Long: return Value::longInt(static_cast<int32_t>(parseInteger(c, s, INT32_MIN, INT32_MAX)));
    case ColumnType::Single:
    case ColumnType::Double: {
        double d = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(d)) bad(c, s, "a number");
        if (c.type == ColumnType::Single) return Value::single(static_cast<float>(d));
        return Value::dbl(d);
    }
    case ColumnType::Currency: {
        bool neg = false;
        U128 v = 0;
        if (!parseScaled(s, 4, neg, v) || v > static_cast<U128>(INT64_MAX))
            bad(c, s, "an amount with at most 4 decimals");
        const int64_t scaled = static_cast<int64_t>(v);
        return Value::currency(Currency{neg ? -scaled : scaled});
    }
    case ColumnType::Numeric: {
        bool neg = false;
        U128 v = 0;
        if (!parseScaled(s, c.scale, neg, v))
            bad(c, s, "a number with at most " + std::to_string(c.scale) + " decimals");
        Decimal d;
        d.negative = neg && v != 0;
        d.precision = c.precision;
        d.scale = c.scale;
        d.high = static_cast<uint64_t>(v >> 64);
        d.low = static_cast<uint64_t>(v);
        return Value::decimal(d);
    }
    case ColumnType::DateTime: return parseDate(c, s);
    case ColumnType::Text:
    case ColumnType::Memo: return Value::text(std::string(s));
    case ColumnType::Binary:
    case ColumnType::Ole:
    case ColumnType::Unknown0D:
    case ColumnType::Unknown11: return Value::binary(parseHex(c, s));
    case ColumnType::Guid: {
        std::string hex;
        for (char ch : s)
            if (ch != '{' && ch != '}' && ch != '-') hex += ch;
        if (hex.size() != 32) bad(c, s, "a GUID");
        const Bytes b = parseHex(c, hex);
        // Text order to the on-disk order (first three groups little-endian).
        Guid g;
        const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = b[static_cast<size_t>(order[i])];
        return Value::guid(g);
    }
    }
    bad(c, s, "a value of a known type");
}

} // namespace jet
