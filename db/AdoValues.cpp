#include "db/AdoValues.h"

#include "db/DataSet.h"
#include "db/DbError.h"

#include <QDateTime>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <optional>

namespace tablor::ado {

TFieldType kindOf(const jet::ColumnDef& c) {
    switch (c.type) {
    case jet::ColumnType::Boolean: return TFieldType::ftBoolean;
    case jet::ColumnType::Byte: return TFieldType::ftWord;
    case jet::ColumnType::Integer: return TFieldType::ftSmallint;
    case jet::ColumnType::Long: return c.isAutoNumber() ? TFieldType::ftAutoInc : TFieldType::ftInteger;
    case jet::ColumnType::Currency: return TFieldType::ftCurrency;
    case jet::ColumnType::Single:
    case jet::ColumnType::Double: return TFieldType::ftFloat;
    case jet::ColumnType::DateTime: return TFieldType::ftDateTime;
    case jet::ColumnType::Text: return TFieldType::ftWideString;
    case jet::ColumnType::Memo: return TFieldType::ftMemo;
    case jet::ColumnType::Ole: return TFieldType::ftBlob;
    case jet::ColumnType::Guid: return TFieldType::ftGUID;
    case jet::ColumnType::Numeric: return TFieldType::ftBCD;
    default: return TFieldType::ftVarBytes;
    }
}

jet::ColumnType engineTypeOf(jet::sql::ColumnType t) {
    using S = jet::sql::ColumnType;
    switch (t) {
    case S::Boolean: return jet::ColumnType::Boolean;
    case S::Byte: return jet::ColumnType::Byte;
    case S::Integer: return jet::ColumnType::Integer;
    case S::Long: return jet::ColumnType::Long;
    case S::Currency: return jet::ColumnType::Currency;
    case S::Single: return jet::ColumnType::Single;
    case S::Double: return jet::ColumnType::Double;
    case S::DateTime: return jet::ColumnType::DateTime;
    case S::Binary: return jet::ColumnType::Binary;
    case S::Text: return jet::ColumnType::Text;
    case S::Ole: return jet::ColumnType::Ole;
    case S::Memo: return jet::ColumnType::Memo;
    case S::Guid: return jet::ColumnType::Guid;
    case S::Decimal: return jet::ColumnType::Numeric;
    }
    return jet::ColumnType::Text;
}

QByteArray bytesOf(const jet::Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

QVariant variantOf(const jet::Value& v) {
    using K = jet::Value::Kind;
    switch (v.kind()) {
    case K::Null: return {};
    case K::Boolean: return QVariant(v.asBoolean());
    case K::Byte:
    case K::Integer:
    case K::Long: return QVariant(qlonglong(v.toInt64()));
    case K::Currency: return QVariant(static_cast<double>(v.asCurrency().scaled) / 10000.0);
    case K::Single: return QVariant(static_cast<double>(v.asSingle()));
    case K::Double: return QVariant(v.asDouble());
    case K::DateTime: return QVariant(DateTimeFromDays(v.asDateTime().days));
    case K::Text: return QVariant(QString::fromStdString(v.asText()));
    case K::Binary: return QVariant(bytesOf(v.asBinary()));
    case K::Guid: return QVariant(QString::fromStdString(v.asGuid().toString()));
    case K::Decimal: return QVariant(QString::fromStdString(v.asDecimal().toString()).toDouble());
    }
    return {};
}

QString textOf(const jet::Value& v, TFieldType kind) {
    using K = jet::Value::Kind;
    switch (v.kind()) {
    case K::Null: return {};
    case K::Currency: return QString::fromStdString(v.asCurrency().toString());
    case K::Decimal: return QString::fromStdString(v.asDecimal().toString());
    case K::Single: {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v.asSingle());
        return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
    }
    case K::Text: return QString::fromStdString(v.asText());
    default: return VariantToText(variantOf(v), kind);
    }
}

namespace {

// An exact decimal text ("-12.5", "3", "1e3" is refused) as an integer scaled by 10^scale.
std::optional<jet::sql::Int128> scaledFromText(QString t, int scale) {
    t = t.trimmed();
    static const QRegularExpression number(QStringLiteral("^([+-]?)(\\d*)(?:[.,](\\d*))?$"));
    const auto m = number.match(t);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty())) return std::nullopt;
    QString frac = m.captured(3);
    // Round half away from zero at the column's scale.
    bool roundUp = frac.size() > scale && frac.at(scale) >= QLatin1Char('5');
    frac = frac.left(scale).leftJustified(scale, QLatin1Char('0'));
    const QString digits = m.captured(2) + frac;
    if (digits.size() > 36) return std::nullopt;
    jet::sql::Int128 n = 0;
    for (QChar c : digits) n = n * 10 + (c.unicode() - '0');
    if (roundUp) ++n;
    return m.captured(1) == QLatin1String("-") ? -n : n;
}

[[noreturn]] void doesNotFit(const QVariant& v, const jet::ColumnDef& c) {
    throw EDatabaseError(
        QStringLiteral("The value '%1' does not fit the column '%2' (%3).")
            .arg(v.toString(), QString::fromStdString(c.name), QString::fromLatin1(jet::columnTypeName(c.type))));
}

std::optional<jet::Guid> guidFromText(QString t) {
    t = t.trimmed();
    if (t.startsWith(QLatin1Char('{')) && t.endsWith(QLatin1Char('}'))) t = t.mid(1, t.size() - 2);
    static const QRegularExpression form(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!form.match(t).hasMatch()) return std::nullopt;
    const QByteArray hex = QByteArray::fromHex(t.remove(QLatin1Char('-')).toLatin1());
    jet::Guid g;
    // The first three groups are stored little-endian.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(hex[order[i]]);
    return g;
}

} // namespace

// A value of the edit buffer (already normalised to the field's kind) as the engine's value.
jet::Value engineValueOf(const QVariant& v, const jet::ColumnDef& c) {
    if (!v.isValid() || v.isNull()) return jet::Value::null();
    bool ok = true;
    switch (c.type) {
    case jet::ColumnType::Boolean: return jet::Value::boolean(v.toBool());
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long: {
        const qlonglong n = v.toLongLong(&ok);
        const qlonglong lo = c.type == jet::ColumnType::Byte      ? 0
                             : c.type == jet::ColumnType::Integer ? -32768
                                                                  : INT32_MIN;
        const qlonglong hi = c.type == jet::ColumnType::Byte      ? 255
                             : c.type == jet::ColumnType::Integer ? 32767
                                                                  : INT32_MAX;
        if (!ok || n < lo || n > hi) doesNotFit(v, c);
        if (c.type == jet::ColumnType::Byte) return jet::Value::byte(static_cast<uint8_t>(n));
        if (c.type == jet::ColumnType::Integer) return jet::Value::integer(static_cast<int16_t>(n));
        return jet::Value::longInt(static_cast<int32_t>(n));
    }
    case jet::ColumnType::Currency: {
        const QString t = v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'f', 4) : v.toString();
        const auto n = scaledFromText(t, 4);
        if (!n || *n > INT64_MAX || *n < INT64_MIN) doesNotFit(v, c);
        return jet::Value::currency(jet::Currency{static_cast<int64_t>(*n)});
    }
    case jet::ColumnType::Numeric: {
        const QString t = v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'f', c.scale) : v.toString();
        const auto n = scaledFromText(t, c.scale);
        if (!n) doesNotFit(v, c);
        jet::Decimal d;
        d.negative = *n < 0;
        const jet::sql::UInt128 mag = static_cast<jet::sql::UInt128>(*n < 0 ? -*n : *n);
        d.precision = c.precision;
        d.scale = c.scale;
        d.high = static_cast<uint64_t>(mag >> 64);
        d.low = static_cast<uint64_t>(mag);
        return jet::Value::decimal(d);
    }
    case jet::ColumnType::Single: {
        const double d = v.toDouble(&ok);
        if (!ok) doesNotFit(v, c);
        return jet::Value::single(static_cast<float>(d));
    }
    case jet::ColumnType::Double: {
        const double d = v.toDouble(&ok);
        if (!ok) doesNotFit(v, c);
        return jet::Value::dbl(d);
    }
    case jet::ColumnType::DateTime:
        if (v.typeId() != QMetaType::QDateTime) doesNotFit(v, c);
        return jet::Value::dateTime(jet::DateTime{DaysFromDateTime(v.toDateTime())});
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo: return jet::Value::text(v.toString().toStdString());
    case jet::ColumnType::Guid: {
        const auto g = guidFromText(v.toString());
        if (!g) doesNotFit(v, c);
        return jet::Value::guid(*g);
    }
    default: {
        const QByteArray b = v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toLatin1();
        return jet::Value::binary(jet::Bytes(b.begin(), b.end()));
    }
    }
}

SortKey sortKeyOf(const jet::Value& v) {
    using K = jet::Value::Kind;
    SortKey k;
    k.null = v.isNull();
    switch (v.kind()) {
    case K::Null: break;
    case K::Text: k.text = QString::fromStdString(v.asText()).toCaseFolded(); break;
    case K::Binary: k.bytes = bytesOf(v.asBinary()); break;
    case K::Guid: k.text = QString::fromStdString(v.asGuid().toString()); break;
    case K::Decimal: k.number = QString::fromStdString(v.asDecimal().toString()).toDouble(); break;
    case K::DateTime: {
        const double d = v.asDateTime().days;
        // Before the epoch the fraction counts forward: -1.25 is 1899-12-29 06:00.
        k.number = std::trunc(d) + std::fabs(d - std::trunc(d));
        break;
    }
    default: k.number = variantOf(v).toDouble(); break;
    }
    return k;
}

bool keyLess(const SortKey& a, const SortKey& b) {
    if (a.null != b.null) return a.null;
    if (a.null) return false;
    if (!a.text.isNull() || !b.text.isNull()) return a.text < b.text;
    if (!a.bytes.isNull() || !b.bytes.isNull()) return a.bytes < b.bytes;
    return a.number < b.number;
}

} // namespace tablor::ado
