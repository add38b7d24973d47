// The grid dbgMain and its model: only what is visible is converted, memo text and pictures
// in cells, the row indicator, in-cell editing, the delete question, dropping an untouched
// appended row, narrowing columns.
#include "app/dbgrid.h"
#include "app_fixture.h"
#include "codecs/imagecodecs.h"
#include "support/memdataset.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>

namespace tablor::test {
namespace {

class GridTest : public AppTest {};

std::unique_ptr<MemDataSet> numbers(int count) {
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) rows.push_back({i, QStringLiteral("Zeile %1").arg(i), double(i) / 4});
    auto ds = std::make_unique<MemDataSet>(std::vector<MemDataSet::Col>{{"Nr", TFieldType::ftInteger},
                                                                        {"Text", TFieldType::ftString},
                                                                        {"Wert", TFieldType::ftFloat}},
                                           std::move(rows));
    ds->Open();
    return ds;
}

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

DecodedPicture solid(std::uint32_t colour) {
    DecodedPicture p;
    p.width = p.height = 8;
    p.pixels.assign(64, colour);
    return p;
}

TEST_F(GridTest, OpeningAndScrollingALargeTableConvertsOnlyVisibleCells) {
    auto ds = numbers(200000);
    TMDBGrid grid;
    grid.resize(500, 300);
    grid.setDataSet(ds.get());
    grid.show();
    QApplication::processEvents();
    const long afterOpen = ds->valuesRead;
    EXPECT_GT(afterOpen, 0);
    EXPECT_LT(afterOpen, 3000);
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    QApplication::processEvents();
    EXPECT_LT(ds->valuesRead - afterOpen, 3000);
    EXPECT_EQ(grid.gridModel()->rowCount(), 200000);
    EXPECT_EQ(ds->RecNo(), 1); // painting does not move the cursor
}

TEST_F(GridTest, CurrentRowFollowsTheCursorBothWaysAndShowsTheIndicator) {
    auto ds = numbers(20);
    TMDBGrid grid;
    grid.setDataSet(ds.get());
    ds->setRecNo(5);
    EXPECT_EQ(grid.currentIndex().row(), 4);
    EXPECT_EQ(grid.gridModel()->headerData(4, Qt::Vertical).toString(), QString(QChar(0x25B6)));
    EXPECT_EQ(grid.gridModel()->headerData(3, Qt::Vertical).toString(), QString());
    grid.setCurrentIndex(grid.gridModel()->index(9, 1));
    EXPECT_EQ(ds->RecNo(), 10);
    EXPECT_EQ(grid.SelectedIndex(), 1);
    EXPECT_EQ(grid.SelectedField()->FieldName(), "Text");
    ds->Edit();
    EXPECT_EQ(grid.gridModel()->headerData(9, Qt::Vertical).toString(), "I");
    ds->Cancel();
    ds->Append();
    EXPECT_EQ(grid.gridModel()->rowCount(), 21);
    EXPECT_EQ(grid.gridModel()->headerData(20, Qt::Vertical).toString(), "*");
}

TEST_F(GridTest, CellEditingPutsTheRowIntoEditStateAndChecksTheValue) {
    auto ds = numbers(5);
    TMDBGrid grid;
    grid.setDataSet(ds.get());
    TGridModel* m = grid.gridModel();
    EXPECT_TRUE(m->flags(m->index(2, 1)) & Qt::ItemIsEditable);
    EXPECT_TRUE(m->setData(m->index(2, 1), "geändert"));
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_THROW(m->setData(m->index(2, 0), "keine Zahl"), EDatabaseError);
    ds->Post();
    EXPECT_EQ(ds->CellText(2, 1), "geändert");
    // Unchanged text starts no edit.
    EXPECT_FALSE(m->setData(m->index(1, 1), "Zeile 1"));
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
}

TEST_F(GridTest, MemoTextAndPicturesInCells) {
    const QByteArray bmp = bytesOf(encodeBmp24(solid(0xFFFF0000u)));
    const QByteArray jpeg = bytesOf(encodeJpeg(solid(0xFF00FF00u)));
    MemDataSet ds({{"Notiz", TFieldType::ftMemo}, {"Bild", TFieldType::ftBlob}, {"Grafik", TFieldType::ftGraphic}},
                  {{"Erste Zeile\nzweite", bmp, jpeg}, {"x", jpeg, QByteArray("kein Bild")}});
    ds.Open();
    TMDBGrid grid;
    grid.setDataSet(&ds);
    TGridModel* m = grid.gridModel();
    // Without the preview: a memo's first line, a binary blob's description in the window's
    // language, the graphic kind as a placeholder.
    EXPECT_EQ(m->data(m->index(0, 0)).toString(), "Erste Zeile");
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), QString::fromUtf8("(BMP 8 × 8)"));
    EXPECT_EQ(m->data(m->index(1, 1)).toString(), QString::fromUtf8("(JPEG 8 × 8)"));
    EXPECT_EQ(m->data(m->index(1, 0)).toString(), "x");
    EXPECT_EQ(m->data(m->index(0, 2)).toString(), "(GRAPHIC)");
    EXPECT_FALSE(m->data(m->index(0, 1), TGridModel::PictureRole).isValid());
    EXPECT_EQ(m->picturesDecoded(), 0);
    // With it: pictures, bitmap first, then JPEG; anything else an empty picture.
    grid.setOptions(grid.Options() | dgDrawGraphic);
    const QImage red = m->data(m->index(0, 1), TGridModel::PictureRole).value<QImage>();
    ASSERT_FALSE(red.isNull());
    EXPECT_EQ(red.pixel(3, 3), 0xFFFF0000u);
    const QImage green = m->data(m->index(0, 2), TGridModel::PictureRole).value<QImage>();
    ASSERT_FALSE(green.isNull());
    EXPECT_GT(qGreen(green.pixel(3, 3)), 200);
    EXPECT_TRUE(m->data(m->index(1, 2), TGridModel::PictureRole).value<QImage>().isNull());
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), QString());
    // A picture is decoded once, then drawn from the cache.
    const int decoded = m->picturesDecoded();
    m->data(m->index(0, 1), TGridModel::PictureRole);
    EXPECT_EQ(m->picturesDecoded(), decoded);
    // Drawing the grid with pictures works headless.
    grid.resize(400, 200);
    QImage shot(grid.size(), QImage::Format_ARGB32);
    grid.render(&shot);
    grid.setOptions(grid.Options() & ~dgDrawMemoText & ~dgDrawGraphic);
    EXPECT_EQ(m->data(m->index(0, 0)).toString(), "(MEMO)");
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), "(BLOB)");
}

TEST_F(GridTest, KeyboardDeletionAsksInGermanWithOkAndCancel) {
    auto ds = numbers(3);
    TMDBGrid grid;
    grid.setDataSet(ds.get());
    ds->setRecNo(2);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::ControlModifier);
    messages_->answer(mrCancel);
    QApplication::sendEvent(&grid, &del);
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, "Datensatz löschen?");
    EXPECT_EQ(messages_->last().type, mtConfirmation);
    EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbOK | mbCancel));
    EXPECT_EQ(messages_->last().language, "Deutsch");
    EXPECT_EQ(ds->RecordCount(), 3);
    messages_->answer(mrOk);
    QApplication::sendEvent(&grid, &del);
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->CellText(1, 1), "Zeile 2");
}

TEST_F(GridTest, AnUntouchedAppendedRowIsDroppedWhenTheFocusLeaves) {
    auto ds = numbers(3);
    TMDBGrid grid;
    grid.setDataSet(ds.get());
    ds->Append();
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&grid, &out);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(grid.gridModel()->rowCount(), 3);
    // A typed-into one stays.
    ds->Append();
    ds->FieldByName("Nr")->setAsInteger(9);
    QApplication::sendEvent(&grid, &out);
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
}

TEST_F(GridTest, NarrowingSetsWideColumnsTo70AndKeepsNarrowOnes) {
    auto ds = numbers(3);
    TMDBGrid grid;
    grid.setDataSet(ds.get());
    grid.setColumnWidth(0, 40);
    grid.setColumnWidth(1, 200);
    grid.setColumnWidth(2, 71);
    grid.narrowColumns(70);
    EXPECT_EQ(grid.columnWidth(0), 40);
    EXPECT_EQ(grid.columnWidth(1), 70);
    EXPECT_EQ(grid.columnWidth(2), 70);
    // Sorting keeps the widths and the current record.
    ds->setRecNo(2);
    ds->setSortedFields("[Wert]");
    EXPECT_EQ(grid.columnWidth(1), 70);
    EXPECT_EQ(grid.currentIndex().row(), ds->CurrentRow());
}

} // namespace
} // namespace tablor::test
