// ReportLayout.h — breaks a report into pages, lazily: a page is laid out when it is asked for,
// and of the pages before it only where each one starts is kept (a few bytes per page), so
// showing page 1 of a large table costs one page of work and the memory does not grow with the
// table.
//
// A page holds the page header, the column header, as many detail bands as fit above the page
// footer, and the page footer at the bottom of the printable area. A detail band is as tall as
// its tallest stretching text (never less than designed). A band that does not fit starts the
// next page; a band taller than a whole page is cut between lines, so no line is split.
//
// Rows are read by number through the data set's random access (no cursor moves, no events).
// Positions are in dots (1/1200 inch) from the page's top left corner.
#pragma once

#include "report/Report.h"
#include "report/TextLines.h"

#include <optional>
#include <unordered_map>
#include <vector>

namespace tablor::report {

struct PlacedBand {
    enum class Kind { PageHeader, ColumnHeader, Detail, PageFooter };
    Kind kind = Kind::Detail;
    int row = -1;      // Detail: the record's row (0-based, display order)
    double top = 0;    // where the band's slice begins on the page
    double height = 0; // the slice's height
    double offset = 0; // how much of the band the pages before showed already (a cut band)
    bool cut = false;  // true when the band goes on on the next page or came from the one before
};

struct PageLayout {
    int number = 1; // 1-based, as printed in the footer
    std::vector<PlacedBand> bands;
};

// What a text shows in a given record; resolves data texts to their field once.
class ReportContent {
public:
    // Throws ReportError when a data text names a field the data set does not have.
    explicit ReportContent(const Report& report);
    const Report& report() const { return report_; }
    int rowCount() const;                                                // 0 without a data set
    QString text(const ReportText& text, int row, int pageNumber) const; // with line separators
    // The text laid out for its box. Kept for the detail bands of the last few hundred rows, so
    // the page being drawn reuses what measuring it shaped.
    TextBlock block(PlacedBand::Kind kind, const ReportText& text, int row, int pageNumber) const;
    const BandFont& font(PlacedBand::Kind kind) const { return fonts_[static_cast<int>(kind)]; }
    const ReportBand& band(PlacedBand::Kind kind) const;
    // The band's height in dots for `row` (-1 outside the detail band).
    double bandHeight(PlacedBand::Kind kind, int row, int pageNumber) const;

private:
    const Report& report_;
    std::vector<int> detailColumns_;                                       // column of each detail text (-1 for labels)
    std::vector<BandFont> fonts_;                                          // by PlacedBand::Kind
    mutable std::unordered_map<int, std::vector<TextBlock>> detailBlocks_; // by row
};

class ReportLayout {
public:
    explicit ReportLayout(const Report& report);

    const ReportContent& content() const { return content_; }
    // Page `index` (0-based); the pages before it are laid out first if they were not yet.
    // Empty past the last page. A report always has at least one page.
    std::optional<PageLayout> page(int index);
    // The number of pages found so far, and whether that is all of them.
    int knownPageCount() const { return static_cast<int>(starts_.size()); }
    bool complete() const { return complete_; }
    // Lays out the rest of the report; returns the number of pages.
    int countPages();

private:
    struct Start {
        int row = 0;
        double offset = 0; // of the row's band, shown on pages before
    };
    PageLayout layOut(const Start& start, int number, Start& next) const;
    // Lays out page `index` (known to start at starts_[index]) and records where the next begins.
    PageLayout layOutKnown(int index);

    ReportContent content_;
    std::vector<Start> starts_; // starts_[i]: where page i begins
    bool complete_ = false;
    std::optional<PageLayout> cached_;
};

} // namespace tablor::report
