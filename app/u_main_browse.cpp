// The main window's connection and browsing: profiles to connections, the MySQL server and the
// local Access file, the table list, the grid's data sets, record commands, search and print.
#include "app/u_main.h"

#include "app/errordisplay.h"
#include "app/findingrid.h"
#include "app/inputbox.h"
#include "app/statustexts.h"
#include "app/u_startup.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/programdir.h"
#include "profiles/u_serveredit.h"
#include "db/BusyCursor.h"
#include "db/DbError.h"
#include "db/ServerLogin.h"
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QComboBox>
#include <QDesktopServices>
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

namespace tablor {

ServerProfile* TfrmMain::selectedProfile() const {
    const QVariant data = cboServers->currentData();
    return data.isValid() ? static_cast<ServerProfile*>(data.value<void*>()) : nullptr;
}

TDataSet* TfrmMain::currentDataSet() const {
    return mainSourceShown_ ? static_cast<TDataSet*>(gridDataSet_.get()) : static_cast<TDataSet*>(tblLocal_);
}

void TfrmMain::showMainDataSource(bool main) {
    mainSourceShown_ = main;
    dbgMain->setDataSet(currentDataSet());
}

void TfrmMain::attachGridDataSet() {
    gridDataSet_->Database = &mysql_.mySQLDB;
    gridDataSet_->Transaction = &mysql_.mySQLTrans;
}

void TfrmMain::attachGridEvents() {
    TZMySqlTable& grid = *gridDataSet_;
    grid.AfterInsert = [this](TDataSet*) { showEditImage(true); };
    grid.AfterEdit = [this](TDataSet*) { showEditImage(true); };
    for (TDataSetNotifyEvent* ev : {&grid.AfterPost, &grid.AfterCancel, &grid.AfterDelete, &grid.AfterScroll})
        *ev = [this](TDataSet*) { showEditImage(false); };
    grid.OnProgress = [this](TDataSet*, TZProgressStage, TZProgressProc, int position, int maximum, bool&) {
        gridFetchProgress(position, maximum);
    };
}

void TfrmMain::copyProfileIntoConnection(const ServerProfile& profile) {
    setServerLogin(mysql_.mySQLDB, {.host = profile.ServerName,
                                    .port = QString::number(profile.Port),
                                    .user = profile.UserName,
                                    .password = profile.Password,
                                    .database = profile.DbName});
}

void TfrmMain::fillTableList(const QStringList& names) {
    settingTicks_ = true;
    clbTabellen->clear();
    for (const QString& name : names) {
        auto* entry = new QListWidgetItem(name, clbTabellen);
        entry->setFlags(entry->flags() | Qt::ItemIsUserCheckable);
        entry->setCheckState(Qt::Unchecked);
    }
    settingTicks_ = false;
}

int TfrmMain::tickedCount() const {
    int ticked = 0;
    for (int i = 0; i < clbTabellen->count(); ++i)
        if (clbTabellen->item(i)->checkState() == Qt::Checked) ++ticked;
    return ticked;
}

void TfrmMain::cboServersChange() {
    tbtConnect->setEnabled(cboServers->currentIndex() > 0);
    ServerProfile* profile = selectedProfile();
    if (!profile) return; // the placeholder carries no profile
    if (mysql_.mySQLDB.Connected())
        mysql_.mySQLDB.Disconnect(); // the after-disconnect reaction opens the profile's file
    else OpenLocalDb(profile->MdbPath);
    if (LocalizedMessageDlg(LocalizedMessage(msgConnectNow, languageIndex()), mtConfirmation, mbYes | mbNo, mrYes,
                            messageLanguage(), 0) == mrYes)
        tbtConnectClick();
}

void TfrmMain::openGridTable(const QString& name) {
    gridDataSet_->setTableName(name);
    try {
        gridDataSet_->Open();
    } catch (const EDatabaseError&) {
        gridDataSet_->setTableName(name);
        gridDataSet_->Open();
    }
}

void TfrmMain::tbtConnectClick() {
    attachGridDataSet();
    if (mysql_.mySQLDB.Connected()) {
        showMainDataSource(false);
        mysql_.mySQLDB.Disconnect();
        narrowColumns();
        return;
    }
    ServerProfile* profile = selectedProfile();
    if (!profile) {
        LocalizedMessageDlg(LocalizedMessage(msgSelectProfile, languageIndex()), mtInformation, mbOK, 0,
                            messageLanguage(), 0);
        return;
    }
    copyProfileIntoConnection(*profile);
    try {
        mysql_.mySQLDB.Connect();
    } catch (const std::exception& e) {
        // The failure's own text in a plain box; the table list keeps its local entries.
        showApplicationError(QString::fromUtf8(e.what()));
    }
    attachGridDataSet();
    if (clbTabellen->count() > 0) {
        try {
            openGridTable(clbTabellen->item(0)->text());
        } catch (const std::exception&) {
            ignoreOnPurpose("a first table that cannot be opened leaves the grid empty, without a message");
        }
        showMainDataSource(true);
    }
    narrowColumns();
}

void TfrmMain::mySQLDBAfterConnect() {
    fillTableList({});
    showConnectedStatus();
    showConnectImage(true);
    showMainDataSource(true);
    tbtSave->setEnabled(false);
    tbtUpload->setEnabled(false);
    EnableRecordCommands(true);

    TZMySqlQuery& query = mysql_.myQryFree;
    query.Close();
    query.SQL = QStringList{QStringLiteral("SHOW TABLES")};
    query.Open();
    QStringList names;
    names.reserve(query.RecordCount());
    for (int row = 0; row < query.RecordCount(); ++row) names << query.CellText(row, 0);
    query.Close();
    fillTableList(names);
}

void TfrmMain::mySQLDBAfterDisconnect() {
    EnableRecordCommands(false);
    if (ServerProfile* profile = selectedProfile()) OpenLocalDb(profile->MdbPath);
}

void TfrmMain::OpenLocalDb(const QString& path) {
    prefs_->Load();
    mysql_.mySQLDB.Disconnect();
    if (ServerProfile* profile = selectedProfile()) copyProfileIntoConnection(*profile);
    gridDataSet_->Close();
    attachGridDataSet();
    showConnectImage(false);
    fillTableList({});
    showDisconnectedStatus();
    showMainDataSource(false);
    tbtSave->setEnabled(false);
    tbtUpload->setEnabled(false);

    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        closeLocalConnection();
        return;
    }
    closeLocalConnection();
    QStringList tables;
    try {
        tables = openLocalConnection(path);
    } catch (const std::exception&) {
        // The provider's error reaches the error display; the table list stays empty.
        showApplicationError(currentExceptionText());
        return;
    }
    fillTableList(tables);
    if (tables.isEmpty() || !tblLocal_) return;
    try {
        openLocalTable(tables.constFirst()); // by its bare name
    } catch (const std::exception&) {
        ignoreOnPurpose("a first local table that cannot be opened leaves the grid empty, without a message");
    }
}

void TfrmMain::tbtOpenClick() {
    const bool english = languageIndex() != 0;
    OpenFileRequest request;
    request.filters = english
                          ? QStringList{QStringLiteral("Access file (*.mdb)"), QStringLiteral("All files (*)")}
                          : QStringList{QStringLiteral("Access Datenbank (*.mdb)"), QStringLiteral("Alle Dateien (*)")};
    request.defaultSuffix = QStringLiteral("mdb");
    const std::optional<QString> chosen = chooseFileToOpen(request, this);
    if (!chosen) return;
    OpenLocalDb(*chosen);
    // Selecting the placeholder here is no user choice: no quick-access reaction.
    const QSignalBlocker quiet(cboServers);
    cboServers->setCurrentIndex(0);
}

void TfrmMain::clbTabellenClickCheck() {
    const bool any = tickedCount() > 0;
    (mySqlMode() ? tbtSave : tbtUpload)->setEnabled(any);
}

void TfrmMain::mnuSelAllClick() {
    settingTicks_ = true;
    for (int i = 0; i < clbTabellen->count(); ++i) clbTabellen->item(i)->setCheckState(Qt::Checked);
    settingTicks_ = false;
}

void TfrmMain::mnuSelRevClick() {
    settingTicks_ = true;
    for (int i = 0; i < clbTabellen->count(); ++i) {
        QListWidgetItem* entry = clbTabellen->item(i);
        entry->setCheckState(entry->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    settingTicks_ = false;
}

void TfrmMain::clbTabellenDblClick() {
    QListWidgetItem* entry = clbTabellen->currentItem();
    try {
        if (mySqlMode()) {
            gridDataSet_->Close();
            gridDataSet_->setSortedFields(QString());
            if (entry && entry->isSelected()) openGridTable(entry->text());
        } else if (tblLocal_ && entry) {
            tblLocal_->Close();
            tblLocal_->setSortedFields(QString());
            openLocalTable(QLatin1Char('[') + entry->text() + QLatin1Char(']'));
        }
    } catch (const std::exception&) {
        showApplicationError(currentExceptionText());
    }
    narrowColumns();
}

void TfrmMain::narrowColumns() { dbgMain->narrowColumns(NarrowColumnWidth); }

void TfrmMain::dbgMainTitleClick(int column) {
    TDataSet* ds = currentDataSet();
    if (!ds || !ds->Active() || column < 0 || column >= ds->FieldCount()) return;
    const QString name = ds->Fields(column)->FieldName();
    if (mySqlMode()) {
        try {
            gridDataSet_->setSortedFields(QLatin1Char('`') + name + QLatin1Char('`'));
        } catch (const std::exception&) {
            try {
                gridDataSet_->setSortedFields(name);
            } catch (const std::exception&) {
                showApplicationError(currentExceptionText());
            }
        }
    } else if (tblLocal_) {
        try {
            tblLocal_->setSortedFields(QLatin1Char('[') + name + QLatin1Char(']'));
        } catch (const std::exception&) {
            ignoreOnPurpose("a local sort that fails leaves the rows in their order, without a message");
        }
    }
}

FieldEditorKind fieldEditorFor(TFieldType kind) {
    if (IsMemoKind(kind)) return FieldEditorKind::Memo;
    if (kind == TFieldType::ftBlob || kind == TFieldType::ftOraBlob) return FieldEditorKind::Image;
    return FieldEditorKind::None;
}

// =========================================================================================
// Record commands and search
// =========================================================================================

void TfrmMain::tbtNewClick() {
    TDataSet* ds = currentDataSet();
    try {
        if (!ds) throw EDatabaseError(QStringLiteral("No table is open."));
        ds->Append();
        showEditImage(true);
    } catch (const std::exception&) {
        ignoreOnPurpose("a failed append shows the normal edit image, without a message");
        showEditImage(false);
    }
}

void TfrmMain::tbtDeleteClick() {
    if (LocalizedMessageDlg(LocalizedMessage(msgDeleteRecord, languageIndex()), mtInformation, mbYes | mbNo, 0,
                            messageLanguage(), 0) != mrYes)
        return;
    try {
        if (TDataSet* ds = currentDataSet()) ds->Delete();
    } catch (const std::exception&) {
        ignoreOnPurpose("a failed delete is left without a message; the grid shows what the data set holds");
    }
}

void TfrmMain::tbtEditClick() {
    dbgMain->setFocus();
    TDataSet* ds = currentDataSet();
    // Text typed into the cell editor reaches the data set when the editing ends; so a typed
    // change is in the record before it is posted.
    try {
        dbgMain->commitEditing();
    } catch (const std::exception&) {
        ignoreOnPurpose("a typed value the record refuses is dropped by the post and cancel below");
    }
    if (ds && (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert)) {
        try {
            ds->Post();
        } catch (const std::exception&) {
            ignoreOnPurpose("a failed post returns the record to its stored values, without a message");
            try {
                ds->Cancel();
            } catch (const std::exception&) {
                ignoreOnPurpose("cancelling after a failed post; the grid shows what the data set holds");
            }
        }
        showEditImage(false);
        return;
    }
    try {
        if (!ds || !ds->Active()) throw EDatabaseError(QStringLiteral("No table is open."));
        TField* field = dbgMain->SelectedField();
        if (field && fieldEditorFor(field->DataType()) != FieldEditorKind::None) openFieldEditor();
        else ds->Edit();
        dbgMain->setEditorMode(true);
        showEditImage(true);
    } catch (const std::exception&) {
        ignoreOnPurpose("a record that cannot be edited shows the normal edit image, without a message");
        showEditImage(false);
    }
}

void TfrmMain::tbtSearchClick() {
    QString word = LastSearchWord;
    if (!InputQuery(LocalizedMessage(msgFind, languageIndex()), mainWindowText(msgSearchPrompt), word, this)) return;
    LastSearchWord = word;
    FindInGrid(LastSearchWord, true);
}

void TfrmMain::mnuWeitersuchenClick() { FindInGrid(LastSearchWord, false); }

void TfrmMain::FindInGrid(const QString& word, bool fromStart) {
    TDataSet* ds = mySqlMode() ? static_cast<TDataSet*>(gridDataSet_.get()) : static_cast<TDataSet*>(tblLocal_);
    if (!ds || !ds->Active()) return; // nothing to search
    const int rememberedRecNo = ds->RecNo();
    const int rememberedField = dbgMain->SelectedIndex();
    FindOutcome outcome;
    ds->DisableControls();
    try {
        outcome = scanForWord(*ds, word, rememberedField + 1, fromStart);
    } catch (...) {
        ds->EnableControls();
        throw;
    }
    ds->EnableControls();
    dbgMain->setSelectedIndex(outcome.field);
    if (!outcome.found) {
        if (rememberedRecNo > 0) ds->setRecNo(rememberedRecNo);
        dbgMain->setSelectedIndex(rememberedField);
        LocalizedMessageDlg(LocalizedMessage(fromStart ? msgNoMatch : msgNoFurtherMatch, languageIndex()),
                            mtInformation, mbOK, 0, messageLanguage(), 0);
    }
}

void TfrmMain::closeLocalConnection() {
    if (cnLocal_) cnLocal_->Close(); // closes tblLocal with it
}

QStringList TfrmMain::openLocalConnection(const QString& path) {
    cnLocal_->ConnectionString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
                                 QStringLiteral(";Persist Security Info=False");
    cnLocal_->Open();
    return cnLocal_->TableNames();
}

void TfrmMain::openLocalTable(const QString& name) {
    tblLocal_->setTableName(name);
    tblLocal_->Open();
}

void TfrmMain::attachLocalEvents() {
    cnLocal_->AfterConnect = [this](TADOConnection*) { EnableRecordCommands(true); };
    cnLocal_->AfterDisconnect = [this](TADOConnection*) { EnableRecordCommands(false); };
    TADOTable& t = *tblLocal_;
    t.AfterInsert = [this](TDataSet*) { showEditImage(true); };
    t.AfterEdit = [this](TDataSet*) { showEditImage(true); };
    // While a record is appended the editing image stays (appending scrolls too).
    for (TDataSetNotifyEvent* ev : {&t.AfterClose, &t.AfterPost, &t.AfterCancel, &t.BeforeScroll, &t.AfterScroll})
        *ev = [this](TDataSet* ds) {
            if (ds->State() != TDataSetState::dsInsert) showEditImage(false);
        };
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // The connection closes with its after-disconnect reaction, as when disconnecting.
    mysql_.mySQLDB.Disconnect();
    QMainWindow::closeEvent(event);
}

} // namespace tablor
