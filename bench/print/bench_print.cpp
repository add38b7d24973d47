// Benchmark of printing (headless), and sample printouts to look at:
//   bench_print mysql HOST PORT USER PASSWORD DATABASE TABLE PDF
//     MEASURE open_seconds         the table opened as the grid opens it (not part of printing)
//     MEASURE first_page_seconds   "Drucken" in the column selection (every column ticked) until
//                                  the preview window shows page 1
//     MEASURE pdf_seconds          the whole report written to PDF
//     MEASURE pdf_cpu_seconds      the CPU time that took (the same on a busy machine)
//     MEASURE pdf_pages, rows
//     MEASURE rss_before_pdf_mb    resident memory with the table open and the preview shown
//     MEASURE peak_rss_mb          the process's peak resident memory at the end
//   bench_print sample MDB TABLE OUTDIR
//     with the column selection in German, then in English: its picture OUTDIR/colselect-LANG.png
//     and the table's printout (every printable column) OUTDIR/report-LANG.pdf, its preview
//     window OUTDIR/preview-LANG.pdf.png
#include "db/ADODB.h"
#include "db/JetConnectionString.h"
#include "db/ServerLogin.h"
#include "db/ZMySql.h"
#include "l10n/translator.h"
#include "print/u_druck.h"
#include "print/u_printselect.h"
#include "report/ReportLayout.h"
#include "report/ReportPreview.h"
#include "report/ReportRenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

using namespace tablor;

namespace {

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// CPU time of this process, so figures can be judged on a busy machine too.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double peakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

int benchMySql(char** argv) {
    TZMySqlDatabase db;
    setServerLogin(db, {.host = argv[2], .port = argv[3], .user = argv[4], .password = argv[5], .database = argv[6]});
    db.Connect();
    TZMySqlTransact trans;
    trans.Database = &db;
    TZMySqlTable table;
    table.Database = &db;
    table.Transaction = &trans;
    table.setTableName(QString::fromLocal8Bit(argv[7]));
    const QString pdf = QString::fromLocal8Bit(argv[8]);

    QElapsedTimer clock;
    clock.start();
    table.Open();
    std::printf("MEASURE open_seconds %.4f\n", clock.nsecsElapsed() / 1e9);
    std::printf("MEASURE rows %d\n", table.RecordCount());

    double firstPage = 0, pdfSeconds = 0, pdfCpuSeconds = 0, rssBeforePdf = 0;
    int pages = 0;
    setReportPreviewPresenter([&](TfrmAusdruck& form, QWidget* parent) {
        report::TReportPreview preview(form.QuickRepAusdruck, parent);
        preview.show();
        QApplication::processEvents();
        firstPage = clock.nsecsElapsed() / 1e9;
        rssBeforePdf = residentMb();
        clock.restart();
        const double cpu = cpuSeconds();
        report::ReportLayout layout(form.QuickRepAusdruck);
        pages = report::ReportRenderer(layout).writePdf(pdf);
        pdfSeconds = clock.nsecsElapsed() / 1e9;
        pdfCpuSeconds = cpuSeconds() - cpu;
    });
    TfrmColSelect dialog(&table);
    dialog.show();
    QApplication::processEvents();
    clock.restart();
    dialog.btnDruckenClick();
    std::printf("MEASURE first_page_seconds %.4f\n", firstPage);
    std::printf("MEASURE pdf_seconds %.4f\n", pdfSeconds);
    std::printf("MEASURE pdf_cpu_seconds %.4f\n", pdfCpuSeconds);
    std::printf("MEASURE pdf_pages %d\n", pages);
    std::printf("MEASURE rss_before_pdf_mb %.1f\n", rssBeforePdf);
    std::printf("MEASURE peak_rss_mb %.1f\n", peakMb());
    return 0;
}

int sample(char** argv) {
    const QString out = QString::fromLocal8Bit(argv[4]);
    const QString copy = out + QStringLiteral("/source.mdb"); // the original is never opened
    QFile::remove(copy);
    if (!QFile::copy(QString::fromLocal8Bit(argv[2]), copy)) throw std::runtime_error("cannot copy the database");
    TADOConnection cn;
    cn.ConnectionString = JetOpenConnectionString(copy);
    cn.Open();
    TADOTable table;
    table.setConnection(&cn);
    table.setTableName(QString::fromLocal8Bit(argv[3]));
    table.Open();
    QString pdf;
    setReportPreviewPresenter([&](TfrmAusdruck& form, QWidget* parent) {
        report::ReportLayout layout(form.QuickRepAusdruck);
        report::ReportRenderer(layout).writePdf(pdf);
        report::TReportPreview preview(form.QuickRepAusdruck, parent);
        preview.show();
        QApplication::processEvents();
        preview.grab().save(QString(pdf).replace(QStringLiteral("report-"), QStringLiteral("preview-")) + ".png");
    });
    TfrmColSelect dialog(&table);
    dialog.translator()->setTranslateApplication(true); // as the main window would: the preview follows
    dialog.show();
    for (const char* language : {TTranslator::German, TTranslator::English}) {
        dialog.translator()->switchLanguage(QString::fromLatin1(language));
        QApplication::processEvents();
        const QString name = language == TTranslator::German ? QStringLiteral("de") : QStringLiteral("en");
        dialog.grab().save(out + QStringLiteral("/colselect-%1.png").arg(name));
        pdf = out + QStringLiteral("/report-%1.pdf").arg(name);
        dialog.btnDruckenClick();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    try {
        if (argc == 9 && std::strcmp(argv[1], "mysql") == 0) return benchMySql(argv);
        if (argc == 5 && std::strcmp(argv[1], "sample") == 0) return sample(argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_print: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: bench_print mysql HOST PORT USER PASSWORD DATABASE TABLE PDF\n"
                         "       bench_print sample MDB TABLE OUTDIR\n");
    return 2;
}
