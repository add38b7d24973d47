// Windows-1252 <-> Unicode; see windows1252.h.
#include "profiles/windows1252.h"

#include <QList>

#include <array>

namespace tablor {
namespace {

// Unicode code points of the bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

// The byte for one code point, or -1 when the code page has none.
int byteFor(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == cp) return static_cast<int>(0x80 + i);
    }
    return -1;
}

} // namespace

QString fromWindows1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.append(QChar(b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : char16_t(b)));
    }
    return out;
}

QByteArray toWindows1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    // Walk by code point so that a character outside the BMP becomes one '?', not two.
    for (const uint cp : text.toUcs4()) {
        const int b = byteFor(cp);
        out.append(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

bool fitsWindows1252(const QString& text) {
    for (const uint cp : text.toUcs4()) {
        if (byteFor(cp) < 0) return false;
    }
    return true;
}

} // namespace tablor
