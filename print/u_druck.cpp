// u_druck.cpp — the report form of a table's printout.
#include "print/u_druck.h"

#include "db/DataSet.h"
#include "l10n/translator.h"
#include "profiles/localizedmessagedlg.h"
#include "report/ReportPreview.h"

namespace tablor {

namespace {

constexpr LanguagePair kOutputFailed = {"Der Bericht konnte nicht ausgegeben werden. ",
                                        "The report could not be printed or saved. "};

ReportPreviewPresenter& presenter() {
    static ReportPreviewPresenter p;
    return p;
}

QFont arial(double points, bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

report::ReportText label(const char* name, const QString& caption, double left, double top) {
    report::ReportText t;
    t.name = QString::fromLatin1(name);
    t.caption = caption;
    t.left = left;
    t.top = top;
    t.autoSize = true;
    return t;
}

} // namespace

ReportPreviewPresenter setReportPreviewPresenter(ReportPreviewPresenter p) {
    return std::exchange(presenter(), std::move(p));
}

TfrmAusdruck::TfrmAusdruck() {
    report::Report& r = QuickRepAusdruck;
    r.title = QStringLiteral("Tablor Datenbankdruck");
    r.page = report::ReportPage{}; // A4 portrait, margins top and bottom 25 mm, left and right 10 mm

    r.pageHeader.name = QStringLiteral("PageHeaderBand1");
    r.pageHeader.heightMm = 10.6;
    r.pageHeader.font = arial(8, true);
    r.pageHeader.add(label("qrTitle", QString(), 0, 0));

    r.columnHeader.name = QStringLiteral("ColumnHeaderBand1");
    r.columnHeader.heightMm = 5;
    r.columnHeader.font = arial(6, false);

    r.detail.name = QStringLiteral("DetailBand1");
    r.detail.heightMm = 5;
    r.detail.font = arial(6, true);

    r.pageFooter.name = QStringLiteral("PageFooterBand1");
    r.pageFooter.heightMm = 10.6;
    r.pageFooter.font = arial(6, false);
    r.pageFooter.add(label("QRLabel1", QStringLiteral("Seite"), 0, 8));
    report::ReportText number = label("QRSysData1", QString(), 40, 8);
    number.kind = report::ReportText::Kind::PageNumber;
    r.pageFooter.add(number);
}

void TfrmAusdruck::setTitle(const QString& title) { QuickRepAusdruck.pageHeader.texts.front().caption = title; }

QString TfrmAusdruck::title() const { return QuickRepAusdruck.pageHeader.texts.front().caption; }

void TfrmAusdruck::addColumn(int position, const TField& field, int left, int width) {
    report::ReportText data;
    data.name = QStringLiteral("dbFeld%1").arg(position);
    data.kind = report::ReportText::Kind::DataText;
    data.fieldName = field.DisplayName();
    data.fieldIndex = field.Index();
    data.left = left;
    data.width = width;
    data.autoStretch = true;
    QuickRepAusdruck.detail.add(data);

    report::ReportText title;
    title.name = QStringLiteral("dbTitel%1").arg(position);
    title.caption = field.DisplayName();
    title.left = left;
    title.width = width;
    title.autoStretch = true;
    QuickRepAusdruck.columnHeader.add(title);
}

void TfrmAusdruck::preview(QWidget* parent) {
    if (presenter()) {
        presenter()(*this, parent);
        return;
    }
    // Failures of printing or saving are told in the message box of the program, in the language
    // the windows show.
    const auto previous = report::TReportPreview::setErrorDisplay([](QWidget*, const QString& reason) {
        const TTranslator* marked = TTranslator::markedInstance();
        const QString language = marked ? marked->language() : QString::fromLatin1(TTranslator::German);
        LocalizedMessageDlg(kOutputFailed.text(language == QLatin1String(TTranslator::English) ? 1 : 0) + reason,
                            mtError, mbOK, 0, language, 0);
    });
    report::TReportPreview window(QuickRepAusdruck, parent);
    window.exec();
    report::TReportPreview::setErrorDisplay(previous);
}

} // namespace tablor
