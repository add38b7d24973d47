// u_printselect.h — TfrmColSelect, the column selection of a table's printout: one entry per
// field of the data set, ticked when the field can be printed and greyed out otherwise; the
// entries are put in order by drag and drop; "Drucken" lays out the report of the ticked columns
// in list order and shows its preview, and the dialog stays open for another printout.
//
// Print(dataSet) is what the main window's print command calls. The dialog refers to the data
// set and does not own it; the preview is shown through setReportPreviewPresenter's presenter.
#pragma once

#include <QDialog>
#include <QPoint>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace tablor {

class TDataSet;
class TTranslator;

// Shows the column selection for `dataSet` modally and returns when it has closed.
void Print(TDataSet* dataSet, QWidget* parent = nullptr);

class TfrmColSelect : public QDialog {
    Q_OBJECT
public:
    TfrmColSelect(TDataSet* dataSet, QWidget* parent = nullptr);
    ~TfrmColSelect() override;

    // The commands.
    void mnuSelAllClick();     // ticks every enabled entry
    void popSelReverseClick(); // toggles the tick of every enabled entry
    void btnDruckenClick();    // report of the ticked entries, previewed; the dialog stays open
    // Reordering, as the list's mouse and drag events call it (positions in the list's viewport).
    void clbSpaltenMouseDown(const QPoint& pos);
    bool clbSpaltenDragOver(const QObject* source) const;
    void clbSpaltenDragDrop(const QPoint& pos);

    TTranslator* translator() const { return translator_; }

    QLabel* Label1 = nullptr;
    QListWidget* clbSpalten = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* mnuSelAll = nullptr;
    QAction* popSelReverse = nullptr;
    QPushButton* btnDrucken = nullptr;
    QPushButton* btnAbbruch = nullptr;

private:
    void buildControls();
    void fillEntries();

    TDataSet* dataSet_;
    int dragFrom_ = -1; // the entry under the pointer when the mouse button went down
    TTranslator* translator_ = nullptr;
};

} // namespace tablor
