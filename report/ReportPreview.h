// ReportPreview.h — the report engine's print preview: a modal window that shows one page of a
// report at a time, pages through it, prints it on a printer chosen in the print dialog, and
// saves it as a PDF file.
//
// Only the page on screen is drawn and kept (one image), and pages are laid out as they are
// reached, so the preview of a table of any length opens at once. "Letzte Seite" lays out the
// whole report first.
//
// The preview refers to the report and does not own it; the report must outlive the window.
// The PDF file chooser and the error display are replaceable for tests.
#pragma once

#include "report/ReportLayout.h"
#include "report/ReportRenderer.h"

#include <QDialog>

#include <functional>

class QAction;
class QLabel;
class QPrinter;
class QScrollArea;
class QToolBar;

namespace tablor {
class TTranslator;
}

namespace tablor::report {

// Asks where to save the PDF; an empty string when the user cancelled.
using PdfFileChooser = std::function<QString(QWidget* parent, const QString& suggestedName)>;
// Shows a failure of printing or saving.
using PreviewErrorDisplay = std::function<void(QWidget* parent, const QString& message)>;

class TReportPreview : public QDialog {
    Q_OBJECT
public:
    explicit TReportPreview(const Report& report, QWidget* parent = nullptr);
    ~TReportPreview() override;

    // An empty function restores the real file dialog / message box. Return the previous one.
    static PdfFileChooser setPdfFileChooser(PdfFileChooser chooser);
    static PreviewErrorDisplay setErrorDisplay(PreviewErrorDisplay display);

    // Commands (also on the tool bar).
    void showPage(int index); // 0-based; stays on the last page when `index` is past it
    void btnFirstClick() { showPage(0); }
    void btnPriorClick() { showPage(current_ - 1); }
    void btnNextClick() { showPage(current_ + 1); }
    void btnLastClick();
    void btnZoomInClick();
    void btnZoomOutClick();
    void btnPrintClick();   // the print dialog, then the chosen pages on the chosen printer
    bool btnSavePdfClick(); // the file chooser, then the whole report as PDF; false when not saved

    // Prints the pages the printer's range names (all when none) onto `printer`.
    int printTo(QPrinter& printer);

    int currentPage() const { return current_; }
    const QImage& pageImageShown() const { return shown_; }
    ReportLayout& layout() { return layout_; }
    TTranslator* translator() const { return translator_; }

private:
    void buildControls();
    void renderShown();
    void updatePageText();
    void showError(const QString& message);

    const Report& report_;
    ReportLayout layout_;
    ReportRenderer renderer_;
    int current_ = 0;
    double zoom_ = 1.0;
    QImage shown_;
    QToolBar* tlbPreview = nullptr;
    QAction* btnFirst = nullptr;
    QAction* btnPrior = nullptr;
    QAction* btnNext = nullptr;
    QAction* btnLast = nullptr;
    QAction* btnZoomIn = nullptr;
    QAction* btnZoomOut = nullptr;
    QAction* btnPrint = nullptr;
    QAction* btnSavePdf = nullptr;
    QAction* btnClose = nullptr;
    QLabel* lblPage = nullptr;
    QScrollArea* scrPage = nullptr;
    QLabel* imgPage = nullptr;
    TTranslator* translator_ = nullptr;
};

} // namespace tablor::report
