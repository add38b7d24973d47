// TGridModel: the table model behind the grid dbgMain. It reads the grid's current data set
// through its random-access face (CellText/CellBytes by row number), so painting a row never
// moves the cursor or fires data set events, and only the cells a view asks for are
// converted. Pictures of blob cells are decoded on demand (scaled for the cell where the codec
// can) and kept in a small cache; without pictures a blob cell shows a short description
// ("(JPEG 640 × 480)") and a memo cell its first line.
//
// The model observes its data set; the data set must outlive the model or be detached with
// setDataSet(nullptr) first. Writing a cell (in-cell editing) moves the cursor to the row,
// puts the data set into edit state and sets the field's text; posting is the data set's
// business (leaving the row, tbtEdit, Enter).
#pragma once

#include "db/DataSet.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QImage>
#include <QStringList>

namespace tablor {

class TGridModel : public QAbstractTableModel, public TDataSetObserver {
    Q_OBJECT
public:
    // The picture of a blob cell (QImage; an empty one when the content is no picture).
    static constexpr int PictureRole = Qt::UserRole + 1;
    // The field kind of the column (int of TFieldType).
    static constexpr int FieldKindRole = Qt::UserRole + 2;
    // Longest text a cell shows of a memo or binary value (the rest is cut off for drawing).
    static constexpr int MaxCellTextLength = 512;

    explicit TGridModel(QObject* parent = nullptr);
    ~TGridModel() override;

    void setDataSet(TDataSet* dataSet);
    TDataSet* dataSet() const { return dataSet_; }

    void setDrawMemoText(bool on);
    bool drawMemoText() const { return drawMemoText_; }
    void setDrawGraphic(bool on);
    bool drawGraphic() const { return drawGraphic_; }
    // The language of the blob descriptions (0 German, 1 English).
    void setLanguageIndex(int language);

    // Whether a cell of this kind is drawn as a picture with the current options.
    bool drawsPicture(TFieldType kind) const;
    // Text a cell shows; what the view paints and what tests read.
    QString cellDisplayText(int row, int col) const;
    // Decoded pictures so far (for tests that check nothing is decoded needlessly).
    int picturesDecoded() const { return picturesDecoded_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    void dataSetChanged(TDataSet& dataSet, TDataChange change, int row) override;

signals:
    // The data set's cursor moved to `row` (0-based; -1 for none).
    void currentRowChanged(int row);

private:
    QImage picture(int row, int col) const;
    void resetAll();
    void refreshAll();

    TDataSet* dataSet_ = nullptr;
    int rows_ = 0; // row count the views know about
    int columns_ = 0;
    int indicatorRow_ = -1;
    QStringList columnNames_; // the columns the views know about  // row whose indicator was drawn last
    bool drawMemoText_ = true;
    bool drawGraphic_ = false;
    int languageIndex_ = 0;
    mutable QCache<quint64, QImage> pictures_;
    mutable int picturesDecoded_ = 0;
};

} // namespace tablor
