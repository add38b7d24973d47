// TextLines.cpp — line breaking shared by the layout and the renderer.
#include "report/TextLines.h"

#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <memory>

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

TextBlock layOutText(const QString& text, const BandFont& font, double width, bool wrap) {
    TextBlock block;
    if (text.isEmpty()) return block;
    QString shown = text;
    if (!wrap) shown.replace(QChar::LineSeparator, QLatin1Char(' '));
    block.layout = std::make_shared<QTextLayout>(shown, font.font());
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    block.layout->setTextOption(option);
    block.layout->beginLayout();
    int lines = 0;
    for (;;) {
        QTextLine line = block.layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(wrap ? std::max(width, 1.0) : 1e6); // one line when not wrapping
        line.setPosition(QPointF(0, lines * font.lineSpacing()));
        block.naturalWidth = std::max(block.naturalWidth, line.naturalTextWidth());
        ++lines;
    }
    block.layout->endLayout();
    block.lines = std::max(lines, 1);
    return block;
}

} // namespace tablor::report
