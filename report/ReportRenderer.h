// ReportRenderer.h — draws the pages of a ReportLayout with QPainter: onto an image (preview,
// tests), onto any paged device (a QPrinter, a QPdfWriter), or into a PDF file. Needs no
// printer and no widgets.
#pragma once

#include "report/ReportLayout.h"

#include <QImage>

#include <functional>

class QPagedPaintDevice;
class QPainter;

namespace tablor::report {

class ReportRenderer {
public:
    explicit ReportRenderer(ReportLayout& layout) : layout_(layout) {}

    // Draws one page; the painter's coordinates are dots (1/1200 inch) from the page's top left.
    void paintPage(QPainter& painter, const PageLayout& page) const;

    // Page `index` on white at `dotsPerInch`; a null image past the last page.
    QImage pageImage(int index, double dotsPerInch);

    // Draws pages first..last (0-based, inclusive; last -1: to the end) onto `device`, one
    // device page each, and returns how many were drawn. `progress`, when given, hears each page
    // number drawn and may return false to stop. Throws ReportError when the device cannot be
    // painted on.
    int print(QPagedPaintDevice& device, int first = 0, int last = -1,
              const std::function<bool(int pageNumber)>& progress = {});

    // Writes the whole report as a PDF file (A4, the report's title as the document's title).
    // Throws ReportError naming the file when it cannot be written.
    int writePdf(const QString& path, const std::function<bool(int pageNumber)>& progress = {});

private:
    void paintBand(QPainter& painter, const PlacedBand& band, int pageNumber) const;
    ReportLayout& layout_;
};

} // namespace tablor::report
