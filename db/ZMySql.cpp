// ZMySql.cpp — connection, stored results, write-back and sorting of the MySQL layer.
#include "db/ZMySql.h"

#include "db/BusyCursor.h"
#include "db/DbError.h"

#include <mysql.h>

#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tablor {

namespace {

QString mysqlMessage(MYSQL* h) { return QString::fromUtf8(mysql_error(h)); }

[[noreturn]] void throwMysql(MYSQL* h) { throw EDatabaseError(mysqlMessage(h), mysql_errno(h)); }

QByteArray utf8(const QString& s) { return s.toUtf8(); }

bool parseInt64(const char* p, size_t n, qint64& out) {
    const char* e = p + n;
    if (n > 0 && *p == '+') ++p;
    auto r = std::from_chars(p, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

bool parseUInt64(const char* p, size_t n, quint64& out) {
    auto r = std::from_chars(p, p + n, out);
    return r.ec == std::errc() && r.ptr == p + n;
}

bool parseDouble(const char* p, size_t n, double& out) {
    const char* e = p + n;
    if (n > 0 && *p == '+') ++p;
    auto r = std::from_chars(p, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

int digits(const char* p, int count) {
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// Seconds of a TIME value "[-]H+:MM:SS[.f]"; false when it is no time.
bool parseTimeSeconds(const char* p, size_t n, double& seconds, int* msOut = nullptr) {
    size_t i = 0;
    bool neg = false;
    if (i < n && p[i] == '-') {
        neg = true;
        ++i;
    }
    long h = 0;
    size_t start = i;
    while (i < n && p[i] >= '0' && p[i] <= '9') h = h * 10 + (p[i++] - '0');
    if (i == start || i + 6 > n || p[i] != ':' || p[i + 3] != ':') return false;
    const int m = digits(p + i + 1, 2), s = digits(p + i + 4, 2);
    if (m < 0 || s < 0) return false;
    i += 6;
    int ms = 0;
    if (i < n && p[i] == '.') {
        int scale = 100;
        for (++i; i < n && p[i] >= '0' && p[i] <= '9'; ++i, scale /= 10) ms += (p[i] - '0') * scale;
    }
    seconds = (neg ? -1.0 : 1.0) * (h * 3600.0 + m * 60.0 + s + ms / 1000.0);
    if (msOut) *msOut = ms;
    return true;
}

// Server text of DATE, DATETIME, TIMESTAMP or TIME as a date-time (UTC, wall clock kept).
QDateTime parseMysqlDateTime(const char* p, size_t n, int type) {
    if (type == MYSQL_TYPE_TIME) {
        double secs = 0;
        int ms = 0;
        if (!parseTimeSeconds(p, n, secs, &ms) || secs < 0 || secs >= 86400) return {};
        const int whole = static_cast<int>(secs);
        return QDateTime(QDate(1899, 12, 30), QTime(whole / 3600, whole / 60 % 60, whole % 60, ms), Qt::UTC);
    }
    if (n < 10 || p[4] != '-' || p[7] != '-') return {};
    const QDate d(digits(p, 4), digits(p + 5, 2), digits(p + 8, 2));
    if (!d.isValid()) return {}; // the zero date and partial dates have no date-time
    QTime t(0, 0);
    if (n >= 19 && p[10] == ' ') {
        int ms = 0;
        if (n > 20 && p[19] == '.') {
            int scale = 100;
            for (size_t i = 20; i < n && p[i] >= '0' && p[i] <= '9'; ++i, scale /= 10) ms += (p[i] - '0') * scale;
        }
        t = QTime(digits(p + 11, 2), digits(p + 14, 2), digits(p + 17, 2), ms);
        if (!t.isValid()) return {};
    }
    return QDateTime(d, t, Qt::UTC);
}

bool isNumericLiteral(const QByteArray& raw) {
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return !raw.isEmpty() && re.match(QString::fromLatin1(raw)).hasMatch();
}

// One code point of UTF-8 at p (advancing it); invalid bytes come back as themselves.
char32_t nextCodePoint(const unsigned char*& p, const unsigned char* e) {
    const unsigned char c = *p++;
    if (c < 0x80) return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || e - p < extra) return 0xDC00 + c;
    char32_t cp = c & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0xDC00 + c;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    p += extra;
    return cp;
}

char32_t foldCase(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    return QChar::toCaseFolded(static_cast<char32_t>(cp));
}

// Case-insensitive order of UTF-8 text, like the server's general collations.
int compareText(const char* a, size_t an, const char* b, size_t bn) {
    auto pa = reinterpret_cast<const unsigned char*>(a), ea = pa + an;
    auto pb = reinterpret_cast<const unsigned char*>(b), eb = pb + bn;
    while (pa < ea && pb < eb) {
        if (*pa < 0x80 && *pb < 0x80) {
            unsigned char ca = *pa++, cb = *pb++;
            if (ca >= 'A' && ca <= 'Z') ca += 32;
            if (cb >= 'A' && cb <= 'Z') cb += 32;
            if (ca != cb) return ca < cb ? -1 : 1;
            continue;
        }
        const char32_t ca = foldCase(nextCodePoint(pa, ea));
        const char32_t cb = foldCase(nextCodePoint(pb, eb));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (pa < ea) return 1;
    if (pb < eb) return -1;
    return 0;
}

// The first 16 bytes of the folded text in UTF-8 (zero-padded): byte order of this prefix
// agrees with compareText, so equal prefixes are the only ones that need the full compare.
void foldedPrefix(const char* text, size_t n, unsigned char out[16]) {
    auto p = reinterpret_cast<const unsigned char*>(text), e = p + n;
    int k = 0;
    while (p < e && k < 16) {
        char32_t cp;
        if (*p < 0x80) {
            cp = *p++;
            if (cp >= 'A' && cp <= 'Z') cp += 32;
        } else {
            cp = foldCase(nextCodePoint(p, e));
        }
        unsigned char enc[4];
        int len;
        if (cp < 0x80) {
            enc[0] = static_cast<unsigned char>(cp);
            len = 1;
        } else if (cp < 0x800) {
            enc[0] = 0xC0 | (cp >> 6);
            enc[1] = 0x80 | (cp & 0x3F);
            len = 2;
        } else if (cp < 0x10000) {
            enc[0] = 0xE0 | (cp >> 12);
            enc[1] = 0x80 | ((cp >> 6) & 0x3F);
            enc[2] = 0x80 | (cp & 0x3F);
            len = 3;
        } else {
            enc[0] = 0xF0 | (cp >> 18);
            enc[1] = 0x80 | ((cp >> 12) & 0x3F);
            enc[2] = 0x80 | ((cp >> 6) & 0x3F);
            enc[3] = 0x80 | (cp & 0x3F);
            len = 4;
        }
        for (int i = 0; i < len && k < 16; ++i) out[k++] = enc[i];
    }
}

} // namespace

QString QuoteIdentifier(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char('`'), QStringLiteral("``"));
    return QLatin1Char('`') + inner + QLatin1Char('`');
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
    if (!m_handle) {
        // Without a connection the library has no character set to escape for; utf8mb4
        // (the only one this layer uses) needs the same backslash escapes as the library's.
        QByteArray out;
        out.reserve(raw.size() + 8);
        for (char c : raw) {
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

// ---------------------------------------------------------------- write-back

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

// ---------------------------------------------------------------- main window components

TMainMySqlComponents::TMainMySqlComponents() {
    mySQLDB.Host = QStringLiteral("localhost");
    mySQLDB.Port = QStringLiteral("3306");
    mySQLDB.Database = QStringLiteral("testdata");
    mySQLDB.Login = QStringLiteral("root");
    mySQLDB.LoginPrompt = false;
    mySQLTrans.Database = &mySQLDB;
    mySQLTrans.AutoCommit = true;
    mySQLTrans.TransactSafe = false;
    mySQLTrans.Options = toHourGlass;
    for (TZMySqlQuery* q : {&myQryMain, &myQryFree}) {
        q->Database = &mySQLDB;
        q->Transaction = &mySQLTrans;
        q->UpdateObject = &mySQLUpd;
        q->ExtraOptions = moStoreResult;
        q->Options = doHourGlass | doAutoFillDefs | doUseRowId;
        q->LinkOptions = loAlwaysResync;
        q->ShowRecordTypes = ztModified | ztInserted | ztUnmodified;
        q->CachedUpdates = false;
        q->ParamCheck = false;
    }
    myQryMain.RequestLive = true;
    myQryFree.RequestLive = false;
    ZMySqlTable1.Database = &mySQLDB;
    ZMySqlTable1.Transaction = &mySQLTrans;
    ZMySqlTable1.UpdateObject = &mySQLUpd;
}

} // namespace tablor
