// The main window's download (tbtSave, "Lokal speichern") and upload (tbtUpload,
// "Bereitstellen"): every ticked table from the server into the selected profile's Access file
// or back, through the copy engines (transfer/DownloadCopy.h, UploadCopy.h), with the progress
// in the status bar and one message per table that was not copied.
#include "app/copysession.h"
#include "app/errordisplay.h"
#include "app/u_main.h"
#include "profiles/localizedmessagedlg.h"
#include "transfer/DownloadCopy.h"
#include "transfer/UploadCopy.h"
#include "profiles/localizedmessages.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>

namespace tablor {

namespace {

// The rows a message lists of a table whose rows failed.
constexpr size_t kListedRowErrors = 10;

} // namespace

QString TfrmMain::copyResultMessage(const transfer::TableCopyReport& report, const QString& tableShown) const {
    using transfer::CopyResult;
    const QString table = QStringLiteral("\r> ") + tableShown;
    QString text;
    switch (report.result) {
    case CopyResult::AllRowsFailed:
    case CopyResult::TypeConflict: text = mainWindowText(msgTypeConflict); break;
    case CopyResult::NoLocalDb: text = mainWindowText(msgNoLocalDb) + table; break;
    case CopyResult::NoRemoteDb: text = mainWindowText(msgNoRemoteDb) + table; break;
    case CopyResult::NoPrimaryKey: text = mainWindowText(msgNoPrimaryKey) + table; break;
    case CopyResult::NoConnection:
    case CopyResult::Copied:
        // A cancelled table says how far it got and in what state it is.
        if (!report.cancelled) return {};
        return report.message;
    }
    // What went wrong, and with which rows, below the standard message.
    if (!report.message.isEmpty()) text += QStringLiteral("\r\r") + report.message;
    for (size_t i = 0; i < report.errors.size() && i < kListedRowErrors; ++i)
        text += QStringLiteral("\r") + report.errors[i].key + QStringLiteral(": ") + report.errors[i].message;
    if (report.rowsFailed > static_cast<qint64>(std::min(report.errors.size(), kListedRowErrors)))
        text += QStringLiteral("\r… (%1)").arg(report.rowsFailed);
    return text;
}

void TfrmMain::tbtSaveClick() {
    if (!mysql_.mySQLDB.Connected()) return;
    ServerProfile* profile = selectedProfile();
    if (!profile) return;
    QStringList ticked;
    for (int i = 0; i < clbTabellen->count(); ++i)
        if (clbTabellen->item(i)->checkState() == Qt::Checked) ticked << clbTabellen->item(i)->text();
    const QString shown = gridDataSet_->TableName();
    gridDataSet_->Close();

    transfer::DownloadOptions options;
    options.mdbPath = profile->MdbPath;
    options.office2000 = !profile->isOffice97();
    options.overwrite = profile->Overwrite;
    options.languageIndex = languageIndex();
    transfer::DownloadCopy copy(mysql_.mySQLDB, options);
    CopySession session(this, sbMain, languageIndex());
    copy.cancel = session.cancelFlag();
    copy.OnBeforeCreateDB = [this](const QString& table) { gridBeforeCreateDB(table); };
    copy.AfterCreateDB = [this](const QString&, bool success, const QString& error) {
        gridAfterCreateDB(success, error);
    };
    copy.OnCopyProgress = [&](const QString& table, int percent, qint64 rows, qint64 total) {
        gridCopyProgress(table, percent);
        session.progress(table, rows, total);
    };
    copy.OnAfterDbCopy = [this](const QString&, qint64 erroneous) { gridAfterDbCopy(erroneous); };
    try {
        for (const QString& table : ticked) {
            const transfer::TableCopyReport report = copy.CopyToLocal(table);
            const QString text = copyResultMessage(report, report.table);
            if (!text.isEmpty())
                session.withInput([&] {
                    LocalizedMessageDlg(text, mtInformation, mbOK | mbHelp, 0, messageLanguage(), CopyHelpContext);
                });
            if (report.cancelled) break;
        }
        const QStringList problems = copy.checkFile();
        if (!problems.isEmpty())
            session.withInput([&] {
                showApplicationError(profile->MdbPath + QStringLiteral(" fails the integrity check:\r") +
                                     problems.join(QStringLiteral("\r")));
            });
    } catch (const std::exception& e) {
        // The Access file cannot be created or written: no later table can be copied.
        session.withInput([&] { showApplicationError(QString::fromUtf8(e.what())); });
    }
    try {
        if (!shown.isEmpty()) openGridTable(shown);
    } catch (const std::exception&) {
        showApplicationError(currentExceptionText());
    }
}

void TfrmMain::tbtUploadClick() {
    ServerProfile* profile = cboServers->currentIndex() > 0 ? selectedProfile() : nullptr;
    if (!profile) {
        LocalizedMessageDlg(LocalizedMessage(msgReadOnlyLocalDb, languageIndex()), mtInformation, mbOK, 0,
                            messageLanguage(), 0);
        return;
    }
    QStringList ticked;
    for (int i = 0; i < clbTabellen->count(); ++i)
        if (clbTabellen->item(i)->checkState() == Qt::Checked) ticked << clbTabellen->item(i)->text();
    transfer::UploadOptions options;
    options.host = profile->ServerName;
    options.port = QString::number(profile->Port);
    options.database = profile->DbName;
    options.user = profile->UserName;
    options.password = profile->Password;
    options.mdbPath = profile->MdbPath;
    options.overwrite = profile->Overwrite;
    options.languageIndex = languageIndex();
    transfer::UploadCopy copy(options);
    CopySession session(this, sbMain, languageIndex());
    copy.cancel = session.cancelFlag();
    copy.OnCopyProgress = [&](const QString& table, int percent, qint64 rows, qint64 total) {
        gridCopyProgress(QLatin1Char('`') + table + QLatin1Char('`'), percent);
        session.progress(table, rows, total);
    };
    copy.OnAfterDbCopy = [this](const QString&, qint64 erroneous) { gridAfterDbCopy(erroneous); };
    for (const transfer::TableCopyReport& report : copy.CopyToServer(ticked)) {
        const QString text = copyResultMessage(report, QLatin1Char('`') + report.table + QLatin1Char('`'));
        if (!text.isEmpty())
            session.withInput([&] {
                LocalizedMessageDlg(text, mtInformation, mbOK | mbHelp, 0, messageLanguage(), CopyHelpContext);
            });
    }
}

} // namespace tablor
