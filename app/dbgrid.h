// TMDBGrid, the data grid dbgMain: a table view over TGridModel with the grid options of the
// main window (in-cell editing, titles, row indicator, column resizing, lines, Tab between
// cells, the delete question, dropping an untouched appended row on leaving, memo text and
// pictures drawn in cells). It keeps the view's current row and the data set's cursor
// together and reports title clicks and double-clicks to its owner.
#pragma once

#include "app/gridmodel.h"

#include <QStyledItemDelegate>
#include <QTableView>

namespace tablor {

enum TDBGridOption : unsigned {
    dgEditing = 1u << 0,
    dgTitles = 1u << 1,
    dgIndicator = 1u << 2,
    dgColumnResize = 1u << 3,
    dgColLines = 1u << 4,
    dgRowLines = 1u << 5,
    dgTabs = 1u << 6,
    dgConfirmDelete = 1u << 7,
    dgCancelOnExit = 1u << 8,
    dgDrawMemoText = 1u << 9,
    dgDrawGraphic = 1u << 10,
};
using TDBGridOptions = unsigned;

// Draws blob cells as pictures stretched to the cell when the model hands one over.
class TGridPictureDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class TMDBGrid : public QTableView {
    Q_OBJECT
public:
    // The question of the grid's own keyboard deletion; German in both languages.
    static constexpr const char* DeleteQuestion = "Datensatz löschen?";

    explicit TMDBGrid(QWidget* parent = nullptr);

    TGridModel* gridModel() const { return model_; }
    // The data set shown (the data source's data set); nullptr shows nothing.
    void setDataSet(TDataSet* dataSet);
    TDataSet* dataSet() const { return model_->dataSet(); }

    TDBGridOptions Options() const { return options_; }
    void setOptions(TDBGridOptions options);

    // The selected field: the index of the focused column (0 when none).
    int SelectedIndex() const;
    void setSelectedIndex(int index);
    TField* SelectedField() const;

    // Cell editing of the focused cell (EditorMode).
    bool EditorMode() const;
    void setEditorMode(bool on);
    // Ends the cell editing, handing the typed text to the data set.
    void commitEditing();

    // Every column wider than `width` pixels is set to `width`.
    void narrowColumns(int width);

signals:
    void titleClicked(int column);
    void gridDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void followDataSetRow(int row);
    void deleteWithQuestion();

    TGridModel* model_;
    TDBGridOptions options_ = 0;
    bool following_ = false; // moving the view to the data set's row: do not move the cursor back
};

} // namespace tablor
