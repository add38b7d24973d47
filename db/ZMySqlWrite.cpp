// Write-back of the MySQL layer: the table and key a query's rows are written to, and the
// INSERT / UPDATE / DELETE statements generated for posted and deleted rows.
#include "db/ZMySql.h"

#include "db/BusyCursor.h"
#include "db/DbError.h"
#include "db/MySqlValues.h"

#include <mysql.h>

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace tablor {

using namespace mysql_values;

QString TZMySqlQuery::UpdateTableName() {
    resolveWriteTarget();
    return m_writeTableName;
}

std::vector<int> TZMySqlQuery::KeyColumns() {
    resolveWriteTarget();
    return m_keyCols;
}

void TZMySqlQuery::resolveWriteTarget() {
    if (m_writeResolved) return;
    if (!Active()) throw EDatabaseError(QStringLiteral("The data set is closed; open it before writing rows."));
    if (!isTableObject() && !RequestLive)
        throw EDatabaseError(QStringLiteral("This result is read-only (it was not opened as a live result)."));
    MYSQL* h = liveHandle();
    (void)h;
    QByteArray db;
    if (isTableObject()) {
        m_writeTableName = tableNameForWrite();
        m_writeTable = utf8(QuoteIdentifier(m_writeTableName));
    } else {
        QByteArray table, alias;
        for (const Column& c : m_cols) {
            if (c.orgTable.isEmpty()) continue;
            // The same table under two aliases (a self-join) is two sources too.
            if (!table.isEmpty() && (c.orgTable != table || c.db != db || c.table != alias))
                throw EDatabaseError(
                    QStringLiteral("This result cannot be written back: its columns come from more than one table."));
            table = c.orgTable;
            alias = c.table;
            db = c.db;
        }
        if (table.isEmpty())
            throw EDatabaseError(
                QStringLiteral("This result cannot be written back: none of its columns belongs to a table."));
        m_writeTableName = QString::fromUtf8(table);
        m_writeTable =
            db.isEmpty()
                ? utf8(QuoteIdentifier(m_writeTableName))
                : utf8(QuoteIdentifier(QString::fromUtf8(db)) + QLatin1Char('.') + QuoteIdentifier(m_writeTableName));
    }

    auto columnOf = [this](const QString& name) {
        for (size_t i = 0; i < m_cols.size(); ++i) {
            const QString org = m_cols[i].orgName.isEmpty() ? m_cols[i].name : QString::fromUtf8(m_cols[i].orgName);
            if (org.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
        }
        return -1;
    };

    // Key columns: the primary key, else the first unique index whose columns are all in
    // the result, else every column that is not a blob, memo or approximate number.
    MYSQL_RES* idx = nullptr;
    {
        const QByteArray q = "SHOW INDEX FROM " + m_writeTable;
        if (mysql_real_query(Database->Handle(), q.constData(), static_cast<unsigned long>(q.size())))
            throwMysql(Database->Handle());
        idx = mysql_store_result(Database->Handle());
        if (!idx) throwMysql(Database->Handle());
    }
    struct IndexInfo {
        QString name;
        bool unique;
        std::vector<std::pair<int, QString>> cols;
    };
    std::vector<IndexInfo> indexes;
    while (MYSQL_ROW r = mysql_fetch_row(idx)) {
        // Table, Non_unique, Key_name, Seq_in_index, Column_name, ...
        const QString keyName = QString::fromUtf8(r[2] ? r[2] : "");
        const bool unique = r[1] && std::strcmp(r[1], "0") == 0;
        const int seq = r[3] ? std::atoi(r[3]) : 0;
        const QString col = QString::fromUtf8(r[4] ? r[4] : "");
        auto it = std::find_if(indexes.begin(), indexes.end(), [&](const IndexInfo& i) { return i.name == keyName; });
        if (it == indexes.end()) {
            indexes.push_back({keyName, unique, {}});
            it = indexes.end() - 1;
        }
        it->cols.emplace_back(seq, col);
    }
    mysql_free_result(idx);
    auto usable = [&](IndexInfo& ix, std::vector<int>& out) {
        std::sort(ix.cols.begin(), ix.cols.end());
        out.clear();
        for (const auto& [seq, name] : ix.cols) {
            const int c = columnOf(name);
            if (c < 0) return false;
            out.push_back(c);
        }
        return !out.empty();
    };
    m_keyCols.clear();
    m_keyIsFallback = false;
    bool found = false;
    for (IndexInfo& ix : indexes)
        if (ix.name == QLatin1String("PRIMARY") && usable(ix, m_keyCols)) {
            found = true;
            break;
        }
    if (!found)
        for (IndexInfo& ix : indexes)
            if (ix.unique && usable(ix, m_keyCols)) {
                found = true;
                break;
            }
    if (!found) {
        m_keyIsFallback = true;
        m_keyCols.clear();
        for (size_t i = 0; i < m_cols.size(); ++i) {
            const Column& c = m_cols[i];
            if (IsBlobKind(c.kind) || IsMemoKind(c.kind) || c.type == MYSQL_TYPE_FLOAT || c.type == MYSQL_TYPE_DOUBLE)
                continue;
            if (!c.orgName.isEmpty()) m_keyCols.push_back(static_cast<int>(i));
        }
        if (m_keyCols.empty())
            for (size_t i = 0; i < m_cols.size(); ++i)
                if (!IsBlobKind(m_cols[i].kind) && !IsMemoKind(m_cols[i].kind) && !m_cols[i].orgName.isEmpty())
                    m_keyCols.push_back(static_cast<int>(i));
    }
    m_autoIncCol = -1;
    for (size_t i = 0; i < m_cols.size(); ++i)
        if (m_cols[i].flags & AUTO_INCREMENT_FLAG) m_autoIncCol = static_cast<int>(i);
    m_writeResolved = true;
}

std::optional<QByteArray> TZMySqlQuery::bufferRaw(const QVariant& v, const Column& c) const {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid()) return std::nullopt;
        const bool ms = dt.time().msec() != 0;
        if (c.kind == TFieldType::ftDate) return dt.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
        if (c.kind == TFieldType::ftTime)
            return dt.toString(ms ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss")).toLatin1();
        return dt.toString(ms ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz") : QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            .toLatin1();
    }
    case QMetaType::Double:
    case QMetaType::Float: return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest).toLatin1();
    case QMetaType::Bool: return QByteArray(v.toBool() ? "1" : "0");
    case QMetaType::QByteArray: return v.toByteArray();
    case QMetaType::QString: return IsBinaryKind(c.kind) ? v.toString().toLatin1() : v.toString().toUtf8();
    default: return v.toString().toUtf8();
    }
}

QByteArray TZMySqlQuery::literal(const std::optional<QByteArray>& raw, const Column& c) const {
    if (!raw) return QByteArrayLiteral("NULL");
    if (IsBinaryKind(c.kind)) return "X'" + raw->toHex() + "'"; // bytes never pass through the text character set
    if ((IsIntegerKind(c.kind) || IsFloatKind(c.kind)) && isNumericLiteral(*raw)) return *raw;
    return '\'' + Database->EscapeString(*raw) + '\'';
}

QByteArray TZMySqlQuery::keyCondition(const RawRow& values) const {
    QByteArray out = " WHERE ";
    bool first = true;
    for (int k : m_keyCols) {
        const Column& c = m_cols[static_cast<size_t>(k)];
        if (!first) out += " AND ";
        first = false;
        out += utf8(QuoteIdentifier(QString::fromUtf8(c.orgName)));
        if (!values[static_cast<size_t>(k)]) out += " IS NULL";
        else out += '=' + literal(values[static_cast<size_t>(k)], c);
    }
    if (m_keyIsFallback) out += " LIMIT 1"; // rows without a key may repeat: change only one of them
    return out;
}

bool TZMySqlQuery::keyIsComplete(const RawRow& values) const {
    if (m_keyIsFallback) return false;
    for (int k : m_keyCols)
        if (!values[static_cast<size_t>(k)]) return false;
    return true;
}

void TZMySqlQuery::execWrite(const QByteArray& sql) {
    MYSQL* h = liveHandle();
    m_lastWriteSql = QString::fromUtf8(sql);
    if (mysql_real_query(h, sql.constData(), static_cast<unsigned long>(sql.size()))) throwMysql(h);
    if (mysql_field_count(h) > 0) {
        if (MYSQL_RES* r = mysql_store_result(h)) mysql_free_result(r);
    }
}

void TZMySqlQuery::resync(RawRow& values) {
    if (!(LinkOptions & loAlwaysResync) || !keyIsComplete(values)) return;
    QByteArray sql = "SELECT ";
    for (size_t i = 0; i < m_cols.size(); ++i) {
        if (m_cols[i].orgName.isEmpty()) return; // a computed column cannot be read back
        if (i) sql += ',';
        sql += utf8(QuoteIdentifier(QString::fromUtf8(m_cols[i].orgName)));
    }
    sql += " FROM " + m_writeTable + keyCondition(values);
    MYSQL* h = liveHandle();
    if (mysql_real_query(h, sql.constData(), static_cast<unsigned long>(sql.size()))) throwMysql(h);
    MYSQL_RES* r = mysql_store_result(h);
    if (!r) throwMysql(h);
    if (MYSQL_ROW row = mysql_fetch_row(r)) {
        const unsigned long* lens = mysql_fetch_lengths(r);
        for (size_t i = 0; i < m_cols.size(); ++i)
            values[i] =
                row[i] ? std::optional<QByteArray>(QByteArray(row[i], static_cast<qsizetype>(lens[i]))) : std::nullopt;
    }
    mysql_free_result(r);
}

void TZMySqlQuery::InternalPostInsert(const EditBuffer& buffer) {
    resolveWriteTarget();
    RawRow values(m_cols.size());
    QByteArray names, lits;
    bool any = false;
    for (size_t i = 0; i < m_cols.size(); ++i) {
        if (!buffer.assigned[i] || m_cols[i].orgName.isEmpty()) continue;
        values[i] = bufferRaw(buffer.values[i], m_cols[i]);
        if (any) {
            names += ", ";
            lits += ", ";
        }
        any = true;
        names += utf8(QuoteIdentifier(QString::fromUtf8(m_cols[i].orgName)));
        lits += literal(values[i], m_cols[i]);
    }
    // Columns the caller did not set are left out, so the server applies their defaults.
    const QByteArray sql = "INSERT INTO " + m_writeTable + " (" + names + ") VALUES (" + lits + ")";
    execWrite(sql);
    if (m_autoIncCol >= 0) {
        const auto id = mysql_insert_id(Database->Handle());
        if (id != 0 && !values[static_cast<size_t>(m_autoIncCol)])
            values[static_cast<size_t>(m_autoIncCol)] = QByteArray::number(static_cast<qulonglong>(id));
    }
    try {
        resync(values);
    } catch (const EDatabaseError&) {
        // The row is written; failing to read it back leaves the values as posted.
    }
    const quint32 id = m_nextId++;
    m_overlay[id] = std::move(values);
    m_order.push_back(id);
}

void TZMySqlQuery::InternalPostEdit(int row, const EditBuffer& buffer) {
    const quint32 id = m_order[static_cast<size_t>(row)];
    const RawRow before = rowRaws(id);
    RawRow after = before;
    std::vector<size_t> changed;
    for (size_t i = 0; i < m_cols.size(); ++i) {
        if (!buffer.assigned[i]) continue;
        auto v = bufferRaw(buffer.values[i], m_cols[i]);
        if (v != before[i]) {
            after[i] = std::move(v);
            changed.push_back(i);
        }
    }
    m_lastWriteSql.clear();
    if (changed.empty()) return; // nothing differs from what was read: nothing to send
    resolveWriteTarget();
    QByteArray sql = "UPDATE " + m_writeTable + " SET ";
    for (size_t k = 0; k < changed.size(); ++k) {
        const Column& c = m_cols[changed[k]];
        if (c.orgName.isEmpty())
            throw EDatabaseError(QStringLiteral("The column '%1' is computed and cannot be written.").arg(c.name));
        if (k) sql += ", ";
        sql += utf8(QuoteIdentifier(QString::fromUtf8(c.orgName))) + '=' + literal(after[changed[k]], c);
    }
    sql += keyCondition(before);
    execWrite(sql);
    // "Rows matched" tells whether the key still finds the row; affected rows would also be 0
    // when the row already held the new values.
    qint64 matched = static_cast<qint64>(mysql_affected_rows(Database->Handle()));
    if (const char* info = mysql_info(Database->Handle())) {
        const char* m = std::strstr(info, "Rows matched:");
        if (m) matched = std::atoll(m + 13);
    }
    if (matched <= 0) throw EDatabaseError(QStringLiteral("Error while posting updates"));
    try {
        resync(after);
    } catch (const EDatabaseError&) {}
    m_overlay[id] = std::move(after);
}

void TZMySqlQuery::InternalDelete(int row) {
    resolveWriteTarget();
    const quint32 id = m_order[static_cast<size_t>(row)];
    const RawRow before = rowRaws(id);
    execWrite("DELETE FROM " + m_writeTable + keyCondition(before));
    m_order.erase(m_order.begin() + row);
    m_overlay.erase(id);
}

} // namespace tablor
