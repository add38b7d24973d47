// Printing a table: the column selection (ticks, menu, drag and drop), the column widths and the
// title of the report it lays out, and a printout of a fixture table read back from its PDF.
#include "db/ADODB.h"
#include "db/JetConnectionString.h"
#include "db/ZMySql.h"
#include "l10n/translator.h"
#include "print/printrules.h"
#include "print/u_druck.h"
#include "print/u_printselect.h"
#include "report/ReportLayout.h"
#include "report/ReportRenderer.h"
#include "support/memdataset.h"
#include "jet/availability.h"
#include "report/pdftext.h"
#include "support/files.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <numeric>
#include <optional>

using namespace tablor;
using tablor::test::MemDataSet;

namespace {

// MemDataSet with a declared size per column.
class SizedDataSet : public MemDataSet {
public:
    SizedDataSet(std::vector<Col> columns, std::vector<int> sizes, std::vector<std::vector<QVariant>> data = {})
        : MemDataSet(std::move(columns), std::move(data)), sizes_(std::move(sizes)) {}

protected:
    void InternalOpen() override {
        order.resize(rows.size());
        std::iota(order.begin(), order.end(), 0);
        for (size_t i = 0; i < cols.size(); ++i) addField(cols[i].name, cols[i].kind, sizes_[i]);
    }

private:
    std::vector<int> sizes_;
};

// What the column selection laid out: each column as (data text, title, left, width).
struct Column {
    QString name;
    QString caption;
    int left;
    int width;
    bool operator==(const Column&) const = default;
};
void PrintTo(const Column& c, std::ostream* os) {
    *os << c.name.toStdString() << " \"" << c.caption.toStdString() << "\" at " << c.left << " width " << c.width;
}

class PrintTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "print_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) app_ = new QApplication(argc, argv);
    }
    void SetUp() override {
        previous_ = setReportPreviewPresenter([this](TfrmAusdruck& form, QWidget*) {
            ++previews_;
            title_ = form.title();
            columns_.clear();
            const report::Report& r = form.QuickRepAusdruck;
            ASSERT_EQ(r.detail.texts.size(), r.columnHeader.texts.size());
            for (size_t i = 0; i < r.detail.texts.size(); ++i) {
                const report::ReportText& data = r.detail.texts[i];
                const report::ReportText& head = r.columnHeader.texts[i];
                EXPECT_EQ(head.name.mid(7), data.name.mid(6)); // dbTitel<i> beside dbFeld<i>
                EXPECT_EQ(head.left, data.left);
                EXPECT_EQ(head.width, data.width);
                EXPECT_TRUE(data.autoStretch && head.autoStretch && !data.autoSize && !head.autoSize);
                EXPECT_EQ(data.fieldName, head.caption);
                columns_.push_back({data.name, head.caption, int(data.left), int(data.width)});
            }
            if (onPreview_) onPreview_(form);
        });
    }
    void TearDown() override { setReportPreviewPresenter(previous_); }

    static void tick(QListWidget* list, int row, bool on) {
        list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    static QStringList entries(QListWidget* list) {
        QStringList l;
        for (int i = 0; i < list->count(); ++i) l << list->item(i)->text();
        return l;
    }
    static void drag(TfrmColSelect& dlg, int from, std::optional<int> to) {
        QListWidget* l = dlg.clbSpalten;
        dlg.clbSpaltenMouseDown(l->visualItemRect(l->item(from)).center());
        dlg.clbSpaltenDragDrop(to ? l->visualItemRect(l->item(*to)).center()
                                  : QPoint(5, l->viewport()->height() - 2)); // below every entry
    }

    static QApplication* app_;
    ReportPreviewPresenter previous_;
    std::function<void(TfrmAusdruck&)> onPreview_;
    int previews_ = 0;
    QString title_;
    std::vector<Column> columns_;
};

QApplication* PrintTest::app_ = nullptr;

SizedDataSet idNameCity() {
    return SizedDataSet({{"id", TFieldType::ftInteger}, {"name", TFieldType::ftString}, {"city", TFieldType::ftString}},
                        {4, 50, 25});
}

TEST_F(PrintTest, ColumnsAreSizedByDeclaredLengthAndLaidOutInListOrder) {
    SizedDataSet ds = idNameCity();
    ds.Open();
    TfrmColSelect dlg(&ds);
    dlg.show();
    dlg.btnDruckenClick();
    // 794 − 500 = 294 pixels shared by 50 + 25 characters; id counts 0 and gets the least.
    EXPECT_EQ(columns_, (std::vector<Column>{
                            {"dbFeld0", "id", 0, 30}, {"dbFeld1", "name", 30, 196}, {"dbFeld2", "city", 226, 98}}));
    EXPECT_EQ(previews_, 1);
    EXPECT_TRUE(dlg.isVisible()); // stays open for another printout

    // Halves go to the even neighbour; nothing below 30; no string ticked: 30 each.
    EXPECT_EQ(ColumnWidth(5, 20, 294), 74);  // 73.5
    EXPECT_EQ(ColumnWidth(5, 20, 290), 72);  // 72.5
    EXPECT_EQ(ColumnWidth(1, 100, 294), 30); // 2.94
    EXPECT_EQ(ColumnWidth(0, 0, 294), 30);

    // The dialog stays usable: another choice prints again, unticked entries keep their number.
    tick(dlg.clbSpalten, 1, false);
    dlg.btnDruckenClick();
    EXPECT_EQ(previews_, 2);
    EXPECT_EQ(columns_, (std::vector<Column>{{"dbFeld0", "id", 0, 30}, {"dbFeld2", "city", 30, 294}}));
}

TEST_F(PrintTest, DraggingAnEntryReordersThePrintedColumns) {
    SizedDataSet ds = idNameCity();
    ds.Open();
    TfrmColSelect dlg(&ds);
    dlg.show();
    drag(dlg, 2, 1); // city onto name
    EXPECT_EQ(entries(dlg.clbSpalten), (QStringList{"id", "city", "name"}));
    dlg.btnDruckenClick();
    EXPECT_EQ(columns_, (std::vector<Column>{
                            {"dbFeld0", "id", 0, 30}, {"dbFeld1", "city", 30, 98}, {"dbFeld2", "name", 128, 196}}));

    drag(dlg, 0, std::nullopt); // id below all entries: last
    EXPECT_EQ(entries(dlg.clbSpalten), (QStringList{"city", "name", "id"}));
    dlg.clbSpaltenMouseDown(QPoint(5, dlg.clbSpalten->viewport()->height() - 2)); // not on an entry
    dlg.clbSpaltenDragDrop(dlg.clbSpalten->visualItemRect(dlg.clbSpalten->item(0)).center());
    EXPECT_EQ(entries(dlg.clbSpalten), (QStringList{"city", "name", "id"}));
    EXPECT_TRUE(dlg.clbSpaltenDragOver(dlg.clbSpalten));
    EXPECT_FALSE(dlg.clbSpaltenDragOver(&dlg));
}

TEST_F(PrintTest, BlobsAreListedDisabledAndTheMenuLeavesThemAlone) {
    SizedDataSet ds({{"id", TFieldType::ftAutoInc},
                     {"photo", TFieldType::ftBlob},
                     {"note", TFieldType::ftMemo},
                     {"flag", TFieldType::ftBoolean}},
                    {0, 0, 0, 0});
    ds.Open();
    TfrmColSelect dlg(&ds);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QListWidget* l = dlg.clbSpalten;
    const auto ticks = [l] {
        QString s;
        for (int i = 0; i < l->count(); ++i) s += l->item(i)->checkState() == Qt::Checked ? 'x' : '-';
        return s;
    };
    EXPECT_EQ(ticks(), "x-x-");
    for (int row : {1, 3}) {
        EXPECT_FALSE(l->item(row)->flags() & (Qt::ItemIsEnabled | Qt::ItemIsUserCheckable)) << row;
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).topLeft() + QPoint(8, 8));
    }
    EXPECT_EQ(ticks(), "x-x-");

    tick(l, 0, false);
    l->setFocus();
    QTest::keyClick(l, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "x-x-");
    tick(l, 2, false);
    QTest::keyClick(l, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "--x-");

    EXPECT_EQ(dlg.PopupMenu1->actions(), (QList<QAction*>{dlg.mnuSelAll, dlg.popSelReverse}));
    EXPECT_EQ(dlg.mnuSelAll->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
    EXPECT_EQ(dlg.popSelReverse->shortcut(), QKeySequence(QStringLiteral("Ctrl+U")));
    EXPECT_EQ(dlg.mnuSelAll->text(), QStringLiteral("Alles Auswählen"));
    EXPECT_EQ(dlg.popSelReverse->text(), QStringLiteral("Auswahl umkehren"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Druckauswahl"));
    dlg.translator()->switchLanguage(QStringLiteral("English"));
    EXPECT_EQ(dlg.mnuSelAll->text(), QStringLiteral("Select all"));
    EXPECT_EQ(dlg.popSelReverse->text(), QStringLiteral("Invert selection"));
    EXPECT_EQ(dlg.btnAbbruch->text(), QStringLiteral("&Cancel"));

    // Nothing ticked: no columns, the title and footer only.
    for (int i = 0; i < l->count(); ++i) tick(l, i, false);
    dlg.btnDruckenClick();
    EXPECT_TRUE(columns_.empty());
}

TEST_F(PrintTest, TitleNamesAnAccessTableBareAndAMySqlTableAfterTheHeading) {
    TADOTable access;
    access.setTableName(QStringLiteral("[Kunden]"));
    EXPECT_EQ(ReportTitle(&access), QStringLiteral("Kunden"));
    TZMySqlTable mysql;
    mysql.setTableName(QStringLiteral("`Kunden`"));
    EXPECT_EQ(ReportTitle(&mysql), QStringLiteral("Datenbank Übersicht: Kunden"));
}

// Northwind's 91 customers, two one-line columns: 44 detail bands of 5 mm fit between the
// column header and the footer of an A4 page (297 − 2 × 25 − 10.6 − 5 − 10.6 = 220.8 mm), so
// three pages: 44, 44, 3.
TEST_F(PrintTest, PrintoutOfAFixtureTableHasItsPagesFootersAndRecords) {
    const QString fixture = tablor::test::sharedTestDataPath("mdb/northwind_jet4_statdata.mdb");
    if (!QFile::exists(fixture)) JET_UNAVAILABLE() << "fixture missing: " << fixture.toStdString();
    if (!test::havePdfToText()) JET_UNAVAILABLE() << "pdftotext is not installed (poppler-utils)";
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("nw.mdb"));
    ASSERT_TRUE(QFile::copy(fixture, copy));
    TADOConnection cn;
    cn.ConnectionString = JetOpenConnectionString(copy);
    cn.Open();
    TADOTable customers;
    customers.setConnection(&cn);
    customers.setTableName(QStringLiteral("Customers"));
    customers.Open();
    ASSERT_EQ(customers.RecordCount(), 91);

    TfrmColSelect dlg(&customers);
    for (int i = 0; i < dlg.clbSpalten->count(); ++i) {
        const QString t = dlg.clbSpalten->item(i)->text();
        tick(dlg.clbSpalten, i, t == QStringLiteral("CustomerID") || t == QStringLiteral("Country"));
    }
    const QString pdf = dir.filePath(QStringLiteral("customers.pdf"));
    onPreview_ = [&](TfrmAusdruck& form) {
        report::ReportLayout layout(form.QuickRepAusdruck);
        report::ReportRenderer(layout).writePdf(pdf);
    };
    dlg.btnDruckenClick();
    const QStringList pages = test::pdfPages(pdf);
    ASSERT_EQ(pages.size(), 3);
    const QRegularExpression footer(QStringLiteral("Seite\\s+(\\d+)\\s*$"));
    const int id = customers.FieldByName(QStringLiteral("CustomerID"))->Index();
    const int country = customers.FieldByName(QStringLiteral("Country"))->Index();
    for (int p = 0; p < 3; ++p) {
        EXPECT_TRUE(pages[p].trimmed().startsWith(QStringLiteral("Customers"))) << p;
        EXPECT_EQ(footer.match(pages[p]).captured(1), QString::number(p + 1));
        // Each page's first and last record, with its country on the same line.
        for (int row : {p * 44, std::min(p * 44 + 43, 90)}) {
            const QRegularExpression line(QRegularExpression::escape(customers.CellText(row, id)) + "\\s+" +
                                          QRegularExpression::escape(customers.CellText(row, country)));
            EXPECT_TRUE(line.match(pages[p]).hasMatch()) << "row " << row << " on page " << p + 1;
            for (int other = 0; other < 3; ++other) {
                if (other != p) {
                    EXPECT_FALSE(pages[other].contains(customers.CellText(row, id))) << row;
                }
            }
        }
    }
}

} // namespace
