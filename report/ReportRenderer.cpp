// ReportRenderer.cpp — drawing laid-out pages with QPainter.
#include "report/ReportRenderer.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <cmath>

namespace tablor::report {

void ReportRenderer::paintBand(QPainter& painter, const PlacedBand& band, int pageNumber) const {
    const ReportContent& content = layout_.content();
    const ReportBand& design = content.band(band.kind);
    const BandFont& font = content.font(band.kind);
    const ReportPage& pg = content.report().page;
    const double x0 = pg.leftMm * DotsPerMm;
    const double y0 = band.top - band.offset; // where the whole band would begin
    painter.save();
    if (band.cut) painter.setClipRect(QRectF(0, band.top, pg.widthMm * DotsPerMm, band.height), Qt::IntersectClip);
    const double half = font.lineSpacing() / 2;
    for (const ReportText& t : design.texts) {
        const TextBlock block = content.block(band.kind, t, band.row, pageNumber);
        if (!block.layout) continue;
        const double x = x0 + t.left * DotsPerPixel;
        const double y = y0 + t.top * DotsPerPixel;
        const double width = t.width * DotsPerPixel;
        // A text that is not wrapped is cut at its box's right edge.
        const bool clip = !t.autoSize && block.naturalWidth > width + 0.5;
        if (clip) {
            painter.save();
            painter.setClipRect(QRectF(x, y, width, block.lines * font.lineSpacing()), Qt::IntersectClip);
        }
        for (int i = 0; i < block.lines; ++i) {
            // Lines sit wholly inside a slice of a cut band or outside it; half a line absorbs
            // the rounding.
            const double lineTop = y + i * font.lineSpacing();
            if (band.cut && (lineTop + half <= band.top || lineTop + half >= band.top + band.height)) continue;
            block.layout->lineAt(i).draw(&painter, QPointF(x, y));
        }
        if (clip) painter.restore();
    }
    painter.restore();
}

void ReportRenderer::paintPage(QPainter& painter, const PageLayout& page) const {
    painter.setPen(Qt::black);
    for (const PlacedBand& band : page.bands) paintBand(painter, band, page.number);
}

QImage ReportRenderer::pageImage(int index, double dotsPerInch) {
    const std::optional<PageLayout> page = layout_.page(index);
    if (!page) return {};
    const ReportPage& pg = layout_.content().report().page;
    QImage image(static_cast<int>(std::lround(pg.widthMm / 25.4 * dotsPerInch)),
                 static_cast<int>(std::lround(pg.heightMm / 25.4 * dotsPerInch)), QImage::Format_RGB32);
    image.setDotsPerMeterX(static_cast<int>(std::lround(dotsPerInch / 0.0254)));
    image.setDotsPerMeterY(image.dotsPerMeterX());
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(dotsPerInch / DotsPerInch, dotsPerInch / DotsPerInch);
    paintPage(painter, *page);
    return image;
}

int ReportRenderer::print(QPagedPaintDevice& device, int first, int last,
                          const std::function<bool(int pageNumber)>& progress) {
    QPainter painter;
    if (!painter.begin(&device))
        throw ReportError("The report cannot be drawn on the output device (is the printer or file available?).");
    const QRect paintRect = device.pageLayout().paintRectPixels(device.logicalDpiX());
    int drawn = 0;
    for (int index = std::max(first, 0); last < 0 || index <= last; ++index) {
        const std::optional<PageLayout> page = layout_.page(index);
        if (!page) break;
        if (drawn > 0 && !device.newPage()) throw ReportError("The output device refused to start a new page.");
        painter.resetTransform();
        painter.translate(-paintRect.left(), -paintRect.top());
        painter.scale(device.logicalDpiX() / DotsPerInch, device.logicalDpiY() / DotsPerInch);
        paintPage(painter, *page);
        ++drawn;
        if (progress && !progress(page->number)) break;
    }
    painter.end();
    return drawn;
}

int ReportRenderer::writePdf(const QString& path, const std::function<bool(int pageNumber)>& progress) {
    const ReportPage& pg = layout_.content().report().page;
    QPdfWriter writer(path);
    writer.setResolution(static_cast<int>(DotsPerInch));
    writer.setTitle(layout_.content().report().title);
    writer.setCreator(QStringLiteral("Tablor"));
    writer.setPageLayout(QPageLayout(QPageSize(QSizeF(pg.widthMm, pg.heightMm), QPageSize::Millimeter),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    try {
        return print(writer, 0, -1, progress);
    } catch (const ReportError&) {
        throw ReportError("The PDF file " + path.toStdString() +
                          " cannot be written: check that its folder exists and may be written to.");
    }
}

} // namespace tablor::report
