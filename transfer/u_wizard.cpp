// The conversion wizard: its window, pages, texts, file and server buttons and the selection
// menu of the table list (Next and Back: u_wizard_pages.cpp, the copy: u_wizard_copy.cpp).
#include "transfer/u_wizard.h"

#include "profiles/widgethelpers.h"

#include "ui/windowcolour.h"
#include "l10n/translator.h"
#include "profiles/localizedmessages.h"
#include "profiles/programdir.h"
#include "profiles/u_serveredit.h"
#include "transfer/WizardCopy.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace tablor {
namespace {

// clang-format off
constexpr TextPair kWizardTexts[] = {
    // control              property       German                                          English
    {"",                    "windowTitle", "Datenbank-Assistent",                          "Database wizard"},
    {"lblTitleAktion",      "text",        "Was wollen Sie tun?",                          "Please select an action!"},
    {"rdoA2M",              "text",        "Access nach MySQL kopieren",                   "Copy Access to MySQL"},
    {"rdoM2A",              "text",        "MySQL nach Access kopieren",                   "Copy MySQL to Access"},
    {"rdoM2M",              "text",        "MySQL nach MySQL kopieren",                    "Copy MySQL to MySQL"},
    {"rdoAccess2Access",    "text",        "Access nach Access kopieren",                  "Copy Access to Access"},
    {"lblTitleAM",          "text",        "Access nach MySQL kopieren",                   "Copy Access to MySQL"},
    {"lblTitleMA",          "text",        "MySQL nach Access kopieren",                   "Copy MySQL to Access"},
    {"lblTitleMM",          "text",        "MySQL nach MySQL kopieren",                    "Copy MySQL to MySQL"},
    {"lblTitleAA",          "text",        "Access nach Access kopieren",                  "Copy Access to Access"},
    {"lblAMSource",         "text",        "Quelldatenbank",                               "Source database"},
    {"lblAMTarget",         "text",        "Zieldatenbank",                                "Target database"},
    {"lblMASource",         "text",        "Quelldatenbank",                               "Source database"},
    {"lblMATarget",         "text",        "Zieldatenbank",                                "Target database"},
    {"lblMMSource",         "text",        "Quelldatenbank",                               "Source database"},
    {"lblMMTarget",         "text",        "Zieldatenbank",                                "Target database"},
    {"lblAASource",         "text",        "Quelldatenbank",                               "Source database"},
    {"lblAATarget",         "text",        "Zieldatenbank",                                "Target database"},
    {"lblAMPrefix",         "text",        "Tabellenpräfix (optional)",                    "Table prefix (optional)"},
    {"lblMMPrefix",         "text",        "Tabellenpräfix (optional)",                    "Table prefix (optional)"},
    {"btnServer",           "toolTip",     "Server bearbeiten",                            "Edit servers"},
    {"SpeedButton1",        "toolTip",     "Server bearbeiten",                            "Edit servers"},
    {"SpeedButton2",        "toolTip",     "Server bearbeiten",                            "Edit servers"},
    {"SpeedButton3",        "toolTip",     "Server bearbeiten",                            "Edit servers"},
    {"lblTitleTabellen",    "text",        "Wählen Sie die zu kopierenden Tabellen aus",   "Select all tables you wish to be transferred"},
    {"lblHint",             "text",        "Rechtsklick für weitere Auswahloptionen",      "Click right for more selection options"},
    {"lblOption",           "text",        "Kopieroption",                                 "Copy options"},
    {"popSelAll",           "text",        "Alle auswählen",                               "Select all"},
    {"popSelNon",           "text",        "Keine auswählen",                              "Select none"},
    {"popInvert",           "text",        "Auswahl umkehren",                             "Invert selection"},
    {"lblTitleProgress",    "text",        "Kopiervorgang",                                "Progress"},
    {"lblAll",              "text",        "Gesamtfortschritt",                            "Overall progress"},
    {"lblDetail",           "text",        "Aktuelle Tabelle",                             "Current operation"},
    {"lblTitleFinish",      "text",        "Kopiervorgang abgeschlossen",                  "Operation finished"},
    {"lblSuccess",          "text",
     "Die ausgewählten Daten wurden erfolgreich übertragen. Klicken Sie auf die Schaltfläche »Schließen«, um den "
     "Assistenten zu beenden.",
     "All selected structures and data have been copied successfully. Click \"Close\" button to finish this wizard."},
    {"btnCancel",           "text",        "Abbruch",                                      "Cancel"},
    {"btnBack",             "text",        "< Zurück",                                     "< Back"},
    {"btnWeiter",           "text",        "Weiter >",                                     "Next >"},
};
// clang-format on

// The copy options (not translated).
constexpr const char* kOptionRecreate = "Zieltabellen neu erstellen, ggf. vorhandene Tabellen löschen";
constexpr const char* kOptionAppend = "Bei existierender Zieltabelle versuchen Daten anzufügen";

constexpr const char* kDialogTitle = "Öffnen...";
constexpr const char* kDialogFilter = "Access Datenbanken (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*";

WizardFileChooser& fileChooser() {
    static WizardFileChooser chooser;
    return chooser;
}

QString realFileDialog(QWidget* parent, const WizardFileRequest& request) {
    QFileDialog dialog(parent, request.title);
    dialog.setObjectName(request.save ? QStringLiteral("sdgSave") : QStringLiteral("odgOpen"));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultExt);
    dialog.setNameFilters(qtFilters(request.filter));
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* titleLabel(QWidget* page, const char* name, const char* text) {
    auto* label = named(new QLabel(QString::fromUtf8(text), page), name);
    QFont bold = label->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    label->setFont(bold);
    return label;
}

QComboBox* profileCombo(QWidget* page, const char* name) {
    auto* combo = named(new QComboBox(page), name);
    combo->setEditable(false); // a drop-down list
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(16);
    return combo;
}

QToolButton* serverButton(QWidget* page, const char* name) {
    auto* button = named(new QToolButton(page), name);
    button->setIcon(page->style()->standardIcon(QStyle::SP_DriveNetIcon));
    button->setToolTip(QStringLiteral("Edit servers"));
    return button;
}

QToolButton* fileButton(QWidget* page, const char* name) {
    auto* button = named(new QToolButton(page), name);
    button->setText(QStringLiteral("..."));
    return button;
}

// A page: its title on top, `body` below, the rest empty.
QVBoxLayout* pageColumn(QWidget* page, const char* titleName, const char* title) {
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(12, 10, 12, 6);
    column->addWidget(titleLabel(page, titleName, title));
    column->addSpacing(6);
    return column;
}

// "label / [field][button]" rows of a source and target page.
void addRow(QGridLayout* grid, int row, QLabel* label, QWidget* field, QWidget* button) {
    grid->addWidget(label, row * 2, 0, 1, 2);
    grid->addWidget(field, row * 2 + 1, 0);
    if (button) grid->addWidget(button, row * 2 + 1, 1);
}

} // namespace

QString troubleshootIdListPath() {
    return transfer::wizardTroubleshootingFolder() + QStringLiteral("mysql_access.txt");
}

WizardFileChooser TfrmWizard::setFileChooser(WizardFileChooser chooser) {
    WizardFileChooser previous = std::move(fileChooser());
    fileChooser() = std::move(chooser);
    return previous;
}

QStringList TfrmWizard::defaultArguments() { return QCoreApplication::arguments(); }

TfrmWizard::TfrmWizard(const QComboBox* servers, std::function<void()> reloadServers, QWidget* parent,
                       const QStringList& arguments)
    : QDialog(parent), servers_(servers), reloadServers_(std::move(reloadServers)),
      job_(std::make_unique<transfer::WizardJob>()) {
    setObjectName(QStringLiteral("frmWizard"));
    setWindowTitle(QStringLiteral("Database wizard"));
    setModal(true);
    applyWindowColour(this);
    buildWindow();
    buildTexts();

    // 1: the helpers.
    msSql_ = std::make_unique<TMsSQL>();
    mySql_ = std::make_unique<TMySQL>();
    // 2-3: the resume offset of the command line, named in the caption.
    ResumeOffset = resumeOffsetFrom(arguments);
    if (ResumeOffset > 0) setWindowTitle(windowTitle() + QString::asprintf(" Offset: %d", ResumeOffset));
    // 4: the first page.
    showPage(PageAction);
    // 5: the preferences.
    prefs_ = std::make_unique<TPrefs>();
    // 6: the profile lists.
    fillProfileLists();
    // 7-8: empty fields; the error list starts with its heading.
    for (QLineEdit* edit : {txtAMAccess, txtMAAccess, txtAMPrefix, txtMMPrefix, txtAAAccess1, txtAAAccess2})
        edit->clear();
    memErrors->setPlainText(LocalizedMessage(msgCopyErrors, prefs_->LanguageIndex) + u'\n');
}

TfrmWizard::~TfrmWizard() = default;

void TfrmWizard::buildWindow() {
    resize(ClientWidth + 60, ClientHeight + 50);
    setMinimumSize(ClientWidth, ClientHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    tabMain = named(new QStackedWidget(this), "tabMain"); // pages without tabs
    tabMain->addWidget(tabAktion = buildActionPage());
    tabMain->addWidget(tabAccess2MySQL = buildAccess2MySqlPage());
    tabMain->addWidget(tabMySQL2Access = buildMySql2AccessPage());
    tabMain->addWidget(tabMySQL2MySQL = buildMySql2MySqlPage());
    tabMain->addWidget(tabAccess2Access = buildAccess2AccessPage());
    tabMain->addWidget(tabTabellen = buildTablesPage());
    tabMain->addWidget(tabProgress = buildProgressPage());
    tabMain->addWidget(tabFinish = buildFinishPage());
    column->addWidget(tabMain, 1);

    auto* panel = named(new QFrame(this), "Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(8, 6, 8, 6);
    btnCancel = named(new QPushButton(QStringLiteral("Cancel"), panel), "btnCancel");
    btnBack = named(new QPushButton(QStringLiteral("< Back"), panel), "btnBack");
    btnWeiter = named(new QPushButton(QStringLiteral("Next >"), panel), "btnWeiter");
    btnWeiter->setDefault(true);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    buttons->addWidget(btnBack);
    buttons->addWidget(btnWeiter);
    btnBack->setVisible(false);
    column->addWidget(panel);

    connect(btnCancel, &QPushButton::clicked, this, &TfrmWizard::reject);
    connect(btnBack, &QPushButton::clicked, this, &TfrmWizard::btnBackClick);
    connect(btnWeiter, &QPushButton::clicked, this, &TfrmWizard::btnWeiterClick);
    connect(btnOpen, &QToolButton::clicked, this, &TfrmWizard::btnOpenClick);
    connect(btnMAOpen, &QToolButton::clicked, this, &TfrmWizard::btnMAOpenClick);
    connect(btnOpenAA1, &QToolButton::clicked, this, &TfrmWizard::btnOpenAA1Click);
    connect(btnOpenAA2, &QToolButton::clicked, this, &TfrmWizard::btnOpenAA2Click);
    for (QToolButton* b : {btnServer, SpeedButton1, SpeedButton2, SpeedButton3})
        connect(b, &QToolButton::clicked, this, &TfrmWizard::btnServerClick);
    connect(popSelAll, &QAction::triggered, this, &TfrmWizard::popSelAllClick);
    connect(popSelNon, &QAction::triggered, this, &TfrmWizard::popSelNonClick);
    connect(popInvert, &QAction::triggered, this, &TfrmWizard::popInvertClick);
}

QWidget* TfrmWizard::buildActionPage() {
    auto* page = named(new QWidget, "tabAktion");
    QVBoxLayout* column = pageColumn(page, "lblTitleAktion", "Please select an action!");
    rdoA2M = named(new QRadioButton(QStringLiteral("Copy Access to MySQL"), page), "rdoA2M");
    rdoM2A = named(new QRadioButton(QStringLiteral("Copy MySQL to Access"), page), "rdoM2A");
    rdoM2M = named(new QRadioButton(QStringLiteral("Copy MySQL to MySQL"), page), "rdoM2M");
    rdoAccess2Access = named(new QRadioButton(QStringLiteral("Copy Access to Access"), page), "rdoAccess2Access");
    for (QRadioButton* r : {rdoA2M, rdoM2A, rdoM2M, rdoAccess2Access}) column->addWidget(r);
    rdoA2M->setChecked(true);
    column->addStretch(1);
    return page;
}

QWidget* TfrmWizard::buildAccess2MySqlPage() {
    auto* page = named(new QWidget, "tabAccess2MySQL");
    QVBoxLayout* column = pageColumn(page, "lblTitleAM", "Copy Access to MySQL");
    auto* grid = new QGridLayout;
    txtAMAccess = named(new QLineEdit(page), "txtAMAccess");
    btnOpen = fileButton(page, "btnOpen");
    cboServerAM = profileCombo(page, "cboServerAM");
    btnServer = serverButton(page, "btnServer");
    txtAMPrefix = named(new QLineEdit(page), "txtAMPrefix");
    addRow(grid, 0, named(new QLabel(QStringLiteral("Source database"), page), "lblAMSource"), txtAMAccess, btnOpen);
    addRow(grid, 1, named(new QLabel(QStringLiteral("Target database"), page), "lblAMTarget"), cboServerAM, btnServer);
    addRow(grid, 2, named(new QLabel(QStringLiteral("Table prefix (optional)"), page), "lblAMPrefix"), txtAMPrefix,
           nullptr);
    column->addLayout(grid);
    column->addStretch(1);
    return page;
}

QWidget* TfrmWizard::buildMySql2AccessPage() {
    auto* page = named(new QWidget, "tabMySQL2Access");
    QVBoxLayout* column = pageColumn(page, "lblTitleMA", "Copy MySQL to Access");
    auto* grid = new QGridLayout;
    cboServerMA = profileCombo(page, "cboServerMA");
    SpeedButton1 = serverButton(page, "SpeedButton1");
    txtMAAccess = named(new QLineEdit(page), "txtMAAccess");
    btnMAOpen = fileButton(page, "btnMAOpen");
    addRow(grid, 0, named(new QLabel(QStringLiteral("Source database"), page), "lblMASource"), cboServerMA,
           SpeedButton1);
    addRow(grid, 1, named(new QLabel(QStringLiteral("Target database"), page), "lblMATarget"), txtMAAccess, btnMAOpen);
    column->addLayout(grid);
    column->addStretch(1);
    return page;
}

QWidget* TfrmWizard::buildMySql2MySqlPage() {
    auto* page = named(new QWidget, "tabMySQL2MySQL");
    QVBoxLayout* column = pageColumn(page, "lblTitleMM", "Copy MySQL to MySQL");
    auto* grid = new QGridLayout;
    cboServerMM1 = profileCombo(page, "cboServerMM1");
    SpeedButton2 = serverButton(page, "SpeedButton2");
    cboServerMM2 = profileCombo(page, "cboServerMM2");
    SpeedButton3 = serverButton(page, "SpeedButton3");
    txtMMPrefix = named(new QLineEdit(page), "txtMMPrefix");
    addRow(grid, 0, named(new QLabel(QStringLiteral("Source database"), page), "lblMMSource"), cboServerMM1,
           SpeedButton2);
    addRow(grid, 1, named(new QLabel(QStringLiteral("Target database"), page), "lblMMTarget"), cboServerMM2,
           SpeedButton3);
    addRow(grid, 2, named(new QLabel(QStringLiteral("Table prefix (optional)"), page), "lblMMPrefix"), txtMMPrefix,
           nullptr);
    column->addLayout(grid);
    column->addStretch(1);
    return page;
}

QWidget* TfrmWizard::buildAccess2AccessPage() {
    auto* page = named(new QWidget, "tabAccess2Access");
    QVBoxLayout* column = pageColumn(page, "lblTitleAA", "Copy Access to Access");
    auto* grid = new QGridLayout;
    txtAAAccess1 = named(new QLineEdit(page), "txtAAAccess1");
    btnOpenAA1 = fileButton(page, "btnOpenAA1");
    txtAAAccess2 = named(new QLineEdit(page), "txtAAAccess2");
    btnOpenAA2 = fileButton(page, "btnOpenAA2");
    addRow(grid, 0, named(new QLabel(QStringLiteral("Source database"), page), "lblAASource"), txtAAAccess1,
           btnOpenAA1);
    addRow(grid, 1, named(new QLabel(QStringLiteral("Target database"), page), "lblAATarget"), txtAAAccess2,
           btnOpenAA2);
    column->addLayout(grid);
    column->addStretch(1);
    return page;
}

QWidget* TfrmWizard::buildTablesPage() {
    auto* page = named(new QWidget, "tabTabellen");
    QVBoxLayout* column = pageColumn(page, "lblTitleTabellen", "Select all tables you wish to be transferred");
    clbTabellen = named(new QListWidget(page), "clbTabellen");
    clbTabellen->setContextMenuPolicy(Qt::CustomContextMenu);
    column->addWidget(clbTabellen, 1);
    auto* hint = named(new QLabel(QStringLiteral("Click right for more selection options"), page), "lblHint");
    QFont italic = hint->font();
    italic.setItalic(true);
    hint->setFont(italic);
    column->addWidget(hint);
    column->addWidget(named(new QLabel(QStringLiteral("Copy options"), page), "lblOption"));
    cboOption = named(new QComboBox(page), "cboOption");
    cboOption->addItem(QString::fromUtf8(kOptionRecreate));
    cboOption->addItem(QString::fromUtf8(kOptionAppend));
    cboOption->setCurrentIndex(0);
    cboOption->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    column->addWidget(cboOption);

    popTables = named(new QMenu(this), "popTables");
    auto item = [this](const char* name, const char* text) {
        auto* action = named(new QAction(QString::fromUtf8(text), this), name);
        popTables->addAction(action);
        return action;
    };
    popSelAll = item("popSelAll", "Select all");
    popSelNon = item("popSelNon", "Select none");
    popInvert = item("popInvert", "Invert selection");
    connect(clbTabellen, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popTables->popup(clbTabellen->viewport()->mapToGlobal(at)); });
    return page;
}

QWidget* TfrmWizard::buildProgressPage() {
    auto* page = named(new QWidget, "tabProgress");
    QVBoxLayout* column = pageColumn(page, "lblTitleProgress", "Progress");
    // Red chunks on a white bar, with the percentage.
    const QString red = QStringLiteral("QProgressBar { border: 1px solid #808080; background: white; text-align: "
                                       "center; color: black; } QProgressBar::chunk { background-color: red; }");
    auto gauge = [&](const char* name) {
        auto* bar = named(new QProgressBar(page), name);
        bar->setRange(0, 1);
        bar->setValue(0);
        bar->setTextVisible(true);
        bar->setStyleSheet(red);
        return bar;
    };
    column->addWidget(named(new QLabel(QStringLiteral("Overall progress"), page), "lblAll"));
    column->addWidget(prgAll = gauge("prgAll"));
    column->addWidget(named(new QLabel(QStringLiteral("Current operation"), page), "lblDetail"));
    column->addWidget(prgDetail = gauge("prgDetail"));
    lblStat = named(new QLabel(page), "lblStat");
    QFont bold = lblStat->font();
    bold.setBold(true);
    lblStat->setFont(bold);
    lblStat->setWordWrap(true);
    column->addSpacing(4);
    column->addWidget(lblStat);
    lblRate = named(new QLabel(page), "lblRate");
    column->addWidget(lblRate);
    column->addStretch(1);
    return page;
}

QWidget* TfrmWizard::buildFinishPage() {
    auto* page = named(new QWidget, "tabFinish");
    QVBoxLayout* column = pageColumn(page, "lblTitleFinish", "Operation finished");
    lblSuccess = named(new QLabel(page), "lblSuccess");
    lblSuccess->setText(
        QStringLiteral("All selected structures and data have been copied successfully. Click \"Close\" button to "
                       "finish this wizard."));
    lblFailure = named(new QLabel(page), "lblFailure");
    for (QLabel* l : {lblSuccess, lblFailure}) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        column->addWidget(l);
    }
    lblFailure->setVisible(false);
    memErrors = named(new QPlainTextEdit(page), "memErrors");
    memErrors->setReadOnly(true);
    memErrors->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memErrors->setLineWrapMode(QPlainTextEdit::WidgetWidth); // a server's text is longer than the page
    memErrors->setVisible(false);
    column->addWidget(memErrors, 1);
    column->addStretch(0);
    return page;
}

void TfrmWizard::buildTexts() {
    Translator1 = new TTranslator(this, QString::fromLatin1(TTranslator::English), kWizardTexts);
}

void TfrmWizard::fillProfileLists() {
    for (QComboBox* combo : {cboServerAM, cboServerMA, cboServerMM1, cboServerMM2}) {
        combo->clear();
        if (servers_) {
            for (int i = 0; i < servers_->count(); ++i) combo->addItem(servers_->itemText(i), servers_->itemData(i));
        }
        if (combo->count() == 0) combo->addItem(LocalizedMessage(msgSelectProfileItem, prefs_->LanguageIndex));
        combo->setCurrentIndex(0);
    }
}

ServerProfile* TfrmWizard::profileOf(const QComboBox* combo) const {
    if (combo->currentIndex() <= 0) return nullptr;
    return static_cast<ServerProfile*>(combo->currentData().value<void*>());
}

QString TfrmWizard::chooseFile(bool save) {
    WizardFileRequest request;
    request.save = save;
    request.title = QString::fromUtf8(kDialogTitle);
    request.filter = QString::fromUtf8(kDialogFilter);
    request.defaultExt = QStringLiteral("mdb");
    if (save) request.fileName = QStringLiteral("backup.mdb");
    return fileChooser() ? fileChooser()(this, request) : realFileDialog(this, request);
}

void TfrmWizard::btnOpenClick() {
    const QString path = chooseFile(false);
    if (!path.isEmpty()) txtAMAccess->setText(path);
}

void TfrmWizard::btnOpenAA1Click() {
    const QString path = chooseFile(false);
    if (!path.isEmpty()) txtAAAccess1->setText(path);
}

void TfrmWizard::btnMAOpenClick() {
    const QString path = chooseFile(true);
    if (!path.isEmpty()) txtMAAccess->setText(path);
}

void TfrmWizard::btnOpenAA2Click() {
    const QString path = chooseFile(true);
    if (!path.isEmpty()) txtAAAccess2->setText(path);
}

void TfrmWizard::btnServerClick() {
    {
        TfrmServeredit dialog(this);
        dialog.exec();
    }
    if (reloadServers_) reloadServers_();
    // The records behind the old entries are gone: every list starts again at the placeholder.
    fillProfileLists();
}

void TfrmWizard::setAllTicks(int how) {
    for (int i = 0; i < clbTabellen->count(); ++i) {
        QListWidgetItem* item = clbTabellen->item(i);
        const bool ticked = item->checkState() == Qt::Checked;
        const bool tick = how == 2 ? !ticked : how == 1;
        item->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
    }
}

void TfrmWizard::popSelAllClick() { setAllTicks(1); }
void TfrmWizard::popSelNonClick() { setAllTicks(0); }
void TfrmWizard::popInvertClick() { setAllTicks(2); }

} // namespace tablor
