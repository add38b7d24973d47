// Reading MySQL's text values: numbers, dates and times as the server sends them in a stored
// result, and the case-folding text comparison the in-memory sort uses. Internal to the MySQL
// layer (db/ZMySql*.cpp).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <cstddef>

struct st_mysql;

namespace tablor::mysql_values {

QString mysqlMessage(st_mysql* h);
// Throws EDatabaseError with the connection's last error text and number.
[[noreturn]] void throwMysql(st_mysql* h);
QByteArray utf8(const QString& s);

bool parseInt64(const char* p, size_t n, qint64& out);
bool parseUInt64(const char* p, size_t n, quint64& out);
bool parseDouble(const char* p, size_t n, double& out);
// Seconds of a TIME value "[-]H+:MM:SS[.f]"; false when it is no time.
bool parseTimeSeconds(const char* p, size_t n, double& seconds, int* msOut = nullptr);
QDateTime parseMysqlDateTime(const char* p, size_t n, int type);
bool isNumericLiteral(const QByteArray& raw);

// UTF-8 text compared with case folded, as the server's default collation orders it.
int compareText(const char* a, size_t an, const char* b, size_t bn);
// The first 16 bytes of the folded text: a sort prefix for compareText.
void foldedPrefix(const char* text, size_t n, unsigned char out[16]);

} // namespace tablor::mysql_values
