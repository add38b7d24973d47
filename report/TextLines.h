// TextLines.h — how a text of a band is broken into lines. Measuring (the layout) and drawing
// (the renderer) both go through these functions, so a band is drawn exactly as tall as it was
// measured.
//
// Everything is in dots of 1/1200 inch: fonts get their size in those dots, so metrics do not
// depend on the device that is drawn on; a device of another resolution scales the painter.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QString>

#include <memory>

class QTextLayout;

namespace tablor::report {

inline constexpr double DotsPerInch = 1200.0;
inline constexpr double DotsPerPixel = DotsPerInch / 96.0; // screen pixels at 96 per inch
inline constexpr double DotsPerMm = DotsPerInch / 25.4;

// A band's font at its size in dots, with the metrics the layout needs.
class BandFont {
public:
    explicit BandFont(const QFont& designFont); // point size as designed
    const QFont& font() const { return font_; }
    const QFontMetricsF& metrics() const { return metrics_; }
    double lineSpacing() const { return lineSpacing_; }
    double ascent() const { return metrics_.ascent(); }

private:
    QFont font_;
    QFontMetricsF metrics_;
    double lineSpacing_;
};

// Line breaks of the stored text (CR LF, CR, LF) as the layout's line separators.
QString withLineSeparators(const QString& text);

// A text laid out for its box, shaped once: measured by the layout, drawn by the renderer.
struct TextBlock {
    std::shared_ptr<QTextLayout> layout; // null for an empty text
    int lines = 1;
    double naturalWidth = 0; // of the widest line, in dots
};

// Lays out `text` (already with line separators) in `font` for a box `width` dots wide: broken
// into lines at word boundaries (inside a word when it is longer than a line) when `wrap`, else
// on one line. Line i is at i × the line spacing.
TextBlock layOutText(const QString& text, const BandFont& font, double width, bool wrap);

} // namespace tablor::report
