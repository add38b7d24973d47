// TextLines.cpp — line breaking shared by the layout and the renderer.
#include "report/TextLines.h"

#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace tablor::report {

namespace {
QFont inDots(QFont font) {
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points / 72.0 * DotsPerInch))));
    // Hinting would fit glyphs to a grid of this size, not to the device's.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}
} // namespace

BandFont::BandFont(const QFont& designFont)
    : font_(inDots(designFont)), metrics_(font_), lineSpacing_(metrics_.lineSpacing()) {}

QString withLineSeparators(const QString& text) {
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) return text;
    QString out = text;
    out.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    out.replace(QLatin1Char('\r'), QChar::LineSeparator);
    out.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return out;
}

bool fitsOneLine(const QString& text, const BandFont& font, double width) {
    return !text.contains(QChar::LineSeparator) && font.metrics().horizontalAdvance(text) <= width;
}

int breakLines(QTextLayout& layout, const BandFont& font, double width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setFont(font.font());
    layout.beginLayout();
    int lines = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(std::max(width, 1.0));
        line.setPosition(QPointF(0, lines * font.lineSpacing()));
        ++lines;
    }
    layout.endLayout();
    return std::max(lines, 1);
}

int lineCount(const QString& text, const BandFont& font, double width, bool stretch) {
    if (!stretch || text.isEmpty() || fitsOneLine(text, font, width)) return 1;
    QTextLayout layout(text);
    return breakLines(layout, font, width);
}

} // namespace tablor::report
