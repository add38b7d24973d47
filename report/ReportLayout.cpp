// ReportLayout.cpp — pagination of a banded report.
#include "report/ReportLayout.h"

#include "db/DataSet.h"

#include <algorithm>
#include <cmath>

namespace tablor::report {

namespace {
constexpr PlacedBand::Kind kKinds[] = {PlacedBand::Kind::PageHeader, PlacedBand::Kind::ColumnHeader,
                                       PlacedBand::Kind::Detail, PlacedBand::Kind::PageFooter};
// Heights compared in dots; a thousandth of a dot is rounding, not overflow.
constexpr double kSlack = 1e-3;
} // namespace

const ReportText* ReportBand::find(const QString& textName) const {
    for (const ReportText& t : texts)
        if (t.name == textName) return &t;
    return nullptr;
}

ReportContent::ReportContent(const Report& report) : report_(report) {
    for (PlacedBand::Kind kind : kKinds) fonts_.emplace_back(band(kind).font);
    for (const ReportText& t : report.detail.texts) {
        int column = -1;
        if (t.kind == ReportText::Kind::DataText) {
            if (!report.dataSet)
                throw ReportError("The report text " + t.name.toStdString() + " needs a data set, but none is bound.");
            if (t.fieldIndex >= 0 && t.fieldIndex < report.dataSet->FieldCount()) column = t.fieldIndex;
            else if (const TField* f = report.dataSet->FindField(t.fieldName)) column = f->Index();
            else
                throw ReportError("The report text " + t.name.toStdString() + " is bound to the field \"" +
                                  t.fieldName.toStdString() + "\", which the data set does not have.");
        }
        detailColumns_.push_back(column);
    }
}

const ReportBand& ReportContent::band(PlacedBand::Kind kind) const {
    switch (kind) {
    case PlacedBand::Kind::PageHeader: return report_.pageHeader;
    case PlacedBand::Kind::ColumnHeader: return report_.columnHeader;
    case PlacedBand::Kind::Detail: return report_.detail;
    case PlacedBand::Kind::PageFooter: break;
    }
    return report_.pageFooter;
}

int ReportContent::rowCount() const {
    return report_.dataSet && report_.dataSet->Active() ? report_.dataSet->VisibleRowCount() : 0;
}

QString ReportContent::text(const ReportText& t, int row, int pageNumber) const {
    switch (t.kind) {
    case ReportText::Kind::Label: return withLineSeparators(t.caption);
    case ReportText::Kind::PageNumber: return QString::number(pageNumber);
    case ReportText::Kind::DataText: break;
    }
    const auto i = static_cast<size_t>(&t - report_.detail.texts.data());
    if (row < 0 || i >= detailColumns_.size()) return {}; // a data text outside the detail band
    return withLineSeparators(report_.dataSet->CellText(row, detailColumns_[i]));
}

TextBlock ReportContent::block(PlacedBand::Kind kind, const ReportText& t, int row, int pageNumber) const {
    const auto layOut = [&](const ReportText& each) {
        return layOutText(text(each, row, pageNumber), font(kind), each.width * DotsPerPixel,
                          each.autoStretch && !each.autoSize);
    };
    if (kind != PlacedBand::Kind::Detail || row < 0) return layOut(t);
    const std::vector<ReportText>& detail = report_.detail.texts;
    auto found = detailBlocks_.find(row);
    if (found == detailBlocks_.end()) {
        if (detailBlocks_.size() >= 256) detailBlocks_.clear(); // a few pages
        std::vector<TextBlock> blocks;
        blocks.reserve(detail.size());
        for (const ReportText& each : detail) blocks.push_back(layOut(each));
        found = detailBlocks_.emplace(row, std::move(blocks)).first;
    }
    return found->second[static_cast<size_t>(&t - detail.data())];
}

double ReportContent::bandHeight(PlacedBand::Kind kind, int row, int pageNumber) const {
    const ReportBand& b = band(kind);
    double height = b.heightMm * DotsPerMm;
    for (const ReportText& t : b.texts)
        height =
            std::max(height, t.top * DotsPerPixel + block(kind, t, row, pageNumber).lines * font(kind).lineSpacing());
    return height;
}

ReportLayout::ReportLayout(const Report& report) : content_(report) { starts_.push_back({}); }

PageLayout ReportLayout::layOut(const Start& start, int number, Start& next) const {
    const ReportPage& pg = content_.report().page;
    PageLayout page;
    page.number = number;
    double y = pg.topMm * DotsPerMm;
    for (PlacedBand::Kind kind : {PlacedBand::Kind::PageHeader, PlacedBand::Kind::ColumnHeader}) {
        const double h = content_.bandHeight(kind, -1, number);
        page.bands.push_back({kind, -1, y, h, 0, false});
        y += h;
    }
    const double footerHeight = content_.bandHeight(PlacedBand::Kind::PageFooter, -1, number);
    const double footerTop = std::max(y, (pg.heightMm - pg.bottomMm) * DotsPerMm - footerHeight);
    const double lineSpacing = content_.font(PlacedBand::Kind::Detail).lineSpacing();

    next = start;
    bool anyDetail = false;
    while (next.row < content_.rowCount()) {
        const double remaining = content_.bandHeight(PlacedBand::Kind::Detail, next.row, number) - next.offset;
        const double room = footerTop - y;
        if (remaining <= room + kSlack) {
            page.bands.push_back({PlacedBand::Kind::Detail, next.row, y, remaining, next.offset, next.offset > 0});
            y += remaining;
            ++next.row;
            next.offset = 0;
            anyDetail = true;
            continue;
        }
        // It does not fit. A band that a fresh page can hold waits for one; a taller one is cut
        // after the last whole line that fits here.
        const double freshRoom = footerTop - page.bands[1].top - page.bands[1].height;
        if (anyDetail && next.offset == 0 && remaining <= freshRoom + kSlack) break;
        double slice = std::floor((room + kSlack) / lineSpacing) * lineSpacing;
        if (slice <= 0) {
            if (anyDetail) break;
            slice = remaining; // not one line fits even on an empty page: print it anyway
        }
        page.bands.push_back({PlacedBand::Kind::Detail, next.row, y, slice, next.offset, true});
        next.offset += slice;
        break;
    }
    page.bands.push_back({PlacedBand::Kind::PageFooter, -1, footerTop, footerHeight, 0, false});
    return page;
}

PageLayout ReportLayout::layOutKnown(int index) {
    Start next;
    PageLayout page = layOut(starts_[static_cast<size_t>(index)], index + 1, next);
    if (index + 1 == knownPageCount() && !complete_) {
        if (next.row >= content_.rowCount()) complete_ = true;
        else starts_.push_back(next);
    }
    return page;
}

std::optional<PageLayout> ReportLayout::page(int index) {
    if (index < 0) return std::nullopt;
    if (cached_ && cached_->number == index + 1) return cached_;
    while (index >= knownPageCount() && !complete_) layOutKnown(knownPageCount() - 1);
    if (index >= knownPageCount()) return std::nullopt;
    cached_ = layOutKnown(index);
    return cached_;
}

int ReportLayout::countPages() {
    while (!complete_) layOutKnown(knownPageCount() - 1);
    return knownPageCount();
}

} // namespace tablor::report
