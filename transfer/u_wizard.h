// TfrmWizard, the conversion wizard: a modal dialog that copies the structure and rows of chosen
// tables Access to MySQL, MySQL to Access, MySQL to MySQL or Access to Access. Its pages sit in
// a stack without tabs (tabMain) and are switched by Next and Back only:
//   0 tabAktion (the direction), 1-4 the source and target of each direction, 5 tabTabellen
//   (tables, copy option), 6 tabProgress (two gauges, status, rows/s), 7 tabFinish.
// The copy itself is runWizardCopy (transfer/WizardCopy.h); the wizard fills a WizardJob from
// its controls and watches the copy through a WizardSink (u_wizard_copy.cpp).
//
// Use (the main window):
//     TfrmWizard wizard(cboServers, [this] { reloadProfiles(); }, this);
//     wizard.exec();
// `servers` is the main window's quick-access list: its entries (texts and the ServerProfile
// pointers attached to them) are copied into the four profile lists; the records stay the main
// window's. `reloadServers` reloads server.dat and refills `servers` after the server setup.
//
// Control texts come from its TTranslator (design language English, or the language of the
// window carrying the language source mark); texts the wizard composes follow its TPrefs.
#pragma once

#include "db/u_db.h"
#include "db/u_dbaccess.h"
#include "profiles/prefs.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;

namespace tablor {

class TTranslator;
class WizardCopyWatch;
struct ServerProfile;
namespace transfer {
struct WizardJob;
struct WizardReport;
} // namespace transfer

// The wizard's Access helper (the source of Access to MySQL and Access to Access).
class TMsSQL : public u_dbaccess::TSQLObject {};
// The wizard's MySQL helper, with a connection of its own (lists the tables of a MySQL source).
class TMySQL : public u_db::TSQLObject {};

// What a file dialog of the wizard is asked.
struct WizardFileRequest {
    bool save = false;  // the save dialog (a target that need not exist)
    QString title;      // "Öffnen..."
    QString filter;     // "Access Datenbanken (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*"
    QString defaultExt; // "mdb"
    QString fileName;   // the save dialog: "backup.mdb"
};
// Returns the chosen path, or an empty string when the dialog was dismissed.
using WizardFileChooser = std::function<QString(QWidget* parent, const WizardFileRequest&)>;

// The id list (in wizardTroubleshootingFolder()): when this file exists, Access to MySQL copies only the ids it lists.
QString troubleshootIdListPath();

class TfrmWizard : public QDialog {
    Q_OBJECT
public:
    enum Page {
        PageAction,
        PageAccess2MySql,
        PageMySql2Access,
        PageMySql2MySql,
        PageAccess2Access,
        PageTables,
        PageProgress,
        PageFinish
    };
    static constexpr int ClientWidth = 337;
    static constexpr int ClientHeight = 237;

    TfrmWizard(const QComboBox* servers, std::function<void()> reloadServers, QWidget* parent = nullptr,
               const QStringList& arguments = defaultArguments());
    ~TfrmWizard() override;

    // The resume offset a command line asks for: the last parameter whose lower-cased text
    // contains "-offset:" decides; the up to 9 characters from its 9th on are read as a number,
    // 0 when they are none.
    static qint32 resumeOffsetFrom(const QStringList& arguments);
    static QStringList defaultArguments();

    // Replaces the real file dialogs; an empty function restores them. Returns the previous one.
    static WizardFileChooser setFileChooser(WizardFileChooser chooser);

    // The handlers of the buttons, the file and server buttons and the selection menu.
    void btnWeiterClick();
    void btnBackClick();
    void btnOpenClick();
    void btnMAOpenClick();
    void btnOpenAA1Click();
    void btnOpenAA2Click();
    void btnServerClick();
    void popSelAllClick();
    void popSelNonClick();
    void popInvertClick();

    // State, for the tests.
    Page page() const;
    qint32 ResumeOffset = 0;
    QString CurrentSql;
    TPrefs& prefs() { return *prefs_; }
    bool copying() const { return copying_; }
    // The job the copy was given (valid after the copy started).
    const transfer::WizardJob& lastJob() const { return *job_; }
    bool everythingCopied() const { return everythingCopied_; }

protected:
    void reject() override; // Cancel, Escape, the close box: during the copy a cancel request

private:
    friend class WizardCopyWatch;

    void buildWindow();
    QWidget* buildActionPage();
    QWidget* buildAccess2MySqlPage();
    QWidget* buildMySql2AccessPage();
    QWidget* buildMySql2MySqlPage();
    QWidget* buildAccess2AccessPage();
    QWidget* buildTablesPage();
    QWidget* buildProgressPage();
    QWidget* buildFinishPage();
    void buildTexts();
    void fillProfileLists();
    void showPage(Page page);
    Page directionPage() const;
    void setNextCaption(bool close);
    QString messageLanguage() const;
    void message(const QString& text);
    // The checks of a source and target page; false after the message.
    bool checkDirectionPage(Page page);
    void fillTablesFromAccess(const QString& path, bool tick);
    void fillTablesFromMySql(const ServerProfile& profile);
    void setTables(const QStringList& names, bool tick);
    void setAllTicks(int how); // 0 none, 1 all, 2 invert
    ServerProfile* profileOf(const QComboBox* combo) const;
    QString chooseFile(bool save);

    // The copy (u_wizard_copy.cpp).
    void startCopy();
    transfer::WizardJob buildJob();
    void showFinish(const transfer::WizardReport& report);
    void appendError(const QString& line);
    void appendToErrors(const QString& text);
    QString summaryText(const transfer::WizardReport& report) const;

    const QComboBox* servers_;
    std::function<void()> reloadServers_;
    std::unique_ptr<TPrefs> prefs_;
    std::unique_ptr<TMsSQL> msSql_;
    std::unique_ptr<TMySQL> mySql_;
    std::unique_ptr<transfer::WizardJob> job_;
    bool copying_ = false;
    bool cancelRequested_ = false;
    bool everythingCopied_ = false;
    int errorLines_ = 0;        // error lines listed in memErrors
    int errorLinesLeftOut_ = 0; // error lines beyond the listed ones
    int messagesShown_ = 0;     // message boxes the copy showed

    TTranslator* Translator1 = nullptr;
    QStackedWidget* tabMain = nullptr;
    QWidget* tabAktion = nullptr;
    QRadioButton* rdoA2M = nullptr;
    QRadioButton* rdoM2A = nullptr;
    QRadioButton* rdoM2M = nullptr;
    QRadioButton* rdoAccess2Access = nullptr;
    QWidget* tabAccess2MySQL = nullptr;
    QLineEdit* txtAMAccess = nullptr;
    QToolButton* btnOpen = nullptr;
    QComboBox* cboServerAM = nullptr;
    QToolButton* btnServer = nullptr;
    QLineEdit* txtAMPrefix = nullptr;
    QWidget* tabMySQL2Access = nullptr;
    QComboBox* cboServerMA = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLineEdit* txtMAAccess = nullptr;
    QToolButton* btnMAOpen = nullptr;
    QWidget* tabMySQL2MySQL = nullptr;
    QComboBox* cboServerMM1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QComboBox* cboServerMM2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QLineEdit* txtMMPrefix = nullptr;
    QWidget* tabAccess2Access = nullptr;
    QLineEdit* txtAAAccess1 = nullptr;
    QToolButton* btnOpenAA1 = nullptr;
    QLineEdit* txtAAAccess2 = nullptr;
    QToolButton* btnOpenAA2 = nullptr;
    QWidget* tabTabellen = nullptr;
    QListWidget* clbTabellen = nullptr;
    QMenu* popTables = nullptr;
    QAction* popSelAll = nullptr;
    QAction* popSelNon = nullptr;
    QAction* popInvert = nullptr;
    QComboBox* cboOption = nullptr;
    QWidget* tabProgress = nullptr;
    QProgressBar* prgAll = nullptr;
    QProgressBar* prgDetail = nullptr;
    QLabel* lblStat = nullptr;
    QLabel* lblRate = nullptr;
    QWidget* tabFinish = nullptr;
    QLabel* lblSuccess = nullptr;
    QLabel* lblFailure = nullptr;
    QPlainTextEdit* memErrors = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnBack = nullptr;
    QPushButton* btnWeiter = nullptr;
};

} // namespace tablor
