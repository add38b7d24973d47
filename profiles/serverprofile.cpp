// ServerProfile <-> server.dat record; see serverprofile.h for the layout.
#include "profiles/serverprofile.h"

#include "profiles/windows1252.h"

#include <cstring>
#include <limits>

namespace tablor {
namespace {

constexpr int kProfileNameAt = 0;
constexpr int kServerNameAt = 256;
constexpr int kPortAt = 512;
constexpr int kDbNameAt = 516;
constexpr int kUserNameAt = 772;
constexpr int kPasswordAt = 1028;
constexpr int kMdbPathAt = 1284;
constexpr int kOverwriteAt = 2309;
constexpr int kAccessFormatAt = 2310;
static_assert(kMdbPathAt + ServerProfile::MdbPathMax == kOverwriteAt);
static_assert(kAccessFormatAt + 2 == ServerProfile::RecordSize);

QByteArray shortStringBytes(const QString& text) { return toWindows1252(text).left(ServerProfile::ShortStringMax); }

void putShortString(char* record, int at, const QByteArray& bytes) {
    const auto n = static_cast<std::size_t>(bytes.size()); // at most 255, checked by callers
    record[at] = static_cast<char>(static_cast<unsigned char>(n));
    std::memcpy(record + at + 1, bytes.constData(), n);
}

QByteArray getShortString(const char* record, int at) {
    const int n = static_cast<unsigned char>(record[at]);
    return QByteArray(record + at + 1, n);
}

QByteArray mdbPathBytes(const QString& text) {
    QByteArray bytes = toWindows1252(text);
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0) bytes.truncate(zero);
    return bytes.left(ServerProfile::MdbPathMax);
}

} // namespace

QString ServerProfile::asShortString(const QString& text) { return fromWindows1252(shortStringBytes(text)); }

QString ServerProfile::asMdbPath(const QString& text) { return fromWindows1252(mdbPathBytes(text)); }

QByteArray ServerProfile::toRecord() const {
    QByteArray record(RecordSize, '\0');
    char* r = record.data();
    putShortString(r, kProfileNameAt, shortStringBytes(ProfileName));
    putShortString(r, kServerNameAt, shortStringBytes(ServerName));
    const auto port = static_cast<std::uint32_t>(Port);
    for (int i = 0; i < 4; ++i) r[kPortAt + i] = static_cast<char>((port >> (8 * i)) & 0xFF);
    putShortString(r, kDbNameAt, shortStringBytes(DbName));
    putShortString(r, kUserNameAt, shortStringBytes(UserName));
    putShortString(r, kPasswordAt, ScramblePassword(shortStringBytes(Password)));
    const QByteArray path = mdbPathBytes(MdbPath);
    std::memcpy(r + kMdbPathAt, path.constData(), static_cast<std::size_t>(path.size()));
    r[kOverwriteAt] = Overwrite ? 1 : 0;
    r[kAccessFormatAt] = static_cast<char>(AccessFormat);
    return record;
}

ServerProfile ServerProfile::fromRecord(const char* r) {
    ServerProfile p;
    p.ProfileName = fromWindows1252(getShortString(r, kProfileNameAt));
    p.ServerName = fromWindows1252(getShortString(r, kServerNameAt));
    std::uint32_t port = 0;
    for (int i = 0; i < 4; ++i) port |= std::uint32_t(static_cast<unsigned char>(r[kPortAt + i])) << (8 * i);
    p.Port = static_cast<std::int32_t>(port);
    p.DbName = fromWindows1252(getShortString(r, kDbNameAt));
    p.UserName = fromWindows1252(getShortString(r, kUserNameAt));
    p.Password = fromWindows1252(ScramblePassword(getShortString(r, kPasswordAt)));
    const char* path = r + kMdbPathAt;
    const void* zero = std::memchr(path, 0, MdbPathMax);
    const auto pathLen = zero ? static_cast<const char*>(zero) - path : MdbPathMax;
    p.MdbPath = fromWindows1252(QByteArray(path, pathLen));
    // Any non-zero byte is a set Boolean, as the program that wrote the file would read it.
    p.Overwrite = r[kOverwriteAt] != 0;
    p.AccessFormat = static_cast<std::uint8_t>(r[kAccessFormatAt]);
    return p;
}

QByteArray ScramblePassword(const QByteArray& password) {
    QByteArray out = password;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto k = static_cast<unsigned>(i + 1);
        out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ (k & 0xFFu));
    }
    return out;
}

std::int32_t portFromText(const QString& text) {
    // Leading blanks and a sign are accepted, anything else after the digits is not.
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) ++i;
    const QString rest = text.mid(i);
    bool sign = !rest.isEmpty() && (rest.at(0) == u'+' || rest.at(0) == u'-');
    if (rest.size() == (sign ? 1 : 0)) return ServerProfile::DefaultPort;
    for (qsizetype j = sign ? 1 : 0; j < rest.size(); ++j) {
        if (rest.at(j) < u'0' || rest.at(j) > u'9') return ServerProfile::DefaultPort;
    }
    bool ok = false;
    const qlonglong value = rest.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return ServerProfile::DefaultPort;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace tablor
