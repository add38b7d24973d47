// Conversion between Unicode text and the Windows-1252 ("ANSI") bytes that server.dat stores.
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// control characters of the same number, as Windows itself does, so every byte survives a
// round trip. Characters that Windows-1252 cannot hold become '?'.
#pragma once

#include <QByteArray>
#include <QString>

namespace tablor {

QString fromWindows1252(const QByteArray& bytes);
QByteArray toWindows1252(const QString& text);

// True when every character of `text` has a Windows-1252 byte (nothing would become '?').
bool fitsWindows1252(const QString& text);

} // namespace tablor
