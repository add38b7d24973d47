// ADODB.cpp — the Access connection, table and query objects over the engine.
#include "db/ADODB.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/JetConnectionString.h"

#include "jet/database.h"
#include "jet/error.h"
#include "jet/sql/engine.h"
#include "jet/sql/executor.h"
#include "jet/writer.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace tablor {

namespace {

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

// The sort key of one value: nulls first, then numbers, text without regard to case, bytes.
struct SortKey {
    bool null = true;
    double number = 0;
    QString text;
    QByteArray bytes;
};

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

const QRegularExpression& plainSelectForm() {
    static const QRegularExpression form(
        QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+(?:\\[([^\\]]+)\\]|([A-Za-z_][A-Za-z0-9_]*))\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return form;
}

QString bareName(const QString& name) {
    const QString t = name.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) return t.mid(1, t.size() - 2);
    return t;
}

} // namespace

// ==================================================================== storage

class TCustomADODataSet::Store {
public:
    struct Field {
        QString name;
        TFieldType kind;
        int size;
        bool required;
    };
    virtual ~Store() = default;

    std::vector<Field> fields;
    std::vector<jet::ColumnType> types;

    int count() const { return static_cast<int>(storageCount()); }
    size_t storageIndex(int row) const {
        return m_order.empty() ? static_cast<size_t>(row) : m_order[static_cast<size_t>(row)];
    }
    const std::vector<jet::Value>& row(int r) const { return storageRow(storageIndex(r)); }

    void insert(const std::vector<jet::Value>& values) {
        storageInsert(values);
        if (!m_order.empty()) m_order.push_back(static_cast<uint32_t>(storageCount() - 1));
    }
    void update(int r, const std::vector<jet::Value>& values) { storageUpdate(storageIndex(r), values); }
    void erase(int r) {
        const size_t s = storageIndex(r);
        storageErase(s);
        if (!m_order.empty()) {
            m_order.erase(m_order.begin() + r);
            for (uint32_t& o : m_order)
                if (o > s) --o;
        }
    }
    // Re-orders by column `col` (-1: storage order); returns the new row of `current`.
    int sort(int col, int current, bool& byIndex) {
        const size_t currentStorage = current >= 0 ? storageIndex(current) : SIZE_MAX;
        byIndex = false;
        if (col < 0) {
            m_order.clear();
        } else if (auto viaIndex = indexOrder(col)) {
            m_order = std::move(*viaIndex);
            byIndex = true;
        } else {
            const std::vector<jet::Value> values = columnValues(col);
            std::vector<SortKey> keys;
            keys.reserve(values.size());
            for (const jet::Value& v : values) keys.push_back(sortKeyOf(v));
            std::vector<uint32_t> order(values.size());
            std::iota(order.begin(), order.end(), 0u);
            std::stable_sort(order.begin(), order.end(),
                             [&](uint32_t a, uint32_t b) { return keyLess(keys[a], keys[b]); });
            m_order = std::move(order);
        }
        if (currentStorage == SIZE_MAX) return current;
        if (m_order.empty()) return static_cast<int>(currentStorage);
        const auto it = std::find(m_order.begin(), m_order.end(), static_cast<uint32_t>(currentStorage));
        return it == m_order.end() ? 0 : static_cast<int>(it - m_order.begin());
    }

protected:
    virtual size_t storageCount() const = 0;
    virtual const std::vector<jet::Value>& storageRow(size_t s) const = 0;
    virtual void storageInsert(const std::vector<jet::Value>& values) = 0;
    virtual void storageUpdate(size_t s, const std::vector<jet::Value>& values) = 0;
    virtual void storageErase(size_t s) = 0;
    virtual std::vector<jet::Value> columnValues(int col) const = 0;
    virtual std::optional<std::vector<uint32_t>> indexOrder(int) const { return std::nullopt; }

    std::vector<uint32_t> m_order; // display row -> storage index; empty: storage order
};

namespace {

// Rows of a SELECT, held in memory; read-only.
class SqlStore : public TCustomADODataSet::Store {
public:
    int rowsAffected = 0;

    SqlStore(jet::sql::Connection& connection, const QString& statement) {
        try {
            jet::sql::Result result = connection.execute(statement.toStdString());
            if (!result.hasRows()) {
                // SELECT ... INTO makes no rows to show: an empty result, and how many it copied.
                rowsAffected = static_cast<int>(result.rowsAffected());
                return;
            }
            jet::sql::RowSet& rows = result.rows();
            for (const jet::sql::ResultColumn& c : rows.columns()) {
                jet::ColumnDef def;
                def.name = c.name;
                def.type = engineTypeOf(c.type);
                types.push_back(def.type);
                fields.push_back({QString::fromStdString(c.name), kindOf(def), static_cast<int>(c.size), false});
            }
            while (rows.next()) {
                const jet::sql::Row& r = rows.row();
                std::vector<jet::Value> values;
                values.reserve(r.size());
                for (size_t i = 0; i < r.size(); ++i) values.push_back(jet::sql::toEngineValue(r[i], types[i]));
                m_rows.push_back(std::move(values));
            }
        } catch (...) {
            rethrowAsDatabaseError();
        }
    }

protected:
    size_t storageCount() const override { return m_rows.size(); }
    const std::vector<jet::Value>& storageRow(size_t s) const override { return m_rows[s]; }
    void storageInsert(const std::vector<jet::Value>&) override { readOnly(); }
    void storageUpdate(size_t, const std::vector<jet::Value>&) override { readOnly(); }
    void storageErase(size_t) override { readOnly(); }
    std::vector<jet::Value> columnValues(int col) const override {
        std::vector<jet::Value> out;
        out.reserve(m_rows.size());
        for (const auto& r : m_rows) out.push_back(r[static_cast<size_t>(col)]);
        return out;
    }

private:
    [[noreturn]] static void readOnly() {
        throw EDatabaseError(
            QStringLiteral("The rows of this query cannot be changed: only a table, or SELECT * FROM one "
                           "table, can be edited. Open the table itself to change it."));
    }
    std::vector<std::vector<jet::Value>> m_rows;
};

// A stored table: the row ids are listed at open, each row is decoded when first read and
// kept in a small cache; writes go to the file through the engine's writer at once.
class TableStore : public TCustomADODataSet::Store {
public:
    TableStore(std::shared_ptr<AccessFile> file, const QString& name) : m_file(std::move(file)) {
        try {
            jet::Database& db = m_file->database();
            m_def = db.table(name.toStdString());
            for (const jet::ColumnDef& c : m_def->columns) {
                types.push_back(c.type);
                int size = 0;
                if (c.type == jet::ColumnType::Text)
                    size = db.version() == jet::Version::Jet4 ? c.length / 2 : c.length;
                else if (c.type == jet::ColumnType::Binary) size = c.length;
                fields.push_back({QString::fromStdString(c.name), kindOf(c), size,
                                  !(c.flags & jet::column_flags::Nullable) && !c.isAutoNumber()});
            }
            m_nullRow.resize(m_def->columns.size());
            // A small table is listed at once. A large one is listed as far as rows are read,
            // its count taken from the table definition until the listing reaches the end.
            m_expected = m_def->storedRowCount;
            discover(m_expected <= kListAtOnce ? SIZE_MAX : kFirstBatch);
        } catch (const jet::NotFoundError&) {
            throw EDatabaseError(QStringLiteral("The table [%1] does not exist in %2.").arg(name, m_file->path()));
        } catch (...) {
            rethrowAsDatabaseError();
        }
    }

    // The listing is complete (the count is exact).
    bool complete() const { return m_complete; }

    // Called when the listing ends with another count than the table definition claimed.
    std::function<void()> onCountCorrected;

protected:
    size_t storageCount() const override {
        if (!m_complete && m_generation != m_file->generation())
            discover(m_ids.size()); // restart after a change to the file
        return m_complete ? m_ids.size() : std::max(m_ids.size(), m_expected);
    }

    // Lists row ids until at least `want` are known (SIZE_MAX: all). Restarts when the file
    // changed since the listing began, because the cursor does not survive writes.
    void discover(size_t want) const {
        if (m_complete && m_generation == m_file->generation()) return;
        if (m_generation != m_file->generation() || !m_cursor) {
            if (m_complete) return; // a complete list is kept up to date by our own writes
            const size_t known = m_ids.size();
            const size_t reported = std::max(known, m_expected);
            const bool restart = m_cursor != nullptr || known > 0;
            m_ids.clear();
            m_cursor.reset();
            if (restart) {
                // The file changed: its definition carries the new row count.
                try {
                    m_def = m_file->database().table(m_def->name);
                } catch (...) {
                    rethrowAsDatabaseError();
                }
                m_expected = m_def->storedRowCount;
                if (m_expected != reported && m_expected > kListAtOnce && onCountCorrected) onCountCorrected();
            }
            jet::ScanOptions options;
            options.readLongValues = false;
            m_cursor = std::make_unique<jet::RowCursor>(m_file->database().scan(m_def, options));
            m_generation = m_file->generation();
            want = std::max(want, known);
        }
        try {
            while (m_ids.size() < want) {
                if (!m_cursor->skip()) {
                    m_complete = true;
                    m_cursor.reset();
                    if (m_ids.size() != m_expected && m_expected > kListAtOnce && onCountCorrected) onCountCorrected();
                    break;
                }
                m_ids.push_back(m_cursor->rowId());
            }
        } catch (...) {
            m_cursor.reset();
            rethrowAsDatabaseError();
        }
    }
    void discoverAll() const {
        discover(SIZE_MAX);
        if (m_generation != m_file->generation()) m_generation = m_file->generation();
    }

    const std::vector<jet::Value>& storageRow(size_t s) const override {
        if (s >= m_ids.size()) discover(s + 1 + kFirstBatch);
        if (s >= m_ids.size()) return m_nullRow; // the definition promised more rows than the file holds
        const uint32_t key = m_ids[s].packed();
        if (auto it = m_cache.find(key); it != m_cache.end()) return it->second;
        if (m_cache.size() >= kCacheRows) m_cache.clear();
        std::vector<jet::Value> values;
        try {
            auto read = m_file->database().readRow(*m_def, m_ids[s]);
            // A row that vanished under us (another program deleted it) reads as empty.
            values = read ? std::move(*read) : std::vector<jet::Value>(m_def->columns.size());
        } catch (...) {
            rethrowAsDatabaseError();
        }
        return m_cache.emplace(key, std::move(values)).first->second;
    }

    void storageInsert(const std::vector<jet::Value>& values) override {
        discoverAll(); // the lazy listing would not survive the write
        jet::DatabaseWriter& w = m_file->requireWriter(QStringLiteral("add a row to [%1]").arg(tableName()));
        try {
            const jet::InsertResult r = w.table(m_def->name).insert(values);
            m_file->flush();
            m_generation = m_file->generation();
            m_ids.push_back(r.rowId);
            m_cache.erase(r.rowId.packed());
        } catch (...) {
            rethrowAsDatabaseError();
        }
    }

    void storageUpdate(size_t s, const std::vector<jet::Value>& values) override {
        discoverAll(); // the lazy listing would not survive the write
        jet::DatabaseWriter& w = m_file->requireWriter(QStringLiteral("change a row of [%1]").arg(tableName()));
        try {
            const jet::RowId old = m_ids[s];
            const jet::RowId now = w.table(m_def->name).update(old, values);
            m_file->flush();
            m_generation = m_file->generation();
            m_ids[s] = now;
            m_cache.erase(old.packed());
            m_cache.erase(now.packed());
        } catch (...) {
            rethrowAsDatabaseError();
        }
    }

    void storageErase(size_t s) override {
        discoverAll(); // the lazy listing would not survive the write
        jet::DatabaseWriter& w = m_file->requireWriter(QStringLiteral("delete a row of [%1]").arg(tableName()));
        try {
            w.table(m_def->name).erase(m_ids[s]);
            m_file->flush();
            m_generation = m_file->generation();
            m_cache.erase(m_ids[s].packed());
            m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(s));
        } catch (...) {
            rethrowAsDatabaseError();
        }
    }

    std::vector<jet::Value> columnValues(int col) const override {
        discoverAll();
        std::vector<jet::Value> out(m_ids.size());
        try {
            std::unordered_map<uint32_t, size_t> where;
            where.reserve(m_ids.size());
            for (size_t i = 0; i < m_ids.size(); ++i) where.emplace(m_ids[i].packed(), i);
            jet::ScanOptions options;
            options.readLongValues = m_def->columns[static_cast<size_t>(col)].isLongValue();
            jet::RowCursor cursor = m_file->database().scan(m_def, options);
            std::vector<bool> seen(m_ids.size(), false);
            while (cursor.next()) {
                auto it = where.find(cursor.rowId().packed());
                if (it == where.end()) continue;
                out[it->second] = cursor.values()[static_cast<size_t>(col)];
                seen[it->second] = true;
            }
            for (size_t i = 0; i < m_ids.size(); ++i)
                if (!seen[i]) out[i] = storageRow(i)[static_cast<size_t>(col)];
        } catch (...) {
            rethrowAsDatabaseError();
        }
        return out;
    }

    // Key order of an ascending index led by the column, when it lists every row once.
    std::optional<std::vector<uint32_t>> indexOrder(int col) const override {
        const uint16_t number = m_def->columns[static_cast<size_t>(col)].number;
        const jet::IndexDef* chosen = nullptr;
        for (const jet::IndexDef& ix : m_def->indexes) {
            if (ix.columns.empty() || ix.columns[0].columnNumber != number || !ix.columns[0].ascending ||
                ix.ignoresNulls() || ix.rootPage == 0)
                continue;
            // Jet orders Text keys by its sort codes; prefer the primary key, else the first.
            if (!chosen || ix.isPrimaryKey()) chosen = &ix;
        }
        if (!chosen) return std::nullopt;
        discoverAll();
        try {
            std::unordered_map<uint32_t, uint32_t> where;
            where.reserve(m_ids.size());
            for (size_t i = 0; i < m_ids.size(); ++i) where.emplace(m_ids[i].packed(), static_cast<uint32_t>(i));
            std::vector<uint32_t> order;
            order.reserve(m_ids.size());
            std::vector<bool> seen(m_ids.size(), false);
            jet::IndexCursor cursor = m_file->database().indexScan(m_def, *chosen);
            while (cursor.next()) {
                auto it = where.find(cursor.entry().row.packed());
                if (it == where.end() || seen[it->second])
                    return std::nullopt; // the index does not match the rows: sort by value
                seen[it->second] = true;
                order.push_back(it->second);
            }
            if (order.size() != m_ids.size()) return std::nullopt;
            return order;
        } catch (const jet::Error&) {
            return std::nullopt; // a damaged index: the value sort still works
        }
    }

private:
    QString tableName() const { return QString::fromStdString(m_def->name); }
    static constexpr size_t kCacheRows = 2048;
    static constexpr size_t kListAtOnce = 20000; // tables up to this size are listed at open
    static constexpr size_t kFirstBatch = 512;   // rows listed ahead of the one asked for
    std::shared_ptr<AccessFile> m_file;
    mutable std::shared_ptr<const jet::TableDef> m_def;
    mutable std::vector<jet::RowId> m_ids;
    mutable std::unique_ptr<jet::RowCursor> m_cursor;
    mutable bool m_complete = false;
    mutable quint64 m_generation = 0;
    mutable size_t m_expected = 0;
    std::vector<jet::Value> m_nullRow;
    mutable std::unordered_map<uint32_t, std::vector<jet::Value>> m_cache;
};

} // namespace

// ==================================================================== TADOConnection

TADOConnection::TADOConnection() = default;

TADOConnection::~TADOConnection() {
    try {
        Close();
    } catch (...) {}
    for (TCustomADODataSet* ds : m_dataSets) ds->m_connection = nullptr;
}

void TADOConnection::Open() {
    if (m_file) return;
    const JetConnectionString cs = JetConnectionString::parse(ConnectionString);
    m_file = AccessFile::open(cs.DataSource);
    m_sql = std::make_unique<jet::sql::Connection>(m_file->sql());
    if (AfterConnect) AfterConnect(this);
}

void TADOConnection::Close() {
    if (!m_file) return;
    const auto dataSets = m_dataSets;
    for (TCustomADODataSet* ds : dataSets) ds->Close();
    m_sql.reset();
    m_file.reset();
    if (AfterDisconnect) AfterDisconnect(this);
}

AccessFile& TADOConnection::file() const {
    if (!m_file) throw EDatabaseError(QStringLiteral("The Access connection is not open. Open an Access file first."));
    return *m_file;
}

jet::sql::Connection& TADOConnection::sqlConnection() const {
    file();
    return *m_sql;
}

void TADOConnection::GetTableNames(QStringList& list, bool SystemTables) const {
    list.clear();
    QStringList tables, views;
    try {
        for (const jet::CatalogEntry& e : file().database().objects()) {
            if (e.kind == jet::ObjectKind::Table || (SystemTables && e.kind == jet::ObjectKind::SystemTable))
                tables << QString::fromStdString(e.name);
            else if (e.kind == jet::ObjectKind::View) views << QString::fromStdString(e.name);
        }
    } catch (...) {
        rethrowAsDatabaseError();
    }
    const auto byName = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; };
    std::stable_sort(tables.begin(), tables.end(), byName);
    std::stable_sort(views.begin(), views.end(), byName);
    list << tables << views;
}

int TADOConnection::Execute(const QString& statement) {
    // A statement is one step: one that fails has undone its rows in the writer's cache, so
    // the flush after a failure writes only what was complete before (a SELECT INTO's new
    // table in another file, say), never half a statement.
    int affected = 0;
    try {
        affected = static_cast<int>(sqlConnection().execute(statement.toStdString()).rowsAffected());
    } catch (...) {
        AccessFile::flushAll();
        rethrowAsDatabaseError();
    }
    AccessFile::flushAll();
    return affected;
}

void TADOConnection::attach(TCustomADODataSet* ds) {
    if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end()) m_dataSets.push_back(ds);
}

void TADOConnection::detach(TCustomADODataSet* ds) { std::erase(m_dataSets, ds); }

// ==================================================================== TCustomADODataSet

TCustomADODataSet::TCustomADODataSet() = default;

TCustomADODataSet::~TCustomADODataSet() {
    if (m_connection) m_connection->detach(this);
}

void TCustomADODataSet::setConnection(TADOConnection* connection) {
    if (connection == m_connection) return;
    Close();
    if (m_connection) m_connection->detach(this);
    m_connection = connection;
    if (m_connection) m_connection->attach(this);
}

AccessFile& TCustomADODataSet::requireFile() const {
    if (!m_connection) throw EDatabaseError(QStringLiteral("The data set has no Access connection."));
    return m_connection->file();
}

void TCustomADODataSet::addStoreFields() {
    for (const Store::Field& f : m_store->fields) addField(f.name, f.kind, f.size, f.required);
}

void TCustomADODataSet::openTableStore(const QString& name) {
    AccessFile& file = requireFile();
    bool isTable = false;
    bool isView = false;
    try {
        isTable = file.database().hasTable(name.toStdString());
        if (!isTable)
            for (const jet::CatalogEntry& e : file.database().views())
                isView = isView || e.name == name.toStdString() ||
                         QString::fromStdString(e.name).compare(name, Qt::CaseInsensitive) == 0;
    } catch (...) {
        rethrowAsDatabaseError();
    }
    if (isTable) {
        // The registry hands out the same shared handle the connection holds.
        auto store = std::make_unique<TableStore>(AccessFile::open(file.path()), name);
        // Rare: the definition's row count was stale; views re-read everything.
        store->onCountCorrected = [this] { notify(TDataChange::Reset, CurrentRow()); };
        m_store = std::move(store);
    } else if (isView) {
        m_store =
            std::make_unique<SqlStore>(m_connection->sqlConnection(), QStringLiteral("SELECT * FROM [%1]").arg(name));
    } else {
        throw EDatabaseError(QStringLiteral("The table [%1] does not exist in %2.").arg(name, file.path()));
    }
    m_sortedByIndex = false;
    addStoreFields();
}

void TCustomADODataSet::openSqlStore(const QString& statement) {
    requireFile();
    auto store = std::make_unique<SqlStore>(m_connection->sqlConnection(), statement);
    m_openRowsAffected = store->rowsAffected;
    m_store = std::move(store);
    AccessFile::flushAll(); // SELECT ... INTO writes
    m_sortedByIndex = false;
    addStoreFields();
}

void TCustomADODataSet::InternalClose() {
    m_store.reset();
    m_sortedByIndex = false;
}

int TCustomADODataSet::storedCount() const { return m_store ? m_store->count() : 0; }

bool TCustomADODataSet::storedIsNull(int row, int col) const {
    return m_store->row(row)[static_cast<size_t>(col)].isNull();
}

QVariant TCustomADODataSet::storedValue(int row, int col) const {
    return variantOf(m_store->row(row)[static_cast<size_t>(col)]);
}

QString TCustomADODataSet::storedText(int row, int col) const {
    return textOf(m_store->row(row)[static_cast<size_t>(col)], m_store->fields[static_cast<size_t>(col)].kind);
}

QByteArray TCustomADODataSet::storedBytes(int row, int col) const {
    const jet::Value& v = m_store->row(row)[static_cast<size_t>(col)];
    if (v.kind() == jet::Value::Kind::Binary) return bytesOf(v.asBinary());
    return textOf(v, m_store->fields[static_cast<size_t>(col)].kind).toUtf8();
}

namespace {
jet::ColumnDef columnFor(const TCustomADODataSet::Store& store, size_t col) {
    jet::ColumnDef c;
    c.name = store.fields[col].name.toStdString();
    c.type = store.types[col];
    return c;
}
} // namespace

void TCustomADODataSet::InternalPostInsert(const EditBuffer& buffer) {
    std::vector<jet::Value> values(m_store->types.size());
    for (size_t c = 0; c < values.size(); ++c)
        if (buffer.assigned[c]) values[c] = engineValueOf(buffer.values[c], columnFor(*m_store, c));
    m_store->insert(values);
}

void TCustomADODataSet::InternalPostEdit(int row, const EditBuffer& buffer) {
    std::vector<jet::Value> values = m_store->row(row);
    bool changed = false;
    for (size_t c = 0; c < values.size(); ++c) {
        if (!buffer.assigned[c]) continue;
        jet::Value v = engineValueOf(buffer.values[c], columnFor(*m_store, c));
        if (!(v == values[c])) {
            values[c] = std::move(v);
            changed = true;
        }
    }
    if (changed) // a post without a change writes nothing
        m_store->update(row, values);
}

void TCustomADODataSet::InternalDelete(int row) { m_store->erase(row); }

int TCustomADODataSet::InternalSort(int col, int currentRow) {
    bool byIndex = false;
    const int now = m_store->sort(col, currentRow, byIndex);
    m_sortedByIndex = byIndex;
    return now;
}

// ==================================================================== TADOTable

TADOTable::TADOTable() = default;
TADOTable::~TADOTable() { Close(); }

void TADOTable::setTableName(const QString& name) {
    if (name == m_tableName) return;
    Close();
    m_tableName = name;
}

void TADOTable::InternalOpen() {
    const QString name = bareName(m_tableName);
    if (name.isEmpty()) throw EDatabaseError(QStringLiteral("No table name is set."));
    openTableStore(name);
}

// ==================================================================== TADOQuery

TADOQuery::TADOQuery() = default;
TADOQuery::~TADOQuery() { Close(); }
TMyQuery::TMyQuery() = default;
TMyQuery::~TMyQuery() = default;

TADOConnection& TADOQuery::effectiveConnection() {
    if (m_connection && m_connection != m_ownConnection.get()) return *m_connection;
    if (ConnectionString.isEmpty())
        throw EDatabaseError(QStringLiteral("The query has neither a connection nor a connection string."));
    if (!m_ownConnection || m_ownConnection->ConnectionString != ConnectionString) {
        setConnection(nullptr);
        m_ownConnection = std::make_unique<TADOConnection>();
        m_ownConnection->ConnectionString = ConnectionString;
    }
    m_ownConnection->Open();
    return *m_ownConnection;
}

void TADOQuery::InternalOpen() {
    m_openRowsAffected = 0;
    TADOConnection& conn = effectiveConnection();
    if (!m_connection) setConnection(&conn); // the query's own connection (inactive here, so nothing is closed)
    const QString statement = SQL.join(QLatin1Char('\n'));
    const auto m = plainSelectForm().match(statement);
    if (m.hasMatch()) {
        const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        try {
            if (conn.file().database().hasTable(name.toStdString())) {
                openTableStore(name);
                return;
            }
        } catch (const jet::Error&) {
            rethrowAsDatabaseError();
        }
    }
    openSqlStore(statement);
}

int TADOQuery::ExecSQL() {
    Close();
    TADOConnection& conn = effectiveConnection();
    try {
        jet::sql::Result r = conn.sqlConnection().execute(SQL.join(QLatin1Char('\n')).toStdString());
        m_rowsAffected = static_cast<int>(r.rowsAffected());
    } catch (...) {
        m_rowsAffected = 0;
        AccessFile::flushAll();
        rethrowAsDatabaseError();
    }
    AccessFile::flushAll();
    return m_rowsAffected;
}

// ==================================================================== creating files

void CreateAccessDatabase(const QString& connectionString) {
    const JetConnectionString cs = JetConnectionString::parse(connectionString);
    if (QFileInfo::exists(cs.DataSource))
        throw EDatabaseError(
            QStringLiteral("Cannot create '%1': a file of that name exists already.").arg(cs.DataSource));
    const jet::Version version = cs.EngineType == QLatin1String("4") ? jet::Version::Jet3 : jet::Version::Jet4;
    // The engine can make Access 97 files, but this program keeps them read-only until every
    // path into them has been proven on them (see AccessFile::open).
    if (version == jet::Version::Jet3)
        throw EDatabaseError(QStringLiteral("Cannot create '%1' in the Access 97 format: writing Access 97 files is "
                                            "not supported yet: create an Access 2000 database instead.")
                                 .arg(cs.DataSource));
    try {
        jet::DatabaseWriter w =
            jet::DatabaseWriter::create(std::filesystem::path(cs.DataSource.toStdString()), version);
        w.flush();
    } catch (const jet::UnsupportedError& e) {
        throw EDatabaseError(QStringLiteral("Cannot create '%1' in the Access 97 format: %2")
                                 .arg(cs.DataSource, QString::fromUtf8(e.what())));
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

bool CreateLocalDatabase(const QString& path, bool office2000, const QString& tableName, void* sender,
                         const TBeforeCreateDBEvent& OnBeforeCreateDB, const TAfterCreateDBEvent& AfterCreateDB) {
    if (OnBeforeCreateDB) OnBeforeCreateDB(sender, tableName);
    const QString cs = JetShortConnectionString(path, JetEngineType(office2000 ? 1 : 0));
    try {
        CreateAccessDatabase(cs);
    } catch (const EDatabaseError& e) {
        if (AfterCreateDB) AfterCreateDB(sender, tableName, false, e.Message());
        return false;
    }
    if (AfterCreateDB) AfterCreateDB(sender, tableName, true, QString());
    return true;
}

} // namespace tablor
