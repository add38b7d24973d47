// u_druck.h — TfrmAusdruck, the report form of a table's printout: the report QuickRepAusdruck
// on an A4 page with its four bands as designed, and the columns the column selection adds to
// it. Created anew for each printout and freed after its preview.
#pragma once

#include "report/Report.h"

#include <QString>

#include <functional>

class QWidget;

namespace tablor {

class TDataSet;
class TField;
class TfrmAusdruck;

// Shows the finished report form's preview modally. The real one opens the report engine's
// preview window; tests put one in that looks at the form instead.
using ReportPreviewPresenter = std::function<void(TfrmAusdruck& form, QWidget* parent)>;
// An empty function restores the real preview. Returns the previous presenter.
ReportPreviewPresenter setReportPreviewPresenter(ReportPreviewPresenter presenter);

class TfrmAusdruck {
public:
    // Page A4 portrait, margins 25/25/10/10 mm, the title "Tablor Datenbankdruck", Arial; the page
    // header with qrTitle, an empty column header and detail band, the page footer with "Seite"
    // and the page number.
    TfrmAusdruck();

    report::Report QuickRepAusdruck;

    // The report's width in screen pixels (794 for A4), the base of the column widths.
    double reportWidthPixels() const { return QuickRepAusdruck.page.widthPixels(); }
    // The text of the page header's title label.
    void setTitle(const QString& title);
    QString title() const;
    // Adds the column of `field` for entry `position` of the column list: the data text
    // "dbFeld<position>" on the detail band and the title "dbTitel<position>" on the column
    // header, both at `left` with `width` pixels, stretching downwards.
    void addColumn(int position, const TField& field, int left, int width);
    // Binds the report to the data set whose records it prints.
    void bind(const TDataSet* dataSet) { QuickRepAusdruck.dataSet = dataSet; }

    // Shows the preview modally (through the presenter) and returns when it closes.
    void preview(QWidget* parent);
};

} // namespace tablor
