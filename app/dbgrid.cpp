// The grid dbgMain: options, cursor following, delete question, picture cells.
#include "app/dbgrid.h"

#include "profiles/localizedmessagedlg.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace tablor {

void TGridPictureDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QVariant picture = index.data(TGridModel::PictureRole);
    if (!picture.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Background and selection as any cell, then the picture stretched to the cell; content
    // that is no picture leaves the cell empty.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    QStyledItemDelegate::paint(painter, opt, QModelIndex());
    const QImage image = picture.value<QImage>();
    if (!image.isNull()) painter->drawImage(option.rect.adjusted(1, 1, -1, -1), image);
}

TMDBGrid::TMDBGrid(QWidget* parent) : QTableView(parent), model_(new TGridModel(this)) {
    setModel(model_);
    setItemDelegate(new TGridPictureDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSortingEnabled(false);       // sorting is the owner's reaction to a title click
    setFrameShape(QFrame::NoFrame); // the flat look
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSortIndicatorShown(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TMDBGrid::titleClicked);
    connect(model_, &TGridModel::currentRowChanged, this, &TMDBGrid::followDataSetRow);
    setOptions(dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
               dgConfirmDelete | dgCancelOnExit | dgDrawMemoText);
}

void TMDBGrid::setDataSet(TDataSet* dataSet) { model_->setDataSet(dataSet); }

void TMDBGrid::setOptions(TDBGridOptions options) {
    options_ = options;
    setEditTriggers((options & dgEditing) ? (QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                                             QAbstractItemView::SelectedClicked)
                                          : QAbstractItemView::NoEditTriggers);
    horizontalHeader()->setVisible(options & dgTitles);
    verticalHeader()->setVisible(options & dgIndicator);
    horizontalHeader()->setSectionResizeMode((options & dgColumnResize) ? QHeaderView::Interactive
                                                                        : QHeaderView::Fixed);
    setShowGrid((options & (dgColLines | dgRowLines)) != 0);
    setTabKeyNavigation(options & dgTabs);
    model_->setDrawMemoText(options & dgDrawMemoText);
    model_->setDrawGraphic(options & dgDrawGraphic);
    viewport()->update();
}

int TMDBGrid::SelectedIndex() const {
    const int c = currentIndex().column();
    return c < 0 ? 0 : c;
}

void TMDBGrid::setSelectedIndex(int index) {
    if (index < 0 || index >= model_->columnCount()) return;
    const int row = dataSet() && dataSet()->Active() ? dataSet()->CurrentRow() : currentIndex().row();
    if (row < 0) return;
    following_ = true;
    setCurrentIndex(model_->index(row, index));
    following_ = false;
}

TField* TMDBGrid::SelectedField() const {
    TDataSet* ds = dataSet();
    if (!ds || !ds->Active() || ds->FieldCount() == 0) return nullptr;
    return ds->Fields(std::min(SelectedIndex(), ds->FieldCount() - 1));
}

bool TMDBGrid::EditorMode() const { return state() == QAbstractItemView::EditingState; }

void TMDBGrid::setEditorMode(bool on) {
    if (on) {
        if (!EditorMode() && currentIndex().isValid() && (model_->flags(currentIndex()) & Qt::ItemIsEditable))
            edit(currentIndex());
    } else {
        commitEditing();
    }
}

void TMDBGrid::commitEditing() {
    if (!EditorMode()) return;
    if (QWidget* editor = indexWidget(currentIndex()); editor) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
        return;
    }
    // The delegate's editor is not an index widget: find it among the viewport's children.
    const auto editors = viewport()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* w : editors) {
        if (w->isVisible()) {
            commitData(w);
            closeEditor(w, QAbstractItemDelegate::NoHint);
            return;
        }
    }
}

void TMDBGrid::narrowColumns(int width) {
    for (int c = 0; c < model_->columnCount(); ++c)
        if (columnWidth(c) > width) setColumnWidth(c, width);
}

void TMDBGrid::followDataSetRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    if (currentIndex().row() == row) return;
    const int col = std::max(0, currentIndex().column());
    following_ = true;
    setCurrentIndex(model_->index(row, std::min(col, std::max(0, model_->columnCount() - 1))));
    following_ = false;
}

void TMDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    TDataSet* ds = dataSet();
    if (following_ || !ds || !ds->Active() || !current.isValid()) return;
    if (current.row() != ds->CurrentRow()) {
        // Leaving a row posts its changes (the data set does so before the cursor moves);
        // leaving an untouched appended row drops it.
        if (ds->State() == TDataSetState::dsInsert && !ds->Modified()) {
            ds->Cancel();
            if (current.row() >= ds->VisibleRowCount()) return;
        }
        if (current.row() < ds->VisibleRowCount()) ds->setRecNo(current.row() + 1);
    }
}

void TMDBGrid::deleteWithQuestion() {
    TDataSet* ds = dataSet();
    if (!ds || !ds->Active()) return;
    if (options_ & dgConfirmDelete) {
        const int answer = LocalizedMessageDlg(QString::fromUtf8(DeleteQuestion), mtConfirmation, mbOK | mbCancel, 0,
                                               QStringLiteral("Deutsch"), 0);
        if (answer != mrOk) return;
    }
    ds->Delete();
}

void TMDBGrid::keyPressEvent(QKeyEvent* event) {
    TDataSet* ds = dataSet();
    if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
        deleteWithQuestion();
        return;
    }
    if (ds && ds->Active() && !EditorMode()) {
        if (event->key() == Qt::Key_Escape && ds->State() != TDataSetState::dsBrowse) {
            ds->Cancel();
            return;
        }
        if (event->key() == Qt::Key_Insert && (options_ & dgEditing)) {
            ds->Append();
            return;
        }
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            ds->State() != TDataSetState::dsBrowse) {
            ds->Post();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void TMDBGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    TDataSet* ds = dataSet();
    // An appended record nobody typed into is dropped when the focus leaves the grid (not
    // when it goes to the grid's own cell editor).
    if ((options_ & dgCancelOnExit) && ds && ds->State() == TDataSetState::dsInsert && !ds->Modified() &&
        !EditorMode() && event->reason() != Qt::PopupFocusReason)
        ds->Cancel();
}

void TMDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (indexAt(event->position().toPoint()).isValid()) emit gridDoubleClicked();
}

} // namespace tablor
