// ReportPreview.cpp — the print preview window.
#include "report/ReportPreview.h"

#include "l10n/translator.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace tablor::report {

namespace {

// clang-format off
constexpr std::array<TextPair, 10> kTexts = {{
    {"",           "windowTitle", "Druckvorschau",      "Print preview"},
    {"btnFirst",   "text",        "Erste Seite",        "First page"},
    {"btnPrior",   "text",        "Vorige Seite",       "Previous page"},
    {"btnNext",    "text",        "Nächste Seite",      "Next page"},
    {"btnLast",    "text",        "Letzte Seite",       "Last page"},
    {"btnZoomIn",  "text",        "Vergrößern",         "Zoom in"},
    {"btnZoomOut", "text",        "Verkleinern",        "Zoom out"},
    {"btnPrint",   "text",        "Drucken...",         "Print..."},
    {"btnSavePdf", "text",        "Als PDF speichern...", "Save as PDF..."},
    {"btnClose",   "text",        "Schließen",          "Close"},
}};
constexpr LanguagePair kPageOf = {"Seite %1 von %2", "Page %1 of %2"};
constexpr LanguagePair kPage = {"Seite %1", "Page %1"};
constexpr LanguagePair kSaveTitle = {"Als PDF speichern", "Save as PDF"};
constexpr LanguagePair kPdfFilter = {"PDF-Dateien (*.pdf)", "PDF files (*.pdf)"};
// clang-format on

PdfFileChooser& pdfChooser() {
    static PdfFileChooser chooser;
    return chooser;
}
PreviewErrorDisplay& errorDisplay() {
    static PreviewErrorDisplay display;
    return display;
}

} // namespace

PdfFileChooser TReportPreview::setPdfFileChooser(PdfFileChooser chooser) {
    return std::exchange(pdfChooser(), std::move(chooser));
}

PreviewErrorDisplay TReportPreview::setErrorDisplay(PreviewErrorDisplay display) {
    return std::exchange(errorDisplay(), std::move(display));
}

TReportPreview::TReportPreview(const Report& report, QWidget* parent)
    : QDialog(parent), report_(report), layout_(report), renderer_(layout_) {
    setObjectName(QStringLiteral("frmPreview"));
    buildControls();
    // The design language (German) first; the translator then follows the marked window.
    for (const TextPair& t : kTexts) {
        QObject* target = *t.object ? findChild<QObject*>(QString::fromLatin1(t.object)) : this;
        if (target) target->setProperty(t.property, QString::fromUtf8(t.german));
    }
    translator_ = new TTranslator(this, QString::fromLatin1(TTranslator::German), kTexts);
    connect(translator_, &TTranslator::languageChanged, this, [this] { updatePageText(); });
    const QRect screen = parent && parent->screen() ? parent->screen()->availableGeometry()
                                                    : QGuiApplication::primaryScreen()->availableGeometry();
    resize(std::min(920, screen.width()), std::min(1040, screen.height() - 40));
    showPage(0);
}

TReportPreview::~TReportPreview() = default;

void TReportPreview::buildControls() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    tlbPreview = new QToolBar(this);
    tlbPreview->setObjectName(QStringLiteral("tlbPreview"));
    column->addWidget(tlbPreview);
    const auto action = [this](const char* name, QKeySequence key, auto slot) {
        auto* a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        tlbPreview->addAction(a);
        return a;
    };
    btnFirst = action("btnFirst", QKeySequence(Qt::Key_Home), [this] { btnFirstClick(); });
    btnPrior = action("btnPrior", QKeySequence(Qt::Key_PageUp), [this] { btnPriorClick(); });
    btnNext = action("btnNext", QKeySequence(Qt::Key_PageDown), [this] { btnNextClick(); });
    btnLast = action("btnLast", QKeySequence(Qt::Key_End), [this] { btnLastClick(); });
    tlbPreview->addSeparator();
    lblPage = new QLabel(this);
    lblPage->setObjectName(QStringLiteral("lblPage"));
    lblPage->setContentsMargins(8, 0, 8, 0);
    tlbPreview->addWidget(lblPage);
    tlbPreview->addSeparator();
    btnZoomIn = action("btnZoomIn", QKeySequence::ZoomIn, [this] { btnZoomInClick(); });
    btnZoomOut = action("btnZoomOut", QKeySequence::ZoomOut, [this] { btnZoomOutClick(); });
    tlbPreview->addSeparator();
    btnPrint = action("btnPrint", QKeySequence::Print, [this] { btnPrintClick(); });
    btnSavePdf = action("btnSavePdf", QKeySequence::Save, [this] { btnSavePdfClick(); });
    btnClose = action("btnClose", QKeySequence(), [this] { accept(); });

    scrPage = new QScrollArea(this);
    scrPage->setObjectName(QStringLiteral("scrPage"));
    scrPage->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scrPage->setBackgroundRole(QPalette::Dark);
    imgPage = new QLabel;
    imgPage->setObjectName(QStringLiteral("imgPage"));
    scrPage->setWidget(imgPage);
    column->addWidget(scrPage, 1);
}

void TReportPreview::showPage(int index) {
    index = std::max(index, 0);
    if (!layout_.page(index)) index = std::max(layout_.knownPageCount() - 1, 0);
    current_ = index;
    renderShown();
    scrPage->verticalScrollBar()->setValue(0);
}

void TReportPreview::btnLastClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    layout_.countPages();
    QApplication::restoreOverrideCursor();
    showPage(layout_.knownPageCount() - 1);
}

void TReportPreview::btnZoomInClick() {
    zoom_ = std::min(zoom_ * 1.25, 4.0);
    renderShown();
}

void TReportPreview::btnZoomOutClick() {
    zoom_ = std::max(zoom_ / 1.25, 0.25);
    renderShown();
}

void TReportPreview::renderShown() {
    const double ratio = devicePixelRatioF();
    shown_ = renderer_.pageImage(current_, logicalDpiX() * zoom_ * ratio);
    shown_.setDevicePixelRatio(ratio);
    imgPage->setPixmap(QPixmap::fromImage(shown_));
    imgPage->resize(imgPage->sizeHint());
    btnFirst->setEnabled(current_ > 0);
    btnPrior->setEnabled(current_ > 0);
    const bool more = layout_.page(current_ + 1).has_value();
    btnNext->setEnabled(more);
    btnLast->setEnabled(more);
    updatePageText();
}

void TReportPreview::updatePageText() {
    if (!translator_) return;
    const int lang = translator_->languageIndex();
    lblPage->setText(layout_.complete() ? kPageOf.text(lang).arg(current_ + 1).arg(layout_.knownPageCount())
                                        : kPage.text(lang).arg(current_ + 1));
}

int TReportPreview::printTo(QPrinter& printer) {
    const bool range = printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const int n = renderer_.print(printer, range ? printer.fromPage() - 1 : 0, range ? printer.toPage() - 1 : -1);
        QApplication::restoreOverrideCursor();
        return n;
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
}

void TReportPreview::btnPrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(report_.title);
    printer.setFullPage(true);
    const ReportPage& pg = report_.page;
    printer.setPageLayout(QPageLayout(QPageSize(QSizeF(pg.widthMm, pg.heightMm), QPageSize::Millimeter),
                                      QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, layout_.complete() ? layout_.knownPageCount() : 99999);
    if (dialog.exec() != QDialog::Accepted) return;
    try {
        printTo(printer);
    } catch (const ReportError& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

bool TReportPreview::btnSavePdfClick() {
    const int lang = translator_->languageIndex();
    const QString suggested = report_.title + QStringLiteral(".pdf");
    QString path;
    if (pdfChooser()) path = pdfChooser()(this, suggested);
    else path = QFileDialog::getSaveFileName(this, kSaveTitle.text(lang), suggested, kPdfFilter.text(lang));
    if (path.isEmpty()) return false;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        renderer_.writePdf(path);
        QApplication::restoreOverrideCursor();
        return true;
    } catch (const ReportError& e) {
        QApplication::restoreOverrideCursor();
        showError(QString::fromUtf8(e.what()));
        return false;
    }
}

void TReportPreview::showError(const QString& message) {
    if (errorDisplay()) errorDisplay()(this, message);
    else QMessageBox::warning(this, windowTitle(), message);
}

} // namespace tablor::report
