// TfrmMain, the program's main window: tool bar, menus, the quick-access list of server
// profiles, the table list and grid, the status bar; first-run question, start timer, the
// Language menu and the commands of the program start.
//
// The window owns its ProfileList and its TPrefs for its whole life; the quick-access entries
// carry pointers to the list's records (entry 0 is the placeholder and carries none). Every
// other window it opens is created for one use, shown modally and freed.
#pragma once

#include "app/dbgrid.h"
#include "app/mainmysqlcomponents.h"
#include "app/u_main_texts.h"
#include "ui/windowcolour.h"
#include "help/shell.h"
#include "l10n/translator.h"
#include "profiles/prefs.h"
#include "db/ADODB.h"
#include "db/ZMySql.h"
#include "profiles/profilelist.h"
#include "transfer/CopyResult.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <cstdint>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolButton;

namespace tablor {

// The word of the last confirmed search input; find next always searches for it. One for the
// whole program, empty at its start.
extern QString LastSearchWord;

// The print routine of the print command, given the grid's current data set: the print column
// selection (u_printselect's Print) unless another one is installed; an empty one restores it.
using PrintRoutine = std::function<void(TDataSet* dataSet)>;
void setPrintRoutine(PrintRoutine routine);

// Which field editor a double-click on a grid cell of a field kind opens: memo kinds the memo
// editor, binary and Oracle-style blobs the image viewer, every other kind (the graphic kind
// too) none.
enum class FieldEditorKind { None, Memo, Image };
FieldEditorKind fieldEditorFor(TFieldType kind);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs its creation steps; a failing step is shown by the error
    // display and the steps after it are left out.
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // --- Commands of the program start -----------------------------------------------------
    // Server management (mnuServerAdmin, tbtPrefs): the server setup dialog, then the profiles
    // are reloaded and the quick-access list refilled.
    void mnuServerAdminClick();
    // Extras > Sprache: Deutsch or English.
    void mnuDeutschClick();
    void mnuEnglishClick();
    // Bildvorschau and Startdialog anzeigen: take the item's check mark into the preferences.
    void mnuBildClick();
    void mnuStartupClick();
    // The help command (tbtHelp, mnuHelt), the web site and the about box (u_main_help.cpp).
    void mnuHeltClick();
    void mnuVisitSiteClick();
    void mnuAboutClick();
    // The steps of the first showing; run once, right after the window appeared.
    void FormShow();
    // The one-shot start timer: the start dialog and what was chosen in it.
    void tmrStartupTimer();
    // The conversion wizard (mnuWizard, tbtWizard, the start dialog's choice), modal; its server
    // buttons reload server.dat and refill the quick-access list.
    void mnuWizardClick();
    // --- Connection and table browsing ------------------------------------------------------
    // The reaction to the user's choice in the quick-access list: opens the profile's local
    // file and offers to connect.
    void cboServersChange();
    // Connects to the selected profile's server, or disconnects when connected.
    void tbtConnectClick();
    void mySQLDBAfterConnect();
    void mySQLDBAfterDisconnect();
    // Opens an Access file in local mode (a missing file leaves cnLocal closed).
    void OpenLocalDb(const QString& path);
    // The open command: odgLocalDb, then OpenLocalDb and the placeholder entry.
    void tbtOpenClick();
    // Table list: tick change, double-click (shows the highlighted table).
    void clbTabellenClickCheck();
    void clbTabellenDblClick();
    void mnuSelAllClick();
    void mnuSelRevClick();
    // Grid: title click sorts by the column; double-click opens the field editors
    // (u_main_editors.cpp), a failure shown by the error display.
    void dbgMainTitleClick(int column);
    void dbgMainDblClick();
    // The field editor of the grid's selected field: the memo editor, the image viewer or none.
    // Throws what opening it threw (the edit command swallows it).
    void openFieldEditor();
    // Every grid column wider than 70 pixels is narrowed to 70.
    void narrowColumns();
    static constexpr int NarrowColumnWidth = 70;

    // --- Download and upload ----------------------------------------------------------------------
    // Copies every ticked server table into the selected profile's Access file (created when
    // missing): progress in the status bar, one message per table not copied (help context 600).
    void tbtSaveClick();
    // Copies every ticked Access table onto the server table of the same name, each in one
    // server transaction; without a selected profile says msgReadOnlyLocalDb.
    void tbtUploadClick();
    static constexpr int CopyHelpContext = 600;

    // --- Record commands and search -----------------------------------------------------------
    void tbtNewClick();
    void tbtDeleteClick();
    void tbtEditClick();
    void tbtSearchClick();
    void mnuWeitersuchenClick();
    void tbtPrintClick();
    // Searches the grid's data set for `word`, field by field after the selected field.
    void FindInGrid(const QString& word, bool fromStart);

    // Switches tbtDelete, tbtEdit, tbtNew, tbtSearch, tbtPrint, mnuSuche, mnuSQLQuery,
    // mnuWeitersuchen, mnuEdit on or off, in this order.
    void EnableRecordCommands(bool on);

    // --- Status bar: the reactions to the connections and to the grid data set's events -----
    void setStatusText(const QString& text);
    QString statusText() const;
    void showConnectedStatus();
    void showDisconnectedStatus();
    void gridCopyProgress(const QString& table, std::int64_t progress);
    void gridAfterDbCopy(std::int64_t erroneousRecords);
    void gridBeforeCreateDB(const QString& table);
    void gridAfterCreateDB(bool success, const QString& message);
    void gridFetchProgress(std::int64_t position, std::int64_t maximum);

    // --- Images of the two-state tool buttons ------------------------------------------------
    void showEditImage(bool editing);
    bool editImageShown() const { return editing_; }
    void showConnectImage(bool connected);
    bool connectedImageShown() const { return connected_; }

    // --- What the window holds ---------------------------------------------------------------
    TPrefs& prefs() { return *prefs_; }
    ProfileList& profileList() { return *profiles_; }
    QComboBox* serverList() const { return cboServers; }
    TTranslator* translator() const { return Translator1; }
    // The language name of this window's messages: the stored one, or "Deutsch" when the
    // stored name is empty or unknown (the window itself falls back to German then).
    QString messageLanguage() const;
    int languageIndex() const { return prefs_->LanguageIndex; }
    // The help file of the current language (ProgramDir + tablor_help_de.hlp / _en.hlp).
    const QString& helpFile() const { return helpFile_; }
    // The MySQL connection and the free query.
    TZMySqlDatabase& mySQLDB() { return mysql_.mySQLDB; }
    // The grid data set (the MySQL table shown in MySQL mode).
    TZMySqlTable& gridDataSet() { return *gridDataSet_; }
    // The Access connection and the Access table shown in local mode.
    TADOConnection& localConnection() { return *cnLocal_; }
    TADOTable* localTable() const { return tblLocal_; }
    // The data set the grid shows now: the grid data set (dtsMain) or tblLocal (dtsLocal).
    TDataSet* currentDataSet() const;
    bool showsMainDataSource() const { return mainSourceShown_; }
    TMDBGrid* grid() const { return dbgMain; }
    QListWidget* tableList() const { return clbTabellen; }
    // The profile of the quick-access entry selected now (nullptr for the placeholder).
    ServerProfile* selectedProfile() const;
    // Whether the window is in MySQL mode.
    bool mySqlMode() const { return mysql_.mySQLDB.Connected(); }
    // Whether the grid draws pictures of blob fields inside its cells (the image preview).
    bool gridDrawsGraphics() const { return drawGraphic_; }
    QTimer* startupTimer() const { return tmrStartup; }
    // The main window's six two-language texts in the current language.
    QString mainWindowText(MainWindowTextKey key) const;

    static constexpr int HelpContext = 100;
    static constexpr int MinimumWidth = 900;
    static constexpr int MinimumHeight = 200;
    static constexpr int TableListWidth = 121;
    static constexpr int SplitterMinimum = 100;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    void buildMenus();
    // The grid's blob descriptions follow the window's language.
    void connectFieldEditors();
    void buildToolBar();
    void connectCommands();
    void connectHelpCommands();
    void runCreationSteps();
    // Reloads server.dat into the profile list and refills the quick-access list.
    void loadProfilesIntoServerList();
    void fillServerList();
    void switchLanguageFromMenu(bool english);
    void updateHelpFile();
    // The message for a table a copy did not copy (empty when it was copied); `tableShown` is
    // the table as the message names it.
    QString copyResultMessage(const transfer::TableCopyReport& report, const QString& tableShown) const;
    void copyProfileIntoConnection(const ServerProfile& profile);
    void attachGridDataSet();
    void showMainDataSource(bool main);
    void fillTableList(const QStringList& names);
    int tickedCount() const;
    // Opens the grid data set with `name`, once more on failure; returns the second failure.
    void openGridTable(const QString& name);
    void attachGridEvents();
    void attachLocalEvents();
    // The Access connection cnLocal and its table tblLocal.
    void closeLocalConnection();
    QStringList openLocalConnection(const QString& path); // returns the tables and views
    void openLocalTable(const QString& name);
    QToolButton* addToolButton(const char* name, const char* image);

    // Controls, named as the texts and the later parts of the program refer to them.
    QWidget* ToolBar1 = nullptr;
    QToolButton* tbtOpen = nullptr;
    QToolButton* tbtSave = nullptr;
    QToolButton* tbtUpload = nullptr;
    QToolButton* tbtDelete = nullptr;
    QToolButton* tbtNew = nullptr;
    QToolButton* tbtEdit = nullptr;
    QToolButton* tbtSearch = nullptr;
    QToolButton* tbtPrint = nullptr;
    QToolButton* tbtConnect = nullptr;
    QToolButton* tbtPrefs = nullptr;
    QToolButton* tbtHelp = nullptr;
    QToolButton* tbtWizard = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cboServers = nullptr;
    QLabel* imgLogo = nullptr;
    QSplitter* Splitter1 = nullptr;
    QListWidget* clbTabellen = nullptr;
    TMDBGrid* dbgMain = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label2 = nullptr;
    QStatusBar* sbMain = nullptr;
    QLabel* sbPanel = nullptr;

    QMenu* Datei1 = nullptr;
    QAction* ffnen1 = nullptr;
    QAction* Beenden1 = nullptr;
    QMenu* Bearbeiten1 = nullptr;
    QAction* mnuSuche = nullptr;
    QAction* mnuWeitersuchen = nullptr;
    QAction* mnuEdit = nullptr;
    QAction* mnuSQLQuery = nullptr;
    QMenu* Extras1 = nullptr;
    QMenu* Sprache1 = nullptr;
    QAction* mnuEnglish = nullptr;
    QAction* mnuDeutsch = nullptr;
    QAction* mnuServerAdmin = nullptr;
    QAction* mnuPrefs = nullptr;
    QAction* mnuBild = nullptr;
    QAction* mnuWizard = nullptr;
    QAction* mnuStartup = nullptr;
    QMenu* N1 = nullptr;
    QAction* mnuHelt = nullptr;
    QAction* mnuVisitSite = nullptr;
    QAction* mnuAbout = nullptr;
    QMenu* popTabAuswahl = nullptr;
    QAction* mnuSelAll = nullptr;
    QAction* mnuSelRev = nullptr;

    TTranslator* Translator1 = nullptr;
    QTimer* tmrStartup = nullptr;

    TMainMySqlComponents mysql_;
    // The grid data set (the MySQL table shown in MySQL mode).
    std::unique_ptr<TZMySqlTable> gridDataSet_;
    std::unique_ptr<TADOConnection> cnLocal_;
    std::unique_ptr<TADOTable> tblLocalOwned_;
    TADOTable* tblLocal_ = nullptr;
    bool mainSourceShown_ = true;
    bool settingTicks_ = false; // the program changes ticks: no tick-change reaction

    std::unique_ptr<ProfileList> profiles_;
    std::unique_ptr<TPrefs> prefs_;
    std::array<LanguagePair, MainWindowTextCount> MainWindowTexts{};
    QString helpFile_;
    bool drawGraphic_ = false;
    bool editing_ = false;
    bool connected_ = false;
    bool shownOnce_ = false;
};

} // namespace tablor
