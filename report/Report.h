// Report.h — what a banded report is made of: the page, four bands (page header, column header,
// one detail band per record, page footer) and the texts placed on them. A report is a plain
// description; ReportLayout breaks it into pages and ReportRenderer draws them.
//
// Horizontal positions and widths are screen pixels at 96 per inch, the unit in which the
// program sizes its columns; band heights and page margins are millimetres.
//
// Ownership: the report refers to its data set and does not own it; the data set must stay
// open while the report is laid out or drawn.
#pragma once

#include <QFont>
#include <QString>

#include <stdexcept>
#include <vector>

namespace tablor {
class TDataSet;
}

namespace tablor::report {

inline constexpr double ScreenPixelsPerInch = 96.0;

// Thrown when a report cannot be produced (a data text bound to a missing field, an output
// file that cannot be written). The text says what failed.
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReportText {
    enum class Kind {
        Label,      // shows `caption`
        DataText,   // shows the display text of its field in the current record
        PageNumber, // shows the number of the page it is printed on
    };
    QString name;
    Kind kind = Kind::Label;
    QString caption;
    QString fieldName;        // DataText: the field it is bound to, by name ...
    int fieldIndex = -1;      // ... or, when >= 0, by position (names can repeat)
    double left = 0;          // pixels from the band's left edge
    double top = 0;           // pixels from the band's top
    double width = 0;         // pixels; ignored when autoSize
    bool autoSize = false;    // as wide as its text, on one line
    bool autoStretch = false; // grows downwards (more lines) when the text does not fit the width
};

struct ReportBand {
    QString name;
    double heightMm = 5; // as designed; a stretching text can make a printed band taller
    QFont font;          // the font of every text on the band (family, point size, weight)
    std::vector<ReportText> texts;

    ReportText& add(ReportText text) { return texts.emplace_back(std::move(text)); }
    const ReportText* find(const QString& textName) const;
};

struct ReportPage {
    double widthMm = 210; // A4 portrait
    double heightMm = 297;
    double topMm = 25;
    double bottomMm = 25;
    double leftMm = 10;
    double rightMm = 10;

    double widthPixels() const { return widthMm / 25.4 * ScreenPixelsPerInch; }
    double bandWidthPixels() const { return (widthMm - leftMm - rightMm) / 25.4 * ScreenPixelsPerInch; }
};

struct Report {
    QString title; // the print job's name, also the PDF's title
    ReportPage page;
    ReportBand pageHeader;             // at the top of every page
    ReportBand columnHeader;           // below the page header on every page
    ReportBand detail;                 // once per record, first to last
    ReportBand pageFooter;             // at the bottom of every page
    const TDataSet* dataSet = nullptr; // no data set: no detail bands
};

} // namespace tablor::report
