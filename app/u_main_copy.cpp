// The main window's download (tbtSave, "Lokal speichern"): every ticked server table into the
// selected profile's Access file, through the copy engine (transfer/DownloadCopy.h), with its
// progress in the status bar and one message per table that was not copied.
#include "app/errordisplay.h"
#include "app/u_main.h"
#include "profiles/localizedmessagedlg.h"
#include "transfer/DownloadCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>

namespace tablor {

namespace {

// The rows a message lists of a table whose rows failed.
constexpr size_t kListedRowErrors = 10;

} // namespace

QString TfrmMain::copyResultMessage(const transfer::TableCopyReport& report) const {
    using transfer::CopyResult;
    const QString table = QStringLiteral("\r> ") + report.table;
    QString text;
    switch (report.result) {
    case CopyResult::AllRowsFailed:
    case CopyResult::TypeConflict: text = mainWindowText(msgTypeConflict); break;
    case CopyResult::NoLocalDb: text = mainWindowText(msgNoLocalDb) + table; break;
    case CopyResult::NoRemoteDb: text = mainWindowText(msgNoRemoteDb) + table; break;
    case CopyResult::NoPrimaryKey: text = mainWindowText(msgNoPrimaryKey) + table; break;
    case CopyResult::NoConnection:
    case CopyResult::Copied: return {};
    }
    // What went wrong, and with which rows, below the message of the Parts.
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
    transfer::DownloadCopy copy(mysql_.mySQLDB, options);
    QElapsedTimer sincePaint;
    sincePaint.start();
    copy.OnBeforeCreateDB = [this](const QString& table) { gridBeforeCreateDB(table); };
    copy.AfterCreateDB = [this](const QString&, bool success, const QString& error) {
        gridAfterCreateDB(success, error);
    };
    copy.OnCopyProgress = [&](const QString& table, int percent, qint64, qint64) {
        gridCopyProgress(table, percent);
        // Repaint about ten times a second, not per report.
        if (sincePaint.elapsed() >= 100) {
            sbPanel->repaint();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sincePaint.restart();
        }
    };
    copy.OnAfterDbCopy = [this](const QString&, qint64 erroneous) { gridAfterDbCopy(erroneous); };
    try {
        for (const QString& table : ticked) {
            const QString text = copyResultMessage(copy.CopyToLocal(table));
            if (!text.isEmpty())
                LocalizedMessageDlg(text, mtInformation, mbOK | mbHelp, 0, messageLanguage(), CopyHelpContext);
        }
        const QStringList problems = copy.checkFile();
        if (!problems.isEmpty())
            showApplicationError(profile->MdbPath + QStringLiteral(" fails the integrity check:\r") +
                                 problems.join(QStringLiteral("\r")));
    } catch (const std::exception& e) {
        // The Access file cannot be created or written: no later table can be copied.
        showApplicationError(QString::fromUtf8(e.what()));
    }
    try {
        if (!shown.isEmpty()) openGridTable(shown);
    } catch (const std::exception&) {
        showApplicationError(currentExceptionText());
    }
}

} // namespace tablor
