// The conversion wizard's copy: the job built from its controls, the watch that drives the
// gauges and holds back input while the copy runs (Cancel, Escape and the close box stay
// alive), and the finish page with the error list and a summary per table.
#include "transfer/u_wizard.h"

#include "profiles/widgethelpers.h"

#include "l10n/translator.h"
#include "profiles/localizedmessages.h"
#include "profiles/serverprofile.h"
#include "transfer/CopyRate.h"
#include "transfer/WizardCopy.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTextDocument>

#include <climits>

namespace tablor {

namespace {

// Error lines memErrors lists; the rest are counted (a table whose every row fails would
// otherwise fill it with a million lines).
constexpr int kListedErrorLines = 1000;
// How often the window repaints and takes Cancel while the copy runs.
constexpr qint64 kPumpIntervalMs = 40;
// prgAll's steps per table.
constexpr qint64 kTableSteps = 1000;

// A gauge over a range that may exceed an int: both ends are halved until the total fits.
void setGauge(QProgressBar* bar, qint64 done, qint64 total) {
    total = std::max<qint64>(total, 1);
    done = std::clamp<qint64>(done, 0, total);
    int shift = 0;
    while ((total >> shift) > INT_MAX) ++shift;
    bar->setMaximum(static_cast<int>(total >> shift));
    bar->setValue(static_cast<int>(done >> shift));
}

transfer::WizardServer serverOf(const ServerProfile* profile) {
    transfer::WizardServer server;
    if (!profile) return server;
    server.host = profile->ServerName;
    server.port = profile->Port > 0 ? static_cast<unsigned>(profile->Port) : 3306u;
    server.user = profile->UserName;
    server.password = profile->Password;
    server.database = profile->DbName;
    server.office2000 = !profile->isOffice97();
    return server;
}

} // namespace

// What the copy tells the window, and the window's state while the copy runs.
class WizardCopyWatch : public QObject, public transfer::WizardSink {
public:
    explicit WizardCopyWatch(TfrmWizard& wizard) : w_(wizard) {
        sincePump_.start();
        tableClock_.start();
        qApp->installEventFilter(this);
    }
    ~WizardCopyWatch() override { qApp->removeEventFilter(this); }

    // The engines count the table in hand as done; prgAll moves on with its rows as well.
    void overall(qint64 done, qint64 total) override {
        overallDone_ = std::max<qint64>(done - 1, 0);
        overallTotal_ = total;
        setGauge(w_.prgAll, overallDone_ * kTableSteps, overallTotal_ * kTableSteps);
    }
    void detail(qint64 done, qint64 total) override {
        if (total != detailTotal_ || done < detailDone_) {
            tableClock_.restart(); // another table (or another pass): the rate starts again
            w_.lblRate->clear();
            detailBase_ = done; // rows a resumed copy finds in place do not count as speed
        }
        detailTotal_ = total;
        detailDone_ = done;
        setGauge(w_.prgDetail, done, total);
        if (overallTotal_ > 0 && total > 0)
            setGauge(w_.prgAll, overallDone_ * kTableSteps + std::min(done, total) * kTableSteps / total,
                     overallTotal_ * kTableSteps);
    }
    void status(const QString& text) override { w_.lblStat->setText(text); }
    void error(const QString& line) override { w_.appendError(line); }
    void message(const QString& text) override {
        ++w_.messagesShown_;
        qApp->removeEventFilter(this); // the box needs its input
        w_.message(text);
        qApp->installEventFilter(this);
    }
    void currentSql(const QString& sql) override { w_.CurrentSql = sql; }
    void pump() override {
        if (sincePump_.elapsed() < kPumpIntervalMs) return;
        showRate();
        QCoreApplication::processEvents(); // input other than Cancel is held back below
        sincePump_.restart();
    }
    bool cancelRequested() override { return w_.cancelRequested_; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            w_.reject(); // a cancel request while copying
            return true;
        }
        return isUserInput(event->type()) && watched->isWidgetType() && watched != w_.btnCancel;
    }

private:
    void showRate() {
        const qint64 ms = tableClock_.elapsed();
        if (ms < 1000 || detailDone_ <= detailBase_) return;
        const double rate = double(detailDone_ - detailBase_) * 1000.0 / double(ms);
        std::optional<qint64> left;
        if (detailTotal_ > detailDone_) left = qint64(double(detailTotal_ - detailDone_) / rate + 0.5);
        w_.lblRate->setText(copyRateText(w_.prefs_->LanguageIndex, rate, left));
    }

    TfrmWizard& w_;
    QElapsedTimer sincePump_, tableClock_;
    qint64 detailTotal_ = -1, detailDone_ = 0, detailBase_ = 0;
    qint64 overallDone_ = 0, overallTotal_ = 0;
};

void TfrmWizard::reject() {
    if (!copying_) {
        QDialog::reject();
        return;
    }
    // The copy stops after its current row or batch; the finish page then says what arrived.
    cancelRequested_ = true;
    btnCancel->setEnabled(false);
    lblStat->setText(prefs_->LanguageIndex == 1 ? QStringLiteral("Stopping after the current batch ...")
                                                : QStringLiteral("Abbruch nach dem laufenden Block ..."));
}

transfer::WizardJob TfrmWizard::buildJob() {
    using transfer::WizardDirection;
    transfer::WizardJob job;
    job.languageIndex = prefs_->LanguageIndex;
    job.append = cboOption->currentIndex() > 0;
    for (int i = 0; i < clbTabellen->count(); ++i)
        if (clbTabellen->item(i)->checkState() == Qt::Checked) job.tables << clbTabellen->item(i)->text();
    switch (directionPage()) {
    case PageMySql2Access:
        job.direction = WizardDirection::MySqlToAccess;
        job.sourceServer = serverOf(profileOf(cboServerMA));
        job.targetMdb = txtMAAccess->text();
        break;
    case PageMySql2MySql:
        job.direction = WizardDirection::MySqlToMySql;
        job.sourceServer = serverOf(profileOf(cboServerMM1));
        job.targetServer = serverOf(profileOf(cboServerMM2));
        job.prefix = txtMMPrefix->text();
        break;
    case PageAccess2Access:
        job.direction = WizardDirection::AccessToAccess;
        job.sourceMdb = txtAAAccess1->text();
        job.targetMdb = txtAAAccess2->text();
        break;
    default: {
        job.direction = WizardDirection::AccessToMySql;
        job.sourceMdb = txtAMAccess->text();
        job.targetServer = serverOf(profileOf(cboServerAM));
        job.prefix = txtAMPrefix->text();
        job.resumeOffset = ResumeOffset;
        // The troubleshooting mode: the caption says so even when the list is empty.
        if (auto ids = transfer::readTroubleshootIds(transfer::wizardTroubleshootingFolder())) {
            setWindowTitle(QStringLiteral("Fehlerbehebung"));
            job.troubleshootIds = *ids;
        }
        job.rowFileFolder = transfer::wizardTroubleshootingFolder();
        QDir().mkpath(job.rowFileFolder);
        break;
    }
    }
    return job;
}

void TfrmWizard::startCopy() {
    btnWeiter->setEnabled(false);
    btnBack->setVisible(false);
    setNextCaption(true);
    showPage(PageProgress);
    *job_ = buildJob();
    // The copy opens its own connections: the files and servers are the engine's now.
    msSql_->SwitchConnection(false);
    mySql_->SwitchConnection(false);

    transfer::WizardReport report;
    {
        copying_ = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{copying_};
        WizardCopyWatch watch(*this);
        // A fault of the program itself leaves the wizard here, with Cancel only.
        report = transfer::runWizardCopy(*job_, watch);
    }
    btnCancel->setEnabled(true);
    showFinish(report);
    btnWeiter->setEnabled(true);
}

void TfrmWizard::appendError(const QString& line) {
    if (errorLines_ >= kListedErrorLines) {
        ++errorLinesLeftOut_;
        return;
    }
    ++errorLines_;
    appendToErrors(line + u'\n');
    memErrors->setVisible(true);
}

void TfrmWizard::appendToErrors(const QString& text) {
    // The list begins with its heading and a line break: every line goes after the last one.
    QTextCursor end(memErrors->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
}

QString TfrmWizard::summaryText(const transfer::WizardReport& report) const {
    const bool english = prefs_->LanguageIndex == 1;
    QStringList lines;
    lines << (english ? QStringLiteral("Summary (rows read / written / failed):")
                      : QStringLiteral("Zusammenfassung (Zeilen gelesen / geschrieben / fehlerhaft):"));
    QStringList reported;
    for (const transfer::TableCopyReport& t : report.tables) {
        reported << t.table;
        QString line =
            QStringLiteral("%1: %2 / %3 / %4").arg(t.table).arg(t.rowsRead).arg(t.rowsWritten).arg(t.rowsFailed);
        if (t.cancelled)
            line += english ? QStringLiteral(" - cancelled, partial") : QStringLiteral(" - abgebrochen, unvollständig");
        if (!t.message.isEmpty()) line += QStringLiteral(" - ") + t.message;
        lines << line;
    }
    for (const QString& table : job_->tables) {
        if (!reported.contains(table))
            lines << table + (english ? QStringLiteral(": not copied") : QStringLiteral(": nicht kopiert"));
    }
    if (!job_->troubleshootIds.isEmpty())
        lines << (english ? QStringLiteral("Troubleshooting: only the ids listed in %1 were copied.")
                          : QStringLiteral("Fehlerbehebung: nur die Ids aus %1 wurden kopiert."))
                     .arg(troubleshootIdListPath());
    if (!job_->rowFileFolder.isEmpty() && !everythingCopied_)
        lines << (english ? QStringLiteral("The statements of the row in hand and of failed rows: %1")
                          : QStringLiteral("Die Anweisungen der letzten und der fehlerhaften Zeilen: %1"))
                     .arg(job_->rowFileFolder);
    return lines.join(u'\n');
}

void TfrmWizard::showFinish(const transfer::WizardReport& report) {
    bool all = !report.cancelled && !report.connectionFailed && errorLines_ == 0 && errorLinesLeftOut_ == 0 &&
               messagesShown_ == 0 && report.tables.size() == static_cast<size_t>(job_->tables.size());
    for (const transfer::TableCopyReport& t : report.tables) all = all && t.complete();
    everythingCopied_ = all;

    const bool english = prefs_->LanguageIndex == 1;
    lblSuccess->setVisible(all);
    lblFailure->setVisible(!all);
    if (report.cancelled)
        lblFailure->setText(english ? QStringLiteral("The copy was cancelled. The list below shows what was copied. "
                                                     "Click \"Close\" to finish this wizard.")
                                    : QStringLiteral("Der Kopiervorgang wurde abgebrochen. Die Liste unten zeigt, "
                                                     "was kopiert wurde. Klicken Sie auf »Schließen«, um den "
                                                     "Assistenten zu beenden."));
    else
        lblFailure->setText(english ? QStringLiteral("Errors occurred: not all selected data was copied. The list "
                                                     "below names the tables and rows. Click \"Close\" to finish "
                                                     "this wizard.")
                                    : QStringLiteral("Es sind Fehler aufgetreten: nicht alle ausgewählten Daten "
                                                     "wurden übertragen. Die Liste unten nennt Tabellen und Zeilen. "
                                                     "Klicken Sie auf »Schließen«, um den Assistenten zu beenden."));

    if (errorLinesLeftOut_ > 0)
        appendToErrors((english ? QStringLiteral("... and %1 more") : QStringLiteral("... und %1 weitere"))
                           .arg(errorLinesLeftOut_) +
                       u'\n');
    const QString summary = summaryText(report);
    if (errorLines_ > 0) appendToErrors(QStringLiteral("\n") + summary);
    else memErrors->setPlainText(summary); // no heading of errors when there were none
    memErrors->setVisible(errorLines_ > 0 || !job_->tables.isEmpty());
    showPage(PageFinish);
}

} // namespace tablor
