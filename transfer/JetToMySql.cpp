// JetToMySql.cpp — Access values as MySQL literals (see JetToMySql.h).
#include "transfer/JetToMySql.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace tablor::transfer {

QByteArray mysqlDateTimeText(const jet::DateTime& value) {
    // Whole days, and apart from their sign the time of day (Access's way before 1899-12-30).
    const double whole = std::trunc(value.days);
    long long micros = std::llround(std::fabs(value.days - whole) * 86400e6);
    long long day = static_cast<long long>(whole);
    if (micros >= 86400000000LL) micros = 86399999999LL; // a double just below the next day
    jet::DateTimeParts p = jet::DateTime{static_cast<double>(day)}.parts();
    const long long seconds = micros / 1000000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02lld:%02lld:%02lld.%06lld", p.year, p.month, p.day, seconds / 3600,
                  seconds / 60 % 60, seconds % 60, micros % 1000000);
    return QByteArray(buf);
}

bool appendMySqlNumber(QByteArray& out, const jet::Value& v) {
    using K = jet::Value::Kind;
    char buf[64];
    switch (v.kind()) {
    case K::Boolean: out += v.asBoolean() ? '1' : '0'; return true;
    case K::Byte:
    case K::Integer:
    case K::Long: out += QByteArray::number(static_cast<qlonglong>(v.toInt64())); return true;
    case K::Currency: out += v.asCurrency().toString().c_str(); return true;
    case K::Decimal: out += v.asDecimal().toString().c_str(); return true;
    case K::Single:
    case K::Double: {
        // A Single goes as the double it is exactly, so the server's float is that very float.
        const double d = v.kind() == K::Single ? static_cast<double>(v.asSingle()) : v.asDouble();
        if (!std::isfinite(d)) throw std::invalid_argument("MySQL cannot hold the number " + v.toString());
        out.append(buf, jet::formatDouble(d, buf) - buf);
        return true;
    }
    default: return false;
    }
}

void appendMySqlLiteral(QByteArray& out, const jet::Value& v,
                        const std::function<QByteArray(const QByteArray&)>& escape) {
    using K = jet::Value::Kind;
    if (appendMySqlNumber(out, v)) return;
    switch (v.kind()) {
    case K::Null: out += "NULL"; return;
    case K::DateTime: out += '\'' + mysqlDateTimeText(v.asDateTime()) + '\''; return;
    case K::Text: {
        const std::string& t = v.asText();
        out += '\'' + escape(QByteArray(t.data(), static_cast<qsizetype>(t.size()))) + '\'';
        return;
    }
    case K::Guid: out += '\'' + QByteArray(v.asGuid().toString().c_str()) + '\''; return;
    case K::Binary: {
        const jet::Bytes& b = v.asBinary();
        if (b.empty()) {
            out += "''";
            return;
        }
        out += "X'";
        out += QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())).toHex();
        out += '\'';
        return;
    }
    default: return; // numbers, above
    }
}

} // namespace tablor::transfer
