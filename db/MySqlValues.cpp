// MySQL text values and the sort's text comparison (see MySqlValues.h).
#include "db/MySqlValues.h"

#include "db/DbError.h"

#include <mysql.h>

#include <QRegularExpression>

#include <charconv>
#include <cstring>

namespace tablor::mysql_values {

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
bool parseTimeSeconds(const char* p, size_t n, double& seconds, int* msOut) {
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

} // namespace tablor::mysql_values
