// The main window: layout, menus, tool bar, creation steps, first showing, start timer,
// Language menu and the commands of the program start (browsing: u_main_browse.cpp).
#include "app/u_main.h"

#include "app/errordisplay.h"
#include "app/findingrid.h"
#include "app/inputbox.h"
#include "app/statustexts.h"
#include "app/u_startup.h"
#include "help/helpdesk.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/programdir.h"
#include "profiles/u_serveredit.h"
#include "transfer/u_wizard.h"
#include "db/BusyCursor.h"
#include "db/DbError.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QComboBox>
#include <QFrame>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

// The tool bar images are compiled into this static library; the linker keeps them only when
// they are registered explicitly.
static void initToolbarImages() { Q_INIT_RESOURCE(tablor); }

namespace tablor {

QString LastSearchWord;

namespace {
// The hour glass of the data-access layer: the wait cursor over the whole program.
void showBusyCursor(bool busy) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}
} // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    initToolbarImages();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(ApplicationTitle));
    setProperty("helpContext", HelpContext);
    setMinimumSize(MinimumWidth, MinimumHeight);
    applyWindowColour(this);

    buildMenus();
    buildWidgets();
    connectCommands();

    tmrStartup = new QTimer(this);
    tmrStartup->setObjectName(QStringLiteral("tmrStartup"));
    tmrStartup->setSingleShot(true);
    tmrStartup->setInterval(500);
    connect(tmrStartup, &QTimer::timeout, this, &TfrmMain::tmrStartupTimer);

    setBusyHook(&showBusyCursor);
    mysql_.mySQLDB.AfterConnect = [this](TZMySqlDatabase*) { mySQLDBAfterConnect(); };
    mysql_.mySQLDB.AfterDisconnect = [this](TZMySqlDatabase*) { mySQLDBAfterDisconnect(); };

    // Designed in German; the stored language follows in the creation steps.
    Translator1 = new TTranslator(this, QString::fromLatin1(TTranslator::German), mainWindowControlTexts());
    connectFieldEditors();

    guardCreation([this] { runCreationSteps(); });
}

TfrmMain::~TfrmMain() {
    // The grid model observes the data sets, which go before the window's children do.
    if (dbgMain) dbgMain->setDataSet(nullptr);
    mysql_.mySQLDB.AfterConnect = nullptr;
    mysql_.mySQLDB.AfterDisconnect = nullptr;
    if (gridDataSet_) gridDataSet_->Close();
    mysql_.myQryFree.Close();
    mysql_.mySQLDB.Disconnect();
    if (tblLocal_) {
        for (TDataSetNotifyEvent* ev :
             {&tblLocal_->AfterInsert, &tblLocal_->AfterEdit, &tblLocal_->AfterClose, &tblLocal_->AfterPost,
              &tblLocal_->AfterCancel, &tblLocal_->BeforeScroll, &tblLocal_->AfterScroll})
            *ev = nullptr;
    }
    if (cnLocal_) {
        cnLocal_->AfterConnect = nullptr;
        cnLocal_->AfterDisconnect = nullptr;
        if (tblLocal_) tblLocal_->Close();
        cnLocal_->Close();
    }
    // The quick-access entries point into the profile list: empty them before the list goes.
    if (cboServers) cboServers->clear();
}

QToolButton* TfrmMain::addToolButton(const char* name, const char* image) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(QIcon(QStringLiteral(":/toolbar/") + QString::fromLatin1(image)));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TfrmMain::buildToolBar() {
    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    auto* rows = new QVBoxLayout(ToolBar1);
    rows->setContentsMargins(2, 2, 2, 2);
    rows->setSpacing(2);

    auto* first = new QHBoxLayout;
    first->setSpacing(1);
    tbtOpen = addToolButton("tbtOpen", "open.png");
    tbtSave = addToolButton("tbtSave", "save.png");
    tbtUpload = addToolButton("tbtUpload", "upload.png");
    tbtDelete = addToolButton("tbtDelete", "delete.png");
    tbtNew = addToolButton("tbtNew", "new.png");
    tbtEdit = addToolButton("tbtEdit", "edit.png");
    tbtSearch = addToolButton("tbtSearch", "search.png");
    tbtPrint = addToolButton("tbtPrint", "print.png");
    tbtConnect = addToolButton("tbtConnect", "offline.png");
    tbtPrefs = addToolButton("tbtPrefs", "prefs.png");
    tbtHelp = addToolButton("tbtHelp", "help.png");
    for (QToolButton* b :
         {tbtOpen, tbtSave, tbtUpload, tbtDelete, tbtNew, tbtEdit, tbtSearch, tbtPrint, tbtConnect, tbtPrefs, tbtHelp})
        first->addWidget(b);
    first->addStretch(1);
    rows->addLayout(first);

    auto* second = new QHBoxLayout;
    second->setSpacing(6);
    tbtWizard = addToolButton("tbtWizard", "wizard.png");
    second->addWidget(tbtWizard, 0, Qt::AlignVCenter);

    Panel1 = new QWidget(ToolBar1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* quick = new QVBoxLayout(Panel1);
    quick->setContentsMargins(0, 0, 0, 0);
    quick->setSpacing(1);
    Label1 = new QLabel(QStringLiteral("Schnellzugriff"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    cboServers = new QComboBox(Panel1);
    cboServers->setObjectName(QStringLiteral("cboServers"));
    cboServers->setEditable(false);
    cboServers->setMinimumWidth(220);
    cboServers->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    quick->addWidget(Label1);
    quick->addWidget(cboServers);
    second->addWidget(Panel1, 0, Qt::AlignVCenter);

    imgLogo = new QLabel(ToolBar1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(QPixmap(QStringLiteral(":/toolbar/database.png")));
    second->addWidget(imgLogo, 0, Qt::AlignVCenter);
    second->addStretch(1);
    rows->addLayout(second);
}

void TfrmMain::buildWidgets() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlClient"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    buildToolBar();
    column->addWidget(ToolBar1);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    clbTabellen = new QListWidget(Splitter1);
    clbTabellen->setObjectName(QStringLiteral("clbTabellen"));
    clbTabellen->setMinimumWidth(SplitterMinimum);
    clbTabellen->setContextMenuPolicy(Qt::CustomContextMenu);
    dbgMain = new TMDBGrid(Splitter1);
    dbgMain->setObjectName(QStringLiteral("dbgMain"));
    dbgMain->setMinimumWidth(SplitterMinimum);
    Splitter1->addWidget(clbTabellen);
    Splitter1->addWidget(dbgMain);
    // The table list keeps its width when the window is resized; the grid takes the rest.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({TableListWidth, MinimumWidth - TableListWidth});
    column->addWidget(Splitter1, 1);

    auto* strip = new QFrame(central);
    strip->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2 = strip;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* hint = new QHBoxLayout(Panel2);
    hint->setContentsMargins(6, 3, 6, 3);
    Label2 = new QLabel(Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setText(
        QStringLiteral("Doppelklicken Sie auf Memo-, Grafik- und Blobfelder, um den internen Editor aufzurufen"));
    hint->addWidget(Label2);
    column->addWidget(Panel2);
    setCentralWidget(central);

    sbMain = new QStatusBar(this);
    sbMain->setObjectName(QStringLiteral("sbMain"));
    sbPanel = new QLabel(sbMain);
    sbPanel->setObjectName(QStringLiteral("sbPanel"));
    sbPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbMain->addWidget(sbPanel, 1);
    setStatusBar(sbMain);

    // Off until a connection opens.
    for (QToolButton* b : {tbtSave, tbtUpload, tbtDelete, tbtNew, tbtEdit, tbtSearch, tbtPrint}) b->setEnabled(false);
}

void TfrmMain::buildMenus() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(bar);
    auto item = [this](QMenu* menu, const char* name, const char* text) {
        auto* action = new QAction(QString::fromUtf8(text), this);
        action->setObjectName(QString::fromLatin1(name));
        menu->addAction(action);
        return action;
    };
    auto menu = [this](QWidget* owner, const char* name, const char* title) {
        auto* m = new QMenu(QString::fromUtf8(title), owner);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };

    Datei1 = menu(this, "Datei1", "Datei");
    ffnen1 = item(Datei1, "ffnen1", "Öffnen...");
    Beenden1 = item(Datei1, "Beenden1", "Beenden");
    bar->addMenu(Datei1);

    Bearbeiten1 = menu(this, "Bearbeiten1", "Bearbeiten");
    mnuSuche = item(Bearbeiten1, "mnuSuche", "Suchen...");
    mnuSuche->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuWeitersuchen = item(Bearbeiten1, "mnuWeitersuchen", "Weitersuchen");
    mnuWeitersuchen->setShortcut(QKeySequence(Qt::Key_F3));
    mnuEdit = item(Bearbeiten1, "mnuEdit", "Feld bearbeiten");
    mnuEdit->setShortcut(QKeySequence(Qt::Key_F2));
    mnuSQLQuery = item(Bearbeiten1, "mnuSQLQuery", "SQL Anfrage eingeben...");
    mnuSQLQuery->setVisible(false); // never shown
    for (QAction* a : {mnuSuche, mnuWeitersuchen, mnuEdit, mnuSQLQuery}) a->setEnabled(false);
    bar->addMenu(Bearbeiten1);

    Extras1 = menu(this, "Extras1", "Extras");
    Sprache1 = menu(Extras1, "Sprache1", "Sprache");
    mnuEnglish = item(Sprache1, "mnuEnglish", "Englisch");
    mnuDeutsch = item(Sprache1, "mnuDeutsch", "Deutsch");
    mnuEnglish->setCheckable(true);
    mnuDeutsch->setCheckable(true);
    Extras1->addMenu(Sprache1);
    mnuServerAdmin = item(Extras1, "mnuServerAdmin", "Server verwalten...");
    mnuPrefs = item(Extras1, "mnuPrefs", "Einstellungen");
    mnuPrefs->setVisible(false); // never shown
    mnuBild = item(Extras1, "mnuBild", "Bildvorschau");
    mnuBild->setCheckable(true);
    mnuWizard = item(Extras1, "mnuWizard", "Konvertierungsassistent...");
    mnuStartup = item(Extras1, "mnuStartup", "Startdialog anzeigen");
    mnuStartup->setCheckable(true);
    bar->addMenu(Extras1);

    N1 = menu(this, "N1", "?");
    mnuHelt = item(N1, "mnuHelt", "Tablor hilfe aufrufen");
    mnuVisitSite = item(N1, "mnuVisitSite", "Webseite besuchen");
    mnuAbout = item(N1, "mnuAbout", "Über...");
    bar->addMenu(N1);

    popTabAuswahl = menu(this, "popTabAuswahl", "");
    mnuSelAll = item(popTabAuswahl, "mnuSelAll", "Alle auswählen");
    mnuSelRev = item(popTabAuswahl, "mnuSelRev", "Auswahl umkehren");
}

void TfrmMain::connectCommands() {
    connect(Beenden1, &QAction::triggered, this, &QWidget::close);
    connect(mnuServerAdmin, &QAction::triggered, this, &TfrmMain::mnuServerAdminClick);
    connect(tbtPrefs, &QToolButton::clicked, this, &TfrmMain::mnuServerAdminClick);
    connect(mnuDeutsch, &QAction::triggered, this, &TfrmMain::mnuDeutschClick);
    connect(mnuEnglish, &QAction::triggered, this, &TfrmMain::mnuEnglishClick);
    connect(mnuBild, &QAction::triggered, this, &TfrmMain::mnuBildClick);
    connect(mnuStartup, &QAction::triggered, this, &TfrmMain::mnuStartupClick);
    connect(cboServers, &QComboBox::activated, this, &TfrmMain::cboServersChange);

    // The table list's context menu changes the ticks only.
    connect(clbTabellen, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popTabAuswahl->popup(clbTabellen->viewport()->mapToGlobal(at)); });
    connect(mnuSelAll, &QAction::triggered, this, &TfrmMain::mnuSelAllClick);
    connect(mnuSelRev, &QAction::triggered, this, &TfrmMain::mnuSelRevClick);
    connect(clbTabellen, &QListWidget::itemChanged, this, [this] {
        if (!settingTicks_) clbTabellenClickCheck();
    });
    connect(clbTabellen, &QListWidget::itemDoubleClicked, this, &TfrmMain::clbTabellenDblClick);
    connect(dbgMain, &TMDBGrid::titleClicked, this, &TfrmMain::dbgMainTitleClick);
    connect(dbgMain, &TMDBGrid::gridDoubleClicked, this, &TfrmMain::dbgMainDblClick);

    connect(tbtConnect, &QToolButton::clicked, this, &TfrmMain::tbtConnectClick);
    connect(tbtOpen, &QToolButton::clicked, this, &TfrmMain::tbtOpenClick);
    connect(ffnen1, &QAction::triggered, this, &TfrmMain::tbtOpenClick);
    connect(tbtNew, &QToolButton::clicked, this, &TfrmMain::tbtNewClick);
    connect(tbtDelete, &QToolButton::clicked, this, &TfrmMain::tbtDeleteClick);
    connect(tbtEdit, &QToolButton::clicked, this, &TfrmMain::tbtEditClick);
    connect(mnuEdit, &QAction::triggered, this, &TfrmMain::tbtEditClick);
    connect(tbtSearch, &QToolButton::clicked, this, &TfrmMain::tbtSearchClick);
    connect(mnuSuche, &QAction::triggered, this, &TfrmMain::tbtSearchClick);
    connect(mnuWeitersuchen, &QAction::triggered, this, &TfrmMain::mnuWeitersuchenClick);
    connect(tbtPrint, &QToolButton::clicked, this, &TfrmMain::tbtPrintClick);

    connect(mnuWizard, &QAction::triggered, this, &TfrmMain::mnuWizardClick);
    connect(tbtSave, &QToolButton::clicked, this, &TfrmMain::tbtSaveClick);
    connect(tbtUpload, &QToolButton::clicked, this, &TfrmMain::tbtUploadClick);
    connect(tbtWizard, &QToolButton::clicked, this, &TfrmMain::mnuWizardClick);
    connectHelpCommands();
}

void TfrmMain::runCreationSteps() {
    // 1-2: the profile list and the preferences.
    profiles_ = std::make_unique<ProfileList>();
    prefs_ = std::make_unique<TPrefs>();

    // 3: the profiles and the quick-access list.
    loadProfilesIntoServerList();

    // 4: the check mark of the stored language.
    mnuDeutsch->setChecked(prefs_->LanguageIndex == 0);
    mnuEnglish->setChecked(prefs_->LanguageIndex != 0);

    // 5: the stored language, German when that name is empty or unknown; then this window is the
    // language source of every window opened later.
    try {
        Translator1->switchLanguage(prefs_->FLanguage);
    } catch (const UnknownLanguage&) {
        Translator1->switchLanguage(QString::fromLatin1(TTranslator::German));
    }
    Translator1->setTranslateApplication(true);

    // 6: the window's own two-language texts.
    MainWindowTexts = MainWindowTextTable;

    // 7: the image preview.
    mnuBild->setChecked(prefs_->FPreview);
    drawGraphic_ = prefs_->FPreview;

    // 8: the grid data set, shown through dtsMain, with the window's handlers on its events;
    // the Access connection cnLocal with its table tblLocal (dtsLocal).
    cnLocal_ = std::make_unique<TADOConnection>();
    tblLocalOwned_ = std::make_unique<TADOTable>();
    tblLocal_ = tblLocalOwned_.get();
    tblLocal_->setConnection(cnLocal_.get());
    attachLocalEvents();
    gridDataSet_ = std::make_unique<TZMySqlTable>();
    attachGridEvents();
    attachGridDataSet();
    showMainDataSource(true);
    dbgMain->setOptions(dbgMain->Options() | (drawGraphic_ ? dgDrawGraphic : 0u));

    // 9: the help file of the language.
    updateHelpFile();
}

void TfrmMain::loadProfilesIntoServerList() {
    // A server.dat that cannot be read is reported, but the records read before the failure
    // and the placeholder entry are still listed, and the window's creation goes on.
    QString failure;
    try {
        LoadProfiles(*profiles_);
    } catch (const ProfileFileError& e) {
        failure = QString::fromUtf8(e.what());
    }
    fillServerList();
    if (!failure.isEmpty()) showApplicationError(failure);
}

void TfrmMain::fillServerList() {
    cboServers->clear();
    cboServers->addItem(LocalizedMessage(msgSelectProfileItem, languageIndex()));
    for (const auto& record : *profiles_)
        cboServers->addItem(record->ProfileName, QVariant::fromValue(static_cast<void*>(record.get())));
    cboServers->setCurrentIndex(0);
}

QString TfrmMain::messageLanguage() const {
    return TTranslator::languages().value(prefs_->LanguageIndex, QString::fromLatin1(TTranslator::German));
}

QString TfrmMain::mainWindowText(MainWindowTextKey key) const {
    return MainWindowTexts[static_cast<std::size_t>(key)].text(languageIndex());
}

void TfrmMain::updateHelpFile() {
    helpFile_ = ProgramDir() + (prefs_->LanguageIndex == 0 ? QStringLiteral("tablor_help_de.hlp")
                                                           : QStringLiteral("tablor_help_en.hlp"));
    setApplicationHelpFile(helpFile_, prefs_->LanguageIndex);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_ && !event->spontaneous()) {
        shownOnce_ = true;
        // After the window has appeared, so that the first-run question stands over it.
        QTimer::singleShot(0, this, &TfrmMain::FormShow);
    }
}

void TfrmMain::FormShow() {
    if (!QFile::exists(serverDatPath())) {
        const int answer = LocalizedMessageDlg(LocalizedMessage(msgFirstRun, languageIndex()), mtConfirmation,
                                               mbYes | mbNo, mrYes, messageLanguage(), 0);
        if (answer == mrYes) {
            prefs_->StartUpDialog = true;
            prefs_->Save();
            mnuServerAdminClick();
        }
    }
    if (prefs_->StartUpDialog) tmrStartup->start();
    mnuStartup->setChecked(prefs_->StartUpDialog);
}

void TfrmMain::tmrStartupTimer() {
    tmrStartup->stop();
    {
        TfrmStartup dialog(cboServers, this);
        if (dialog.exec() == QDialog::Accepted) {
            if (dialog.wizardChosen()) {
                mnuWizardClick();
            } else if (dialog.serverChosen()) {
                cboServers->setCurrentIndex(dialog.chosenServerIndex());
                cboServersChange();
            }
        }
    }
    prefs_->Load();
    mnuStartup->setChecked(prefs_->StartUpDialog);
}

void TfrmMain::mnuServerAdminClick() {
    {
        TfrmServeredit dialog(this);
        dialog.exec();
    }
    // The dialog may have changed server.dat: close both connections (with the placeholder
    // selected, so that no profile's file is opened again) and reload it. The table list keeps
    // its entries and ticks.
    cboServers->setCurrentIndex(0);
    mysql_.mySQLDB.Disconnect();
    closeLocalConnection();
    loadProfilesIntoServerList();
}

void TfrmMain::switchLanguageFromMenu(bool english) {
    mnuDeutsch->setChecked(false);
    mnuEnglish->setChecked(false);
    Translator1->setTranslateApplication(true);
    const QString name = QString::fromLatin1(english ? TTranslator::English : TTranslator::German);
    Translator1->switchLanguage(name); // every open window
    prefs_->FLanguage = name;
    prefs_->Save();
    cboServers->setItemText(0, LocalizedMessage(msgSelectProfileItem, languageIndex()));
    (english ? mnuEnglish : mnuDeutsch)->setChecked(true);
    // The main window keeps the language source mark, so that every window opened later (the
    // wizard, the editors, the about box) also shows the chosen language.
    updateHelpFile();
}

void TfrmMain::mnuDeutschClick() { switchLanguageFromMenu(false); }
void TfrmMain::mnuEnglishClick() { switchLanguageFromMenu(true); }

void TfrmMain::mnuBildClick() {
    // The item's check mark has been inverted by the click.
    prefs_->FPreview = mnuBild->isChecked();
    prefs_->Save();
    drawGraphic_ = mnuBild->isChecked();
    if (dbgMain)
        dbgMain->setOptions(drawGraphic_ ? (dbgMain->Options() | dgDrawGraphic)
                                         : (dbgMain->Options() & ~dgDrawGraphic));
}

void TfrmMain::mnuStartupClick() {
    prefs_->StartUpDialog = mnuStartup->isChecked();
    prefs_->Save();
}

void TfrmMain::mnuWizardClick() {
    TfrmWizard wizard(
        cboServers, [this] { loadProfilesIntoServerList(); }, this);
    wizard.exec();
}

void TfrmMain::EnableRecordCommands(bool on) {
    tbtDelete->setEnabled(on);
    tbtEdit->setEnabled(on);
    tbtNew->setEnabled(on);
    tbtSearch->setEnabled(on);
    tbtPrint->setEnabled(on);
    mnuSuche->setEnabled(on);
    mnuSQLQuery->setEnabled(on);
    mnuWeitersuchen->setEnabled(on);
    mnuEdit->setEnabled(on);
}

void TfrmMain::setStatusText(const QString& text) { sbPanel->setText(text); }
QString TfrmMain::statusText() const { return sbPanel->text(); }
void TfrmMain::showConnectedStatus() { setStatusText(connectedStatus(languageIndex())); }
void TfrmMain::showDisconnectedStatus() { setStatusText(disconnectedStatus(languageIndex())); }

void TfrmMain::gridCopyProgress(const QString& table, std::int64_t progress) {
    setStatusText(copyProgressStatus(languageIndex(), table, progress));
}

void TfrmMain::gridAfterDbCopy(std::int64_t erroneousRecords) {
    setStatusText(copyDoneStatus(languageIndex(), erroneousRecords));
}

void TfrmMain::gridBeforeCreateDB(const QString& table) {
    setStatusText(beforeCreateTableStatus(languageIndex(), table));
}

void TfrmMain::gridAfterCreateDB(bool success, const QString& message) {
    setStatusText(afterCreateTableStatus(languageIndex(), success, message));
}

void TfrmMain::gridFetchProgress(std::int64_t position, std::int64_t maximum) {
    if (const auto text = fetchProgressStatus(position, maximum)) setStatusText(*text);
}

void TfrmMain::showEditImage(bool editing) {
    editing_ = editing;
    tbtEdit->setIcon(QIcon(editing ? QStringLiteral(":/toolbar/editing.png") : QStringLiteral(":/toolbar/edit.png")));
    if (!editing) tbtEdit->repaint();
}

void TfrmMain::showConnectImage(bool connected) {
    connected_ = connected;
    tbtConnect->setIcon(
        QIcon(connected ? QStringLiteral(":/toolbar/online.png") : QStringLiteral(":/toolbar/offline.png")));
}

} // namespace tablor
