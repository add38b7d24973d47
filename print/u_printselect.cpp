// u_printselect.cpp — the column selection of a table's printout.
#include "print/u_printselect.h"

#include "ui/windowcolour.h"
#include "db/DataSet.h"
#include "l10n/translator.h"
#include "print/printrules.h"
#include "print/u_druck.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace tablor {

namespace {

// clang-format off
constexpr std::array<TextPair, 6> kTexts = {{
    {"",              "windowTitle", "Druckauswahl",      "Print preview"},
    {"Label1",        "text",        "Wählen Sie die zu druckenden Spalten aus, benutzen\n"
                                     "Sie Drag & Drop um die Spaltenposition zu verändern.",
                                     "Select the columns to be printed, you may change the order by drag & drop."},
    {"mnuSelAll",     "text",        "Alles Auswählen",   "Select all"},
    {"popSelReverse", "text",        "Auswahl umkehren",  "Invert selection"},
    {"btnDrucken",    "text",        "&Drucken",          "&Print"},
    {"btnAbbruch",    "text",        "&Schließen",        "&Cancel"},
}};
// clang-format on

constexpr const char* kEntryMime = "application/x-tablor-column-entry";

// The check list: forwards mouse-down, drag-over and drop to the dialog's reordering steps and
// starts a drag itself once the pointer has moved far enough from where the button went down.
class TCheckListBox : public QListWidget {
public:
    explicit TCheckListBox(TfrmColSelect* owner) : QListWidget(owner), owner_(owner) {
        viewport()->setAcceptDrops(true);
        setDragEnabled(false);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        owner_->clbSpaltenMouseDown(event->position().toPoint());
        pressedAt_ = event->position().toPoint();
        pressed_ = event->button() == Qt::LeftButton;
        QListWidget::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        pressed_ = false;
        QListWidget::mouseReleaseEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!pressed_ ||
            (event->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance()) {
            QListWidget::mouseMoveEvent(event);
            return;
        }
        pressed_ = false;
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setData(QString::fromLatin1(kEntryMime), QByteArray());
        drag->setMimeData(mime);
        drag->exec(Qt::MoveAction);
    }
    void dragEnterEvent(QDragEnterEvent* event) override { acceptIfOurs(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { acceptIfOurs(event); }
    void dropEvent(QDropEvent* event) override {
        if (!owner_->clbSpaltenDragOver(event->source())) {
            event->ignore();
            return;
        }
        owner_->clbSpaltenDragDrop(event->position().toPoint());
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }

private:
    void acceptIfOurs(QDragMoveEvent* event) {
        if (owner_->clbSpaltenDragOver(event->source())) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else event->ignore();
    }

    TfrmColSelect* owner_;
    QPoint pressedAt_;
    bool pressed_ = false;
};

bool isTicked(const QListWidgetItem* item) { return item->checkState() == Qt::Checked; }
bool isTickable(const QListWidgetItem* item) { return item->flags().testFlag(Qt::ItemIsUserCheckable); }

} // namespace

void Print(TDataSet* dataSet, QWidget* parent) {
    TfrmColSelect dialog(dataSet, parent);
    dialog.exec();
}

TfrmColSelect::TfrmColSelect(TDataSet* dataSet, QWidget* parent) : QDialog(parent), dataSet_(dataSet) {
    setObjectName(QStringLiteral("frmColSelect"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    applyWindowColour(this);
    buildControls();
    // The design language (German) first; the translator then follows the marked window.
    for (const TextPair& t : kTexts) {
        QObject* target = *t.object ? findChild<QObject*>(QString::fromLatin1(t.object)) : this;
        if (target) target->setProperty(t.property, QString::fromUtf8(t.german));
    }
    translator_ = new TTranslator(this, QString::fromLatin1(TTranslator::German), kTexts);
    fillEntries();
}

TfrmColSelect::~TfrmColSelect() = default;

void TfrmColSelect::buildControls() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    // The German text breaks its line itself, the English one is left to wrap; a small font keeps
    // each German half on one line of the designed width.
    Label1->setWordWrap(true);
    QFont small(QStringLiteral("Arial"));
    small.setPointSizeF(std::min(Label1->font().pointSizeF(), 8.0));
    Label1->setFont(small);
    column->addWidget(Label1);

    clbSpalten = new TCheckListBox(this);
    clbSpalten->setObjectName(QStringLiteral("clbSpalten"));
    column->addWidget(clbSpalten, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    mnuSelAll = PopupMenu1->addAction(QString());
    mnuSelAll->setObjectName(QStringLiteral("mnuSelAll"));
    mnuSelAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    popSelReverse = PopupMenu1->addAction(QString());
    popSelReverse->setObjectName(QStringLiteral("popSelReverse"));
    popSelReverse->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    // The shortcuts work anywhere in the dialog, the list's own Ctrl+A included.
    for (QAction* a : {mnuSelAll, popSelReverse}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    connect(mnuSelAll, &QAction::triggered, this, [this] { mnuSelAllClick(); });
    connect(popSelReverse, &QAction::triggered, this, [this] { popSelReverseClick(); });
    clbSpalten->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(clbSpalten, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(clbSpalten->viewport()->mapToGlobal(pos)); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnDrucken = new QPushButton(this);
    btnDrucken->setObjectName(QStringLiteral("btnDrucken"));
    btnDrucken->setAutoDefault(false);
    btnAbbruch = new QPushButton(this);
    btnAbbruch->setObjectName(QStringLiteral("btnAbbruch"));
    btnAbbruch->setAutoDefault(false);
    buttons->addWidget(btnDrucken);
    buttons->addWidget(btnAbbruch);
    column->addLayout(buttons);
    connect(btnDrucken, &QPushButton::clicked, this, [this] { btnDruckenClick(); });
    connect(btnAbbruch, &QPushButton::clicked, this, &QDialog::reject); // Escape closes too
    resize(292, 374);
}

void TfrmColSelect::fillEntries() {
    if (!dataSet_) return;
    for (int i = 0; i < dataSet_->FieldCount(); ++i) {
        const TField* field = dataSet_->Fields(i);
        auto* item = new QListWidgetItem(field->DisplayName(), clbSpalten);
        const bool printable = IsPrintableType(field->DataType());
        item->setCheckState(printable ? Qt::Checked : Qt::Unchecked);
        item->setFlags(printable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                                 : Qt::NoItemFlags);
    }
}

void TfrmColSelect::mnuSelAllClick() {
    for (int i = 0; i < clbSpalten->count(); ++i)
        if (isTickable(clbSpalten->item(i))) clbSpalten->item(i)->setCheckState(Qt::Checked);
}

void TfrmColSelect::popSelReverseClick() {
    for (int i = 0; i < clbSpalten->count(); ++i) {
        QListWidgetItem* item = clbSpalten->item(i);
        if (isTickable(item)) item->setCheckState(isTicked(item) ? Qt::Unchecked : Qt::Checked);
    }
}

void TfrmColSelect::clbSpaltenMouseDown(const QPoint& pos) {
    const QModelIndex index = clbSpalten->indexAt(pos);
    dragFrom_ = index.isValid() ? index.row() : -1;
}

bool TfrmColSelect::clbSpaltenDragOver(const QObject* source) const { return source == clbSpalten; }

void TfrmColSelect::clbSpaltenDragDrop(const QPoint& pos) {
    if (dragFrom_ < 0 || dragFrom_ >= clbSpalten->count()) return;
    const QModelIndex index = clbSpalten->indexAt(pos);
    const int target = index.isValid() ? index.row() : clbSpalten->count() - 1;
    if (target == dragFrom_) return;
    QListWidgetItem* item = clbSpalten->takeItem(dragFrom_);
    clbSpalten->insertItem(target, item);
    clbSpalten->setCurrentRow(target);
}

void TfrmColSelect::btnDruckenClick() {
    TfrmAusdruck form;
    const int available = AvailableWidth(form.reportWidthPixels());
    // The field an entry stands for: the last one with the entry's text as display name.
    const auto fieldFor = [this](const QString& text) -> const TField* {
        const TField* found = nullptr;
        for (int f = 0; dataSet_ && f < dataSet_->FieldCount(); ++f)
            if (dataSet_->Fields(f)->DisplayName() == text) found = dataSet_->Fields(f);
        return found;
    };
    int total = 0;
    for (int i = 0; i < clbSpalten->count(); ++i) {
        const QListWidgetItem* item = clbSpalten->item(i);
        const TField* field = isTicked(item) ? fieldFor(item->text()) : nullptr;
        if (field && IsPrintableType(field->DataType())) total += DeclaredSize(*field);
    }
    int x = 0;
    for (int i = 0; i < clbSpalten->count(); ++i) {
        const QListWidgetItem* item = clbSpalten->item(i);
        const TField* field = isTicked(item) ? fieldFor(item->text()) : nullptr;
        if (!field) continue;
        const int width = ColumnWidth(DeclaredSize(*field), total, available);
        form.addColumn(i, *field, x, width);
        x += width;
    }
    form.setTitle(ReportTitle(dataSet_));
    form.bind(dataSet_);
    form.preview(this);
}

} // namespace tablor
