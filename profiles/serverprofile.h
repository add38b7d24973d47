// One saved server profile and its fixed 2312-byte record in server.dat.
//
// In memory a profile is a plain structure with Unicode strings; it is converted to and from
// the on-disk record when server.dat is read or written. The record (little-endian, no file
// header, records back to back):
//
//   Offset  Size  Field         Meaning
//   0       256   ProfileName   short string: length byte 0..255, then Windows-1252 bytes
//   256     256   ServerName    short string; host name or address of the MySQL server
//   512     4     Port          signed 32-bit integer
//   516     256   DbName        short string; MySQL database name
//   772     256   UserName      short string; MySQL login
//   1028    256   Password      short string, characters scrambled (ScramblePassword)
//   1284    1025  MdbPath       Windows-1252 bytes, zero-padded, no length byte; a path of
//                               exactly 1025 bytes has no terminating zero
//   2309    1     Overwrite     0 or 1: empty target tables before copying into them
//   2310    1     AccessFormat  0 = Office 97 (Jet 4 engine type "4"), otherwise Office 2000
//   2311    1     (padding)     written as zero
//
// Bytes after the end of a short string or of the path are ignored when read and written as
// zeros. A string longer than its field is cut when it is stored (255 bytes, 1025 for the path).
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace tablor {

struct ServerProfile {
    static constexpr int RecordSize = 2312;
    static constexpr int ShortStringMax = 255;
    static constexpr int MdbPathMax = 1025;
    static constexpr std::int32_t DefaultPort = 3306;

    QString ProfileName;
    QString ServerName;
    std::int32_t Port = 0;
    QString DbName;
    QString UserName;
    QString Password; // plain in memory; scrambled only in the file
    QString MdbPath;  // empty: a GUID-named file in ProgramDir is chosen when saving
    bool Overwrite = false;
    std::uint8_t AccessFormat = 0; // 0 Office 97, anything else Office 2000

    // Office 2000 for every non-zero AccessFormat.
    bool isOffice97() const { return AccessFormat == 0; }

    // The value a short-string field holds once stored: converted to Windows-1252 and cut to
    // 255 bytes (so a character the code page lacks reads back as '?').
    static QString asShortString(const QString& text);
    // The same for MdbPath: cut to 1025 bytes, and cut at a zero character.
    static QString asMdbPath(const QString& text);

    // The file record of this profile. The password is scrambled as the file wants it.
    QByteArray toRecord() const;
    // A profile from one file record of exactly RecordSize bytes (password unscrambled).
    static ServerProfile fromRecord(const char* record);

    bool operator==(const ServerProfile&) const = default;
};

// Turns each byte at 1-based position k into byte XOR (k AND 255). Its own inverse: applied
// before a password is written and after it is read. It hides the password from a casual
// look at the file; it is no protection (server.dat is therefore readable by its owner only).
QByteArray ScramblePassword(const QByteArray& password);

// The port a user's text stands for: a decimal integer (optional sign, leading blanks allowed)
// that fits 32 bits, otherwise DefaultPort. Values outside 1..65535 are kept as they are.
std::int32_t portFromText(const QString& text);

} // namespace tablor
