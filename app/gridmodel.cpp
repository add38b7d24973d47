// The grid's table model over the data set's random-access face.
#include "app/gridmodel.h"

#include "codecs/imagecodecs.h"
#include "db/DbError.h"

#include <algorithm>
#include <cstring>

namespace tablor {

namespace {
quint64 cellKey(int row, int col) {
    return (static_cast<quint64>(static_cast<quint32>(row)) << 32) | static_cast<quint32>(col);
}

QString placeholderFor(TFieldType kind) {
    switch (kind) {
    case TFieldType::ftMemo: return QStringLiteral("(MEMO)");
    case TFieldType::ftFmtMemo: return QStringLiteral("(FMTMEMO)");
    case TFieldType::ftGraphic: return QStringLiteral("(GRAPHIC)");
    case TFieldType::ftOraBlob: return QStringLiteral("(BLOB)");
    default: return QStringLiteral("(BLOB)");
    }
}
} // namespace

TGridModel::TGridModel(QObject* parent) : QAbstractTableModel(parent), pictures_(64 * 1024) {}

TGridModel::~TGridModel() {
    if (dataSet_) dataSet_->removeObserver(this);
}

void TGridModel::setDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->removeObserver(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->addObserver(this);
    resetAll();
    emit currentRowChanged(dataSet_ && dataSet_->Active() ? dataSet_->CurrentRow() : -1);
}

void TGridModel::resetAll() {
    beginResetModel();
    pictures_.clear();
    const bool active = dataSet_ && dataSet_->Active();
    rows_ = active ? dataSet_->VisibleRowCount() : 0;
    indicatorRow_ = active ? dataSet_->CurrentRow() : -1;
    columns_ = active ? dataSet_->FieldCount() : 0;
    columnNames_.clear();
    for (int c = 0; c < columns_; ++c) columnNames_ << dataSet_->Fields(c)->FieldName();
    endResetModel();
}

void TGridModel::refreshAll() {
    // The same columns (re-sorted, controls enabled again, reopened): keep the view's column
    // widths and position, adjust the row count and redraw. Other columns: a full reset.
    const bool active = dataSet_ && dataSet_->Active();
    bool sameColumns = active && columns_ > 0 && columns_ == dataSet_->FieldCount() &&
                       columnNames_.size() == static_cast<qsizetype>(columns_);
    for (int c = 0; sameColumns && c < columns_; ++c) sameColumns = columnNames_[c] == dataSet_->Fields(c)->FieldName();
    if (!sameColumns) {
        resetAll();
        return;
    }
    pictures_.clear();
    const int rows = dataSet_->VisibleRowCount();
    if (rows > rows_) {
        beginInsertRows({}, rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows({}, rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    indicatorRow_ = dataSet_->CurrentRow();
    if (rows_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
        emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    }
}

void TGridModel::setDrawMemoText(bool on) {
    if (on == drawMemoText_) return;
    drawMemoText_ = on;
    if (rows_ && columns_) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
}

void TGridModel::setDrawGraphic(bool on) {
    if (on == drawGraphic_) return;
    drawGraphic_ = on;
    if (rows_ && columns_) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
}

void TGridModel::setLanguageIndex(int language) {
    if (language == languageIndex_) return;
    languageIndex_ = language;
    if (rows_ && columns_) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
}

bool TGridModel::drawsPicture(TFieldType kind) const {
    return drawGraphic_ &&
           (kind == TFieldType::ftBlob || kind == TFieldType::ftGraphic || kind == TFieldType::ftOraBlob);
}

int TGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int TGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QString TGridModel::cellDisplayText(int row, int col) const {
    if (!dataSet_ || !dataSet_->Active() || row >= dataSet_->VisibleRowCount() || col >= dataSet_->FieldCount())
        return {};
    const TFieldType kind = dataSet_->Fields(col)->DataType();
    const bool memoLike = IsMemoKind(kind) || kind == TFieldType::ftBlob;
    const bool largeKind = memoLike || kind == TFieldType::ftGraphic || kind == TFieldType::ftOraBlob;
    if (drawsPicture(kind)) return {};
    if (largeKind && !(memoLike && drawMemoText_)) return placeholderFor(kind);
    if (memoLike) {
        if (dataSet_->CellIsNull(row, col)) return {};
        if (kind == TFieldType::ftBlob) {
            const QByteArray bytes = dataSet_->CellBytes(row, col);
            return QString::fromStdString(describeBlob(
                {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())},
                languageIndex_));
        }
        // The first line only, and of a long one only the start.
        const QString text = dataSet_->CellText(row, col);
        qsizetype end = text.indexOf(u'\n');
        if (end > 0 && text.at(end - 1) == u'\r') --end;
        return text.left(std::min<qsizetype>(end < 0 ? text.size() : end, MaxCellTextLength));
    }
    return dataSet_->CellText(row, col);
}

QImage TGridModel::picture(int row, int col) const {
    if (const QImage* cached = pictures_.object(cellKey(row, col))) return *cached;
    const QByteArray bytes = dataSet_->CellBytes(row, col);
    ++picturesDecoded_;
    QImage image;
    // Cells are small: a large JPEG decodes at a fraction of its size.
    if (auto decoded = decodeBitmapOrJpeg(
            {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())},
            DecodeOptions{256, 256})) {
        image = QImage(decoded->width, decoded->height, QImage::Format_ARGB32);
        for (int y = 0; y < decoded->height; ++y)
            std::memcpy(image.scanLine(y), decoded->pixels.data() + static_cast<std::size_t>(y) * decoded->width,
                        static_cast<std::size_t>(decoded->width) * 4);
    }
    const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes() / 1024);
    pictures_.insert(cellKey(row, col), new QImage(image), cost);
    return image;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !dataSet_ || !dataSet_->Active()) return {};
    const int row = index.row(), col = index.column();
    if (row >= dataSet_->VisibleRowCount() || col >= dataSet_->FieldCount()) return {};
    const TFieldType kind = dataSet_->Fields(col)->DataType();
    switch (role) {
    case Qt::DisplayRole: return cellDisplayText(row, col);
    case Qt::EditRole: return dataSet_->CellText(row, col);
    case PictureRole: return drawsPicture(kind) ? QVariant(picture(row, col)) : QVariant();
    case FieldKindRole: return static_cast<int>(kind);
    case Qt::TextAlignmentRole:
        if (IsIntegerKind(kind) || IsFloatKind(kind)) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default: return {};
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (dataSet_ && dataSet_->Active() && section < dataSet_->FieldCount())
            return dataSet_->Fields(section)->DisplayName();
        return {};
    }
    // The row indicator: the current row only; a triangle while browsing, an I-beam while the
    // row is edited and an asterisk for an appended row.
    if (!dataSet_ || !dataSet_->Active() || section != dataSet_->CurrentRow()) return QString();
    switch (dataSet_->State()) {
    case TDataSetState::dsEdit: return QStringLiteral("I");
    case TDataSetState::dsInsert: return QStringLiteral("*");
    default: return QString(QChar(0x25B6));
    }
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || !dataSet_ || !dataSet_->Active()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TFieldType kind = dataSet_->Fields(index.column())->DataType();
    // Text, numbers and dates are edited in the cell; memos and pictures in their editors.
    if (!IsBinaryKind(kind) && !IsMemoKind(kind) && kind != TFieldType::ftAutoInc) f |= Qt::ItemIsEditable;
    return f;
}

bool TGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !dataSet_ || !dataSet_->Active()) return false;
    const QString text = value.toString();
    if (dataSet_->State() == TDataSetState::dsBrowse) {
        if (text == dataSet_->CellText(index.row(), index.column())) return false; // nothing typed: no edit state
        if (index.row() != dataSet_->CurrentRow()) dataSet_->setRecNo(index.row() + 1);
        dataSet_->Edit();
    } else if (index.row() != dataSet_->CurrentRow()) {
        return false;
    }
    TField* field = dataSet_->Fields(index.column());
    if (text.isEmpty() && !IsTextKind(field->DataType())) field->Clear();
    else field->setAsString(text); // throws EDatabaseError for a value the field cannot take
    return true;
}

void TGridModel::dataSetChanged(TDataSet& dataSet, TDataChange change, int row) {
    if (&dataSet != dataSet_) return;
    switch (change) {
    case TDataChange::Reset:
        refreshAll();
        emit currentRowChanged(dataSet_->Active() ? dataSet_->CurrentRow() : -1);
        break;
    case TDataChange::RowChanged:
        if (row >= 0 && row < rows_) {
            for (int c = 0; c < columns_; ++c) pictures_.remove(cellKey(row, c));
            emit dataChanged(index(row, 0), index(row, std::max(0, columns_ - 1)));
            emit headerDataChanged(Qt::Vertical, row, row);
        }
        break;
    case TDataChange::RowInserted:
        beginInsertRows({}, row, row);
        rows_ = dataSet_->VisibleRowCount();
        endInsertRows();
        break;
    case TDataChange::RowRemoved:
        if (row >= 0 && row < rows_) {
            beginRemoveRows({}, row, row);
            rows_ = dataSet_->VisibleRowCount();
            // Rows after the removed one move up: their cached pictures no longer fit.
            pictures_.clear();
            endRemoveRows();
        }
        break;
    case TDataChange::CurrentChanged:
        for (int r : {indicatorRow_, row})
            if (r >= 0 && r < rows_) emit headerDataChanged(Qt::Vertical, r, r);
        indicatorRow_ = row;
        emit currentRowChanged(row);
        break;
    case TDataChange::StateChanged:
        if (row >= 0 && row < rows_) emit headerDataChanged(Qt::Vertical, row, row);
        break;
    }
}

} // namespace tablor
