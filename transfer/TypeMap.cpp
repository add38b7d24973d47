// TypeMap.cpp — the MySQL type names and the Access column each one gives (see TypeMap.h).
#include "transfer/TypeMap.h"

#include <algorithm>

namespace tablor::transfer {

namespace {

// Jet's DECIMAL holds at most 28 digits.
constexpr int kMaxJetPrecision = 28;
// Jet's TEXT holds at most 255 characters, BINARY at most 255 bytes.
constexpr int kMaxJetText = 255;

ColumnPlan plan(const ColumnDescription& d, jet::ColumnType type, ValueSource source, QString jetType) {
    ColumnPlan p;
    p.sourceName = d.Field;
    p.mysqlType = MySqlType::parse(d.Type);
    p.access.name = d.Field.toStdString();
    p.access.type = type;
    p.source = source;
    p.jetType = std::move(jetType);
    return p;
}

ColumnPlan text(const ColumnDescription& d, int characters, ValueSource source = ValueSource::Text) {
    if (characters > kMaxJetText) return plan(d, jet::ColumnType::Memo, source, QStringLiteral("MEMO"));
    ColumnPlan p = plan(d, jet::ColumnType::Text, source, QStringLiteral("TEXT (%1)").arg(std::max(characters, 1)));
    p.access.length = static_cast<uint16_t>(std::max(characters, 1));
    return p;
}

ColumnPlan decimal(const ColumnDescription& d, int precision, int scale, ValueSource source = ValueSource::Number) {
    ColumnPlan p =
        plan(d, jet::ColumnType::Numeric, source, QStringLiteral("DECIMAL (%1,%2)").arg(precision).arg(scale));
    p.access.precision = static_cast<uint8_t>(precision);
    p.access.scale = static_cast<uint8_t>(scale);
    return p;
}

ColumnPlan longInt(const ColumnDescription& d, ValueSource source = ValueSource::Number) {
    return plan(d, jet::ColumnType::Long, source, QStringLiteral("LONG"));
}

ColumnPlan binary(const ColumnDescription& d, int bytes) {
    if (bytes > kMaxJetText) return plan(d, jet::ColumnType::Ole, ValueSource::Bytes, QStringLiteral("OLEOBJECT"));
    ColumnPlan p = plan(d, jet::ColumnType::Binary, ValueSource::Bytes, QStringLiteral("BINARY (%1)").arg(bytes));
    p.access.length = static_cast<uint16_t>(std::max(bytes, 1));
    return p;
}

} // namespace

MySqlType MySqlType::parse(const QString& typeText) {
    MySqlType t;
    t.text = typeText;
    const QString s = typeText.trimmed();
    qsizetype i = 0;
    while (i < s.size() && s[i] != QLatin1Char('(') && s[i] != QLatin1Char(' ')) ++i;
    t.name = s.left(i).toLower();
    QString rest = s.mid(i);
    if (rest.startsWith(QLatin1Char('('))) {
        // Arguments up to the matching parenthesis; quoted members of enum and set may hold
        // commas, parentheses and doubled quotes.
        QString current;
        bool quoted = false;
        qsizetype j = 1;
        for (; j < rest.size(); ++j) {
            const QChar c = rest[j];
            if (quoted) {
                current += c;
                if (c == QLatin1Char('\'')) {
                    if (j + 1 < rest.size() && rest[j + 1] == QLatin1Char('\'')) current += rest[++j];
                    else quoted = false;
                }
            } else if (c == QLatin1Char('\'')) {
                quoted = true;
                current += c;
            } else if (c == QLatin1Char(',')) {
                t.args << current.trimmed();
                current.clear();
            } else if (c == QLatin1Char(')')) {
                break;
            } else {
                current += c;
            }
        }
        t.args << current.trimmed();
        rest = rest.mid(j + 1);
    }
    const QStringList words = rest.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    t.isUnsigned = words.contains(QStringLiteral("unsigned"));
    return t;
}

int MySqlType::arg(int i, int fallback) const {
    if (i >= args.size()) return fallback;
    bool ok = false;
    const int v = args[i].toInt(&ok);
    return ok ? v : fallback;
}

const std::vector<TypeMapEntry>& TypeMap() {
    static const std::vector<TypeMapEntry> entries = {
        {"tinyint", "LONG"},
        {"smallint", "LONG"},
        {"mediumint", "LONG"},
        {"int", "LONG"},
        {"integer", "LONG"},
        {"bigint", "DECIMAL (19,0)"},
        {"float", "REAL"},
        {"double", "DOUBLE"},
        {"real", "DOUBLE"},
        {"decimal", "DECIMAL (p,s)"},
        {"numeric", "DECIMAL (p,s)"},
        {"datetime", "DATETIME"},
        {"date", "DATETIME"},
        {"timestamp", "DATETIME"},
        {"time", "TEXT (10)"},
        {"year", "LONG"},
        {"char", "TEXT (n)"},
        {"varchar", "TEXT (n)"},
        {"tinytext", "MEMO"},
        {"text", "MEMO"},
        {"blob", "OLEOBJECT"},
        {"tinyblob", "OLEOBJECT"},
        {"mediumblob", "OLEOBJECT"},
        {"mediumtext", "MEMO"},
        {"longblob", "OLEOBJECT"},
        {"longtext", "MEMO"},
        {"enum", "TEXT (n)"},
        {"set", "TEXT (n)"},
        {"json", "MEMO"},
        {"bit", "BYTE"},
        {"binary", "BINARY (n)"},
        {"varbinary", "BINARY (n)"},
        {"geometry", "OLEOBJECT"},
        {"point", "OLEOBJECT"},
        {"linestring", "OLEOBJECT"},
        {"polygon", "OLEOBJECT"},
        {"multipoint", "OLEOBJECT"},
        {"multilinestring", "OLEOBJECT"},
        {"multipolygon", "OLEOBJECT"},
        {"geometrycollection", "OLEOBJECT"},
    };
    return entries;
}

const TypeMapEntry* matchTypeMap(const QString& typeText) {
    const QString t = typeText.trimmed().toLower();
    for (const TypeMapEntry& e : TypeMap()) {
        const QString name = QString::fromLatin1(e.mysqlName);
        if (t == name || t.startsWith(name + QLatin1Char(' ')) || t.startsWith(name + QLatin1Char('('))) return &e;
    }
    return nullptr;
}

ColumnPlan columnDefinition(const ColumnDescription& d) {
    const TypeMapEntry* entry = matchTypeMap(d.Type);
    const MySqlType t = MySqlType::parse(d.Type);
    const QString name = entry ? QString::fromLatin1(entry->mysqlName) : QString();
    ColumnPlan p;
    if (name == QLatin1String("tinyint") || name == QLatin1String("smallint") || name == QLatin1String("mediumint") ||
        name == QLatin1String("year")) {
        p = longInt(d);
    } else if (name == QLatin1String("int") || name == QLatin1String("integer")) {
        // 0 .. 4294967295 is beyond Long: ten digits of DECIMAL hold it exactly.
        p = t.isUnsigned ? decimal(d, 10, 0) : longInt(d);
    } else if (name == QLatin1String("bigint")) {
        p = decimal(d, t.isUnsigned ? 20 : 19, 0);
    } else if (name == QLatin1String("float")) {
        p = plan(d, jet::ColumnType::Single, ValueSource::Floating, QStringLiteral("REAL"));
    } else if (name == QLatin1String("double") || name == QLatin1String("real")) {
        p = plan(d, jet::ColumnType::Double, ValueSource::Floating, QStringLiteral("DOUBLE"));
    } else if (name == QLatin1String("decimal") || name == QLatin1String("numeric")) {
        const int precision = t.arg(0, 10), scale = t.arg(1, 0);
        // More digits than Jet's DECIMAL holds: the exact text (sign and point included).
        p = precision <= kMaxJetPrecision ? decimal(d, precision, scale) : text(d, precision + 2, ValueSource::Number);
    } else if (name == QLatin1String("datetime") || name == QLatin1String("date") ||
               name == QLatin1String("timestamp")) {
        p = plan(d, jet::ColumnType::DateTime, ValueSource::Temporal, QStringLiteral("DATETIME"));
    } else if (name == QLatin1String("time")) {
        // "-838:59:59" and, with fractions, a point and up to six digits.
        const int fraction = t.arg(0, 0);
        p = text(d, 10 + (fraction > 0 ? fraction + 1 : 0));
    } else if (name == QLatin1String("char") || name == QLatin1String("varchar")) {
        p = text(d, t.arg(0, 1));
    } else if (name == QLatin1String("enum") || name == QLatin1String("set")) {
        // The type text is longer than any member (or any set of members joined by commas).
        p = text(d, static_cast<int>(d.Type.size()));
    } else if (name == QLatin1String("binary") || name == QLatin1String("varbinary")) {
        p = binary(d, t.arg(0, 1));
    } else if (name == QLatin1String("bit")) {
        const int bits = t.arg(0, 1);
        if (bits <= 8) p = plan(d, jet::ColumnType::Byte, ValueSource::Bits, QStringLiteral("BYTE"));
        else if (bits <= 31) p = longInt(d, ValueSource::Bits);
        else p = decimal(d, 20, 0, ValueSource::Bits);
    } else if (entry && QByteArray(entry->jetType) == "OLEOBJECT") {
        p = plan(d, jet::ColumnType::Ole, ValueSource::Bytes, QStringLiteral("OLEOBJECT"));
    } else {
        // The text kinds, json, and every type without an entry (inet6, uuid, ...): the value
        // as the server writes it.
        p = plan(d, jet::ColumnType::Memo, ValueSource::Text, QStringLiteral("MEMO"));
    }
    p.primaryKey = d.Key.compare(QLatin1String("PRI"), Qt::CaseInsensitive) == 0;
    p.unique = d.Key.compare(QLatin1String("UNI"), Qt::CaseInsensitive) == 0;
    return p;
}

TablePlan tableDefinition(const QString& table, const std::vector<ColumnDescription>& columns,
                          const QStringList& keyOrder) {
    TablePlan t;
    t.name = table;
    for (const ColumnDescription& d : columns) t.columns.push_back(columnDefinition(d));
    if (!keyOrder.isEmpty()) {
        t.keyColumns = keyOrder;
    } else {
        for (const ColumnPlan& c : t.columns)
            if (c.primaryKey) t.keyColumns << c.sourceName;
    }
    return t;
}

void fitToAccess97(TablePlan& plan) {
    // Currency is a 64-bit count of ten-thousandths: 922,337,203,685,477.5807 at most.
    constexpr int kCurrencyScale = 4, kCurrencyWholeDigits = 15;
    for (ColumnPlan& c : plan.columns) {
        if (c.access.type != jet::ColumnType::Numeric) continue;
        const int precision = c.access.precision, scale = c.access.scale;
        if (scale <= kCurrencyScale && precision - scale <= kCurrencyWholeDigits) {
            c.access.type = jet::ColumnType::Currency;
            c.jetType = QStringLiteral("CURRENCY");
        } else {
            // A sign, the digits and a point.
            const int characters = precision + 2;
            c.access.type = jet::ColumnType::Text;
            c.access.length = static_cast<uint16_t>(characters);
            c.jetType = QStringLiteral("TEXT (%1)").arg(characters);
        }
    }
}

jet::TableSpec TablePlan::tableSpec() const {
    jet::TableSpec table;
    table.name = name.toStdString();
    for (const ColumnPlan& c : columns) table.columns.push_back(c.access);
    if (!keyColumns.isEmpty()) {
        jet::IndexSpec key;
        key.primaryKey = true;
        for (const QString& k : keyColumns) key.columns.push_back(k.toStdString());
        table.indexes.push_back(key);
    }
    for (const ColumnPlan& c : columns) {
        if (!c.unique) continue;
        jet::IndexSpec u;
        u.name = c.access.name;
        u.unique = true;
        u.ignoreNulls = true;
        u.columns.push_back(c.access.name);
        table.indexes.push_back(u);
    }
    return table;
}

} // namespace tablor::transfer
