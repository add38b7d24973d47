// The report engine: stretching bands, bands cut between lines, and a preview that lays out only
// the pages it shows. PDF output is read back with pdftotext.
#include "report/ReportLayout.h"
#include "report/ReportPreview.h"
#include "report/ReportRenderer.h"
#include "support/memdataset.h"
#include "jet/availability.h"
#include "report/pdftext.h"

#include <QApplication>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace tablor;
using namespace tablor::report;
using tablor::test::MemDataSet;

namespace {

class ReportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "report_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) app_ = new QApplication(argc, argv);
    }

    // One text column, `note`, 200 pixels wide and stretching; "Seite" and the page number below.
    void build(std::vector<QString> notes) {
        std::vector<std::vector<QVariant>> rows;
        for (QString& n : notes) rows.push_back({QVariant(std::move(n))});
        data_ =
            std::make_unique<MemDataSet>(std::vector<MemDataSet::Col>{{"note", TFieldType::ftMemo}}, std::move(rows));
        data_->Open();
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(6);
        report_.detail.font = font;
        report_.columnHeader.font = font;
        report_.pageHeader.font = font;
        report_.pageFooter.font = font;
        report_.pageFooter.heightMm = 10.6;
        report_.pageFooter.add({"lblSeite", ReportText::Kind::Label, "Seite", {}, -1, 0, 8, 0, true, false});
        report_.pageFooter.add({"sysPage", ReportText::Kind::PageNumber, {}, {}, -1, 40, 8, 0, true, false});
        report_.detail.add({"dbFeld0", ReportText::Kind::DataText, {}, "note", -1, 0, 0, 200, false, true});
        report_.dataSet = data_.get();
    }

    static QString lines(int from, int to) {
        QStringList l;
        for (int i = from; i <= to; ++i) l << QStringLiteral("Zeile %1").arg(i);
        return l.join(QLatin1Char('\n'));
    }

    static QApplication* app_;
    std::unique_ptr<MemDataSet> data_;
    Report report_;
    QTemporaryDir dir_;
};

QApplication* ReportTest::app_ = nullptr;

TEST_F(ReportTest, LongMemoStretchesItsBandAndPushesTheNextRecordDown) {
    build({"kurz", lines(1, 30), "danach"});
    ReportLayout layout(report_);
    const std::optional<PageLayout> page = layout.page(0);
    ASSERT_TRUE(page);
    std::vector<PlacedBand> details;
    for (const PlacedBand& b : page->bands)
        if (b.kind == PlacedBand::Kind::Detail) details.push_back(b);
    ASSERT_EQ(details.size(), 3u);
    const double designed = report_.detail.heightMm * DotsPerMm;
    const double lineSpacing = layout.content().font(PlacedBand::Kind::Detail).lineSpacing();
    EXPECT_DOUBLE_EQ(details[0].height, designed);
    EXPECT_DOUBLE_EQ(details[1].height, 30 * lineSpacing);
    EXPECT_DOUBLE_EQ(details[2].top, details[1].top + details[1].height);
    EXPECT_DOUBLE_EQ(details[2].height, designed);

    if (!test::havePdfToText()) JET_UNAVAILABLE() << "pdftotext is not installed (poppler-utils)";
    const QString pdf = dir_.filePath(QStringLiteral("memo.pdf"));
    ReportRenderer renderer(layout);
    EXPECT_EQ(renderer.writePdf(pdf), 1);
    const QStringList pages = test::pdfPages(pdf);
    ASSERT_EQ(pages.size(), 1);
    qsizetype at = pages[0].indexOf(QStringLiteral("kurz"));
    for (int i = 1; i <= 30; ++i) {
        const qsizetype next = pages[0].indexOf(QStringLiteral("Zeile %1\n").arg(i), at);
        ASSERT_GT(next, at) << "line " << i;
        at = next;
    }
    EXPECT_GT(pages[0].indexOf(QStringLiteral("danach")), at);
}

TEST_F(ReportTest, BandTallerThanAPageIsCutBetweenLinesAndLosesNone) {
    const int total = 400;
    build({"vorher", lines(1, total), "nachher"});
    ReportLayout layout(report_);
    const int pageCount = layout.countPages();
    ASSERT_GE(pageCount, 3);
    const double footerTop = (report_.page.heightMm - report_.page.bottomMm - 10.6) * DotsPerMm;
    for (int p = 0; p < pageCount; ++p) {
        const std::optional<PageLayout> page = layout.page(p);
        for (const PlacedBand& b : page->bands)
            if (b.kind == PlacedBand::Kind::Detail) {
                EXPECT_LE(b.top + b.height, footerTop + 0.01) << "page " << p + 1;
            }
    }

    if (!test::havePdfToText()) JET_UNAVAILABLE() << "pdftotext is not installed (poppler-utils)";
    const QString pdf = dir_.filePath(QStringLiteral("long.pdf"));
    ReportRenderer renderer(layout);
    EXPECT_EQ(renderer.writePdf(pdf), pageCount);
    const QStringList pages = test::pdfPages(pdf);
    ASSERT_EQ(pages.size(), pageCount);
    // A line cut in two would be in the file twice, once on either page (clipped text stays text).
    const QString all = pages.join(QLatin1Char('\n'));
    qsizetype at = all.indexOf(QStringLiteral("vorher"));
    for (int i = 1; i <= total; ++i) {
        const QString line = QStringLiteral("Zeile %1\n").arg(i);
        EXPECT_EQ(all.count(line), 1) << "line " << i;
        const qsizetype next = all.indexOf(line, at);
        ASSERT_GT(next, at) << "line " << i;
        at = next;
    }
    EXPECT_GT(all.indexOf(QStringLiteral("nachher")), at);
    const QRegularExpression footer(QStringLiteral("Seite\\s+(\\d+)\\s*$"));
    for (int p = 0; p < pageCount; ++p)
        EXPECT_EQ(footer.match(pages[p]).captured(1), QString::number(p + 1)) << pages[p].right(100).toStdString();
}

TEST_F(ReportTest, AnEmptyTableStillGivesAPageWithHeaderAndFooter) {
    build({});
    ReportLayout layout(report_);
    EXPECT_EQ(layout.countPages(), 1);
    const std::optional<PageLayout> page = layout.page(0);
    ASSERT_TRUE(page);
    std::vector<PlacedBand::Kind> kinds;
    for (const PlacedBand& b : page->bands) kinds.push_back(b.kind);
    EXPECT_EQ(kinds, (std::vector<PlacedBand::Kind>{PlacedBand::Kind::PageHeader, PlacedBand::Kind::ColumnHeader,
                                                    PlacedBand::Kind::PageFooter}));
    EXPECT_FALSE(layout.page(1));
    EXPECT_FALSE(ReportRenderer(layout).pageImage(0, 50).isNull());
}

TEST_F(ReportTest, PreviewOfManyRowsLaysOutOnlyThePagesItReaches) {
    build(std::vector<QString>(100000, QStringLiteral("eine Zeile")));
    data_->valuesRead = 0;
    TReportPreview preview(report_);
    EXPECT_EQ(preview.currentPage(), 0);
    EXPECT_FALSE(preview.pageImageShown().isNull());
    EXPECT_FALSE(preview.layout().complete());
    EXPECT_LE(preview.layout().knownPageCount(), 3); // the page shown and the next
    EXPECT_LT(data_->valuesRead, 1000);              // a page or two of rows, read while measuring and drawing

    preview.btnNextClick();
    EXPECT_EQ(preview.currentPage(), 1);
    preview.btnLastClick();
    ASSERT_TRUE(preview.layout().complete());
    const int last = preview.layout().knownPageCount() - 1;
    EXPECT_EQ(preview.currentPage(), last);
    int lastRow = -1;
    const std::optional<PageLayout> lastPage = preview.layout().page(last);
    for (const PlacedBand& b : lastPage->bands)
        if (b.kind == PlacedBand::Kind::Detail) lastRow = b.row;
    EXPECT_EQ(lastRow, 99999);
    preview.btnNextClick();
    EXPECT_EQ(preview.currentPage(), last);

    // Printing pages 2 to 3 on a printer (one that writes PDF, so the pages can be read back).
    if (!test::havePdfToText()) JET_UNAVAILABLE() << "pdftotext is not installed (poppler-utils)";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir_.filePath(QStringLiteral("printed.pdf")));
    printer.setFullPage(true);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    EXPECT_EQ(preview.printTo(printer), 2);
    const QStringList pages = test::pdfPages(printer.outputFileName());
    ASSERT_EQ(pages.size(), 2);
    const QRegularExpression footer(QStringLiteral("Seite\\s+(\\d+)\\s*$"));
    EXPECT_EQ(footer.match(pages[0]).captured(1), QStringLiteral("2"));
    EXPECT_EQ(footer.match(pages[1]).captured(1), QStringLiteral("3"));
}

} // namespace
