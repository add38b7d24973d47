// ZMySql.cpp — connection, stored results and sorting of the MySQL layer (write-back: ZMySqlWrite.cpp).
#include "db/ZMySql.h"

#include "db/BusyCursor.h"
#include "db/DbError.h"
#include "db/MySqlValues.h"

#include <mysql.h>

#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tablor {

using namespace mysql_values;

QString QuoteIdentifier(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char('`'), QStringLiteral("``"));
    return QLatin1Char('`') + inner + QLatin1Char('`');
}

QByteArray EscapeUtf8ForQuotes(const QByteArray& raw, bool backslashes) {
    QByteArray out;
    out.reserve(raw.size() + 8);
    for (const char c : raw) {
        if (!backslashes) {
            out += c == '\'' ? QByteArrayView("''") : QByteArrayView(&c, 1);
            continue;
        }
        switch (c) {
        case '\0': out += "\\0"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '"': out += "\\\""; break;
        case '\x1a': out += "\\Z"; break;
        default: out += c;
        }
    }
    return out;
}

QString UnquoteIdentifier(const QString& name) {
    if (name.size() >= 2 && name.startsWith(QLatin1Char('`')) && name.endsWith(QLatin1Char('`'))) {
        QString inner = name.mid(1, name.size() - 2);
        inner.replace(QStringLiteral("``"), QStringLiteral("`"));
        return inner;
    }
    return name;
}

TFieldType MySqlFieldKind(int mysqlType, unsigned flags, unsigned charsetNr) {
    const bool binary = charsetNr == 63;
    const bool isUnsigned = (flags & UNSIGNED_FLAG) != 0;
    switch (mysqlType) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_YEAR: return TFieldType::ftSmallint;
    case MYSQL_TYPE_SHORT: return isUnsigned ? TFieldType::ftWord : TFieldType::ftSmallint;
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG:
        if (flags & AUTO_INCREMENT_FLAG)
            return isUnsigned && mysqlType == MYSQL_TYPE_LONG ? TFieldType::ftLargeint : TFieldType::ftAutoInc;
        return isUnsigned && mysqlType == MYSQL_TYPE_LONG ? TFieldType::ftLargeint : TFieldType::ftInteger;
    case MYSQL_TYPE_LONGLONG: return TFieldType::ftLargeint;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: return TFieldType::ftFloat;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE: return TFieldType::ftDate;
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2: return TFieldType::ftTime;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2: return TFieldType::ftDateTime;
    case MYSQL_TYPE_BIT: return TFieldType::ftVarBytes;
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET: return TFieldType::ftString;
    case MYSQL_TYPE_STRING:
        if (flags & (ENUM_FLAG | SET_FLAG)) return TFieldType::ftString;
        return binary ? TFieldType::ftBytes : TFieldType::ftString;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING: return binary ? TFieldType::ftVarBytes : TFieldType::ftString;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: return binary ? TFieldType::ftBlob : TFieldType::ftMemo;
    case MYSQL_TYPE_JSON: return TFieldType::ftMemo;
    case MYSQL_TYPE_GEOMETRY: return TFieldType::ftBlob;
    case MYSQL_TYPE_NULL: return TFieldType::ftString;
    default: return TFieldType::ftUnknown;
    }
}

// ---------------------------------------------------------------- TZMySqlDatabase

TZMySqlDatabase::~TZMySqlDatabase() {
    if (m_handle) {
        mysql_close(m_handle);
        m_handle = nullptr;
    }
}

void TZMySqlDatabase::Connect() {
    if (m_handle) return;
    int port = 0;
    if (!Port.trimmed().isEmpty()) {
        bool ok = false;
        port = Port.trimmed().toInt(&ok);
        if (!ok || port < 0 || port > 65535)
            throw EDatabaseError(
                QStringLiteral("The port '%1' is not a number from 0 to 65535; correct it in the server profile.")
                    .arg(Port));
    }
    BusyScope busy;
    MYSQL* h = mysql_init(nullptr);
    if (!h)
        throw EDatabaseError(
            QStringLiteral("The MySQL client library could not allocate a connection (out of memory)."));
    mysql_optionsv(h, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    unsigned timeout = ConnectTimeoutSeconds;
    mysql_optionsv(h, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    unsigned localInfile = AllowLocalInfile ? 1 : 0;
    mysql_optionsv(h, MYSQL_OPT_LOCAL_INFILE, &localInfile);
    const QByteArray host = utf8(Host), user = utf8(Login), pw = utf8(Password), db = utf8(Database);
    if (!mysql_real_connect(h, host.isEmpty() ? nullptr : host.constData(), user.constData(), pw.constData(),
                            db.isEmpty() ? nullptr : db.constData(), static_cast<unsigned>(port), nullptr, 0)) {
        const QString msg = mysqlMessage(h);
        const unsigned code = mysql_errno(h);
        mysql_close(h);
        throw EDatabaseError(msg, code);
    }
    mysql_autocommit(h, 1);
    m_handle = h;
    if (AfterConnect) AfterConnect(this);
}

void TZMySqlDatabase::Disconnect() {
    if (!m_handle) return;
    mysql_close(m_handle);
    m_handle = nullptr;
    if (AfterDisconnect) AfterDisconnect(this);
}

qint64 TZMySqlDatabase::ExecuteDirect(const QString& sql) {
    if (!m_handle) throw EDatabaseError(QStringLiteral("Not connected to a MySQL server; connect first."));
    const QByteArray q = utf8(sql);
    if (mysql_real_query(m_handle, q.constData(), static_cast<unsigned long>(q.size()))) throwMysql(m_handle);
    qint64 affected = 0;
    if (mysql_field_count(m_handle) > 0) {
        MYSQL_RES* r = mysql_store_result(m_handle);
        if (!r) throwMysql(m_handle);
        affected = static_cast<qint64>(mysql_num_rows(r));
        mysql_free_result(r);
    } else {
        affected = static_cast<qint64>(mysql_affected_rows(m_handle));
    }
    return affected;
}

QByteArray TZMySqlDatabase::EscapeString(const QByteArray& raw) const {
    // Without a connection the library has no character set to escape for; utf8mb4 (the only
    // one this layer uses) needs the same backslash escapes as the library's.
    if (!m_handle) return EscapeUtf8ForQuotes(raw);
    QByteArray out(raw.size() * 2 + 1, Qt::Uninitialized);
    const unsigned long n =
        mysql_real_escape_string(m_handle, out.data(), raw.constData(), static_cast<unsigned long>(raw.size()));
    out.resize(static_cast<qsizetype>(n));
    return out;
}

QString TZMySqlDatabase::ServerVersion() const {
    return m_handle ? QString::fromUtf8(mysql_get_server_info(m_handle)) : QString();
}

// ---------------------------------------------------------------- TZMySqlQuery

void TZMySqlQuery::ResultDeleter::operator()(st_mysql_res* r) const { mysql_free_result(r); }

TZMySqlQuery::TZMySqlQuery() = default;

TZMySqlQuery::~TZMySqlQuery() {
    // Close without events: handlers and observers may belong to objects already gone.
    detachForDestruction();
    Close();
}

QString TZMySqlQuery::statementText() const { return SQL.join(QLatin1Char('\n')).trimmed(); }

st_mysql* TZMySqlQuery::liveHandle() const {
    if (!Database || !Database->Connected())
        throw EDatabaseError(QStringLiteral("The query is not attached to an open MySQL connection; connect first."));
    return Database->Handle();
}

void TZMySqlQuery::InternalOpen() {
    MYSQL* h = liveHandle();
    const QString sql = statementText();
    if (sql.isEmpty()) throw EDatabaseError(QStringLiteral("The query has no statement to open."));
    BusyScope busy((Options & doHourGlass) || (Transaction && (Transaction->Options & toHourGlass)));
    const QByteArray q = utf8(sql);
    if (mysql_real_query(h, q.constData(), static_cast<unsigned long>(q.size()))) throwMysql(h);
    m_overlay.clear();
    m_base.clear();
    m_order.clear();
    m_cols.clear();
    m_writeResolved = false;
    if (mysql_field_count(h) == 0) {
        // A statement without rows: it ran; the data set is open with neither fields nor rows.
        m_rowsAffected = static_cast<qint64>(mysql_affected_rows(h));
        m_nextId = 0;
        return;
    }
    MYSQL_RES* res = mysql_store_result(h);
    if (!res) throwMysql(h);
    m_res.reset(res);

    const unsigned nf = mysql_num_fields(res);
    MYSQL_FIELD* fields = mysql_fetch_fields(res);
    m_cols.resize(nf);
    for (unsigned i = 0; i < nf; ++i) {
        Column& c = m_cols[i];
        c.name = QString::fromUtf8(fields[i].name, static_cast<qsizetype>(fields[i].name_length));
        c.orgName = QByteArray(fields[i].org_name, static_cast<qsizetype>(fields[i].org_name_length));
        c.orgTable = QByteArray(fields[i].org_table, static_cast<qsizetype>(fields[i].org_table_length));
        c.table = QByteArray(fields[i].table, static_cast<qsizetype>(fields[i].table_length));
        c.db = QByteArray(fields[i].db, static_cast<qsizetype>(fields[i].db_length));
        c.type = fields[i].type;
        c.flags = fields[i].flags;
        c.charsetNr = fields[i].charsetnr;
        c.kind = MySqlFieldKind(c.type, c.flags, c.charsetNr);
    }

    const auto total = mysql_num_rows(res);
    const int max = total > static_cast<my_ulonglong>(INT_MAX) ? INT_MAX : static_cast<int>(total);
    m_base.reserve(static_cast<size_t>(total));
    const bool progress = static_cast<bool>(OnProgress);
    for (my_ulonglong i = 0; i < total; ++i) {
        if (progress && !reportProgress(TZProgressStage::psRunning, static_cast<int>(i + 1), max)) break;
        MYSQL_ROW row = mysql_fetch_row(res);
        if (!row) break;
        if (i == 0) {
            // The row lengths are read from the stored row's layout (each value is followed by
            // its terminator and the next value; one extra pointer marks the end). Check that
            // layout against the library once per result.
            const unsigned long* lens = mysql_fetch_lengths(res);
            for (unsigned c = 0; c < nf; ++c) {
                if (!row[c]) continue;
                unsigned j = c + 1;
                while (!row[j]) ++j;
                if (static_cast<unsigned long>(row[j] - row[c] - 1) != lens[c])
                    throw EDatabaseError(QStringLiteral(
                        "The MySQL client library stores rows in an unexpected layout; this build of the program does not support it."));
            }
        }
        m_base.push_back(row);
    }
    m_nextId = static_cast<quint32>(m_base.size());
    m_order.resize(m_base.size());
    for (quint32 i = 0; i < m_order.size(); ++i) m_order[i] = i;
    m_rowsAffected = static_cast<qint64>(m_base.size());

    for (unsigned i = 0; i < nf; ++i) {
        const Column& c = m_cols[i];
        const unsigned mbMax = c.charsetNr == 45 || c.charsetNr == 46 || c.charsetNr >= 224 ? 4u
                               : c.charsetNr == 33 || c.charsetNr == 83 || (c.charsetNr >= 192 && c.charsetNr < 224)
                                   ? 3u
                                   : 1u;
        const int size =
            IsTextKind(c.kind) ? static_cast<int>(fields[i].length / mbMax) : static_cast<int>(fields[i].length);
        addField(c.name, c.kind, size, (c.flags & NOT_NULL_FLAG) && !(c.flags & AUTO_INCREMENT_FLAG));
    }
}

void TZMySqlQuery::InternalClose() {
    m_overlay.clear();
    m_base.clear();
    m_base.shrink_to_fit();
    m_order.clear();
    m_order.shrink_to_fit();
    m_res.reset();
    m_cols.clear();
    m_writeResolved = false;
    m_nextId = 0;
}

void TZMySqlQuery::ExecSQL() {
    Close();
    MYSQL* h = liveHandle();
    (void)h;
    const QString sql = statementText();
    if (sql.isEmpty()) throw EDatabaseError(QStringLiteral("The query has no statement to execute."));
    BusyScope busy((Options & doHourGlass) || (Transaction && (Transaction->Options & toHourGlass)));
    m_rowsAffected = 0;
    m_rowsAffected = Database->ExecuteDirect(sql);
}

TZMySqlQuery::Raw TZMySqlQuery::rawById(quint32 id, int col) const {
    if (!m_overlay.empty()) {
        auto it = m_overlay.find(id);
        if (it != m_overlay.end()) {
            const auto& v = it->second[static_cast<size_t>(col)];
            if (!v) return {};
            return {v->constData(), static_cast<size_t>(v->size())};
        }
    }
    char** r = m_base[id];
    const char* p = r[col];
    if (!p) return {};
    unsigned j = static_cast<unsigned>(col) + 1;
    while (!r[j]) ++j;
    return {p, static_cast<size_t>(r[j] - p - 1)};
}

TZMySqlQuery::Raw TZMySqlQuery::raw(int row, int col) const { return rawById(m_order[static_cast<size_t>(row)], col); }

TZMySqlQuery::RawRow TZMySqlQuery::rowRaws(quint32 id) const {
    RawRow out(m_cols.size());
    for (size_t c = 0; c < m_cols.size(); ++c) {
        const Raw r = rawById(id, static_cast<int>(c));
        if (r.p) out[c] = QByteArray(r.p, static_cast<qsizetype>(r.n));
    }
    return out;
}

bool TZMySqlQuery::storedIsNull(int row, int col) const { return raw(row, col).p == nullptr; }

QVariant TZMySqlQuery::storedValue(int row, int col) const {
    const Raw r = raw(row, col);
    if (!r.p) return {};
    const Column& c = m_cols[static_cast<size_t>(col)];
    const TFieldType k = c.kind;
    if (IsIntegerKind(k)) {
        qint64 v;
        if (parseInt64(r.p, r.n, v)) return QVariant(qlonglong(v));
        quint64 u;
        if (parseUInt64(r.p, r.n, u)) return QVariant(qulonglong(u));
        return QVariant(QString::fromLatin1(r.p, static_cast<qsizetype>(r.n)));
    }
    if (IsFloatKind(k)) {
        double d;
        if (parseDouble(r.p, r.n, d)) return QVariant(d);
        return QVariant(QString::fromLatin1(r.p, static_cast<qsizetype>(r.n)));
    }
    if (IsDateTimeKind(k)) return QVariant(parseMysqlDateTime(r.p, r.n, c.type));
    if (IsBinaryKind(k)) return QVariant(QByteArray(r.p, static_cast<qsizetype>(r.n)));
    return QVariant(QString::fromUtf8(r.p, static_cast<qsizetype>(r.n)));
}

QString TZMySqlQuery::storedText(int row, int col) const {
    const Raw r = raw(row, col);
    if (!r.p) return {};
    const TFieldType k = m_cols[static_cast<size_t>(col)].kind;
    if (IsBinaryKind(k)) return QString::fromLatin1(r.p, static_cast<qsizetype>(r.n));
    return QString::fromUtf8(r.p, static_cast<qsizetype>(r.n));
}

bool TZMySqlQuery::storedUtf8(int row, int col, const char*& data, qsizetype& size) const {
    // Text, numbers and dates arrive as the server's UTF-8 text, which is what storedText
    // shows; binary values are shown as Latin-1 and have no such bytes.
    if (IsBinaryKind(m_cols[static_cast<size_t>(col)].kind)) return false;
    const Raw r = raw(row, col);
    data = r.p;
    size = static_cast<qsizetype>(r.n);
    return true;
}

QByteArray TZMySqlQuery::storedBytes(int row, int col) const {
    const Raw r = raw(row, col);
    return r.p ? QByteArray(r.p, static_cast<qsizetype>(r.n)) : QByteArray();
}

// ---------------------------------------------------------------- sorting

int TZMySqlQuery::InternalSort(int col, int currentRow) {
    const quint32 currentId = currentRow >= 0 && currentRow < static_cast<int>(m_order.size())
                                  ? m_order[static_cast<size_t>(currentRow)]
                                  : quint32(-1);
    if (col < 0) {
        std::sort(m_order.begin(), m_order.end());
    } else {
        const Column& c = m_cols[static_cast<size_t>(col)];
        const size_t n = m_order.size();
        if (IsIntegerKind(c.kind) || IsFloatKind(c.kind) || c.type == MYSQL_TYPE_TIME) {
            // Numbers (and times, which may exceed a day or be negative) compare by value.
            struct Key {
                double v;
                quint32 id;
                bool notNull;
            };
            std::vector<Key> keys(n);
            for (size_t i = 0; i < n; ++i) {
                const quint32 id = m_order[i];
                const Raw r = rawById(id, col);
                double v = 0;
                if (r.p) {
                    if (c.type == MYSQL_TYPE_TIME) parseTimeSeconds(r.p, r.n, v);
                    else parseDouble(r.p, r.n, v);
                }
                keys[i] = {v, id, r.p != nullptr};
            }
            std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
                if (a.notNull != b.notNull) return !a.notNull;
                if (a.v != b.v) return a.v < b.v;
                return a.id < b.id;
            });
            for (size_t i = 0; i < n; ++i) m_order[i] = keys[i].id;
        } else {
            // Text folds case like the server's general collations; dates in the server's
            // fixed-width text and binary values compare byte by byte. Ties keep result order.
            // Each key carries the first 16 bytes of its comparison form (folded text as
            // UTF-8, which orders like the code points), so most comparisons never touch
            // the row data.
            const bool folded = IsTextKind(c.kind);
            struct Key {
                quint64 hi, lo;
                const char* p;
                quint32 n;
                quint32 id;
            };
            std::vector<Key> keys(n);
            for (size_t i = 0; i < n; ++i) {
                const quint32 id = m_order[i];
                const Raw r = rawById(id, col);
                unsigned char pre[16] = {};
                if (r.p) {
                    if (folded) foldedPrefix(r.p, r.n, pre);
                    else std::memcpy(pre, r.p, std::min<size_t>(r.n, 16));
                }
                quint64 hi = 0, lo = 0;
                for (int b = 0; b < 8; ++b) {
                    hi = (hi << 8) | pre[b];
                    lo = (lo << 8) | pre[8 + b];
                }
                keys[i] = {hi, lo, r.p, static_cast<quint32>(r.n), id};
            }
            auto cmp = [folded](const Key& a, const Key& b) {
                if (!a.p || !b.p) {
                    if (a.p != b.p) return !a.p;
                    return a.id < b.id;
                }
                if (a.hi != b.hi) return a.hi < b.hi;
                if (a.lo != b.lo) return a.lo < b.lo;
                int r;
                if (folded) {
                    r = compareText(a.p, a.n, b.p, b.n);
                } else {
                    r = std::memcmp(a.p, b.p, std::min(a.n, b.n));
                    if (r == 0 && a.n != b.n) r = a.n < b.n ? -1 : 1;
                }
                if (r != 0) return r < 0;
                return a.id < b.id;
            };
            std::sort(keys.begin(), keys.end(), cmp);
            for (size_t i = 0; i < n; ++i) m_order[i] = keys[i].id;
        }
    }
    if (currentId == quint32(-1)) return m_order.empty() ? -1 : 0;
    const auto it = std::find(m_order.begin(), m_order.end(), currentId);
    return static_cast<int>(it - m_order.begin());
}

// ---------------------------------------------------------------- TZMySqlTable

TZMySqlTable::TZMySqlTable() { RequestLive = true; }

void TZMySqlTable::setTableName(const QString& name) {
    if (name == m_tableName) return;
    Close();
    m_tableName = name;
}

QString TZMySqlTable::statementText() const {
    if (m_tableName.trimmed().isEmpty()) return {};
    return QStringLiteral("SELECT * FROM ") + QuoteIdentifier(UnquoteIdentifier(m_tableName));
}

} // namespace tablor
