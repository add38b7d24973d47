// The conversion wizard's way through its pages: Next and Back with the checks of each page,
// the table list read from an Access file or a MySQL profile, and the command line's offset.
#include "transfer/u_wizard.h"

#include "l10n/translator.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/serverprofile.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

namespace tablor {

qint32 TfrmWizard::resumeOffsetFrom(const QStringList& arguments) {
    qint32 offset = 0;
    for (const QString& argument : arguments) {
        if (!argument.toLower().contains(QLatin1String("-offset:"))) continue;
        bool ok = false;
        const int value = argument.mid(8, 9).toInt(&ok);
        offset = ok ? value : 0;
    }
    return offset;
}

TfrmWizard::Page TfrmWizard::page() const { return static_cast<Page>(tabMain->currentIndex()); }

void TfrmWizard::showPage(Page p) { tabMain->setCurrentIndex(p); }

TfrmWizard::Page TfrmWizard::directionPage() const {
    if (rdoM2A->isChecked()) return PageMySql2Access;
    if (rdoM2M->isChecked()) return PageMySql2MySql;
    if (rdoAccess2Access->isChecked()) return PageAccess2Access;
    return PageAccess2MySql;
}

QString TfrmWizard::messageLanguage() const {
    return TTranslator::languages().value(prefs_->LanguageIndex, QString::fromLatin1(TTranslator::German));
}

void TfrmWizard::setNextCaption(bool close) {
    const bool german = prefs_->FLanguage == QLatin1String(TTranslator::German);
    if (close) btnWeiter->setText(german ? QStringLiteral("Schließen") : QStringLiteral("Close"));
    else btnWeiter->setText(german ? QStringLiteral("Weiter >") : QStringLiteral("Next >"));
}

void TfrmWizard::message(const QString& text) {
    LocalizedMessageDlg(text, mtInformation, mbOK, 0, messageLanguage(), 0);
}

void TfrmWizard::btnWeiterClick() {
    btnBack->setVisible(true);
    switch (page()) {
    case PageAction: showPage(directionPage()); break;
    case PageAccess2MySql:
        if (!checkDirectionPage(PageAccess2MySql)) return;
        fillTablesFromAccess(txtAMAccess->text(), true);
        showPage(PageTables);
        break;
    case PageMySql2Access:
        if (!checkDirectionPage(PageMySql2Access)) return;
        fillTablesFromMySql(*profileOf(cboServerMA));
        showPage(PageTables);
        break;
    case PageMySql2MySql:
        if (!checkDirectionPage(PageMySql2MySql)) return;
        fillTablesFromMySql(*profileOf(cboServerMM1));
        showPage(PageTables);
        break;
    case PageAccess2Access:
        if (!checkDirectionPage(PageAccess2Access)) return;
        msSql_->SwitchConnection(false);
        fillTablesFromAccess(txtAAAccess1->text(), false); // nothing ticked in this direction
        showPage(PageTables);
        break;
    case PageTables: startCopy(); break;
    case PageProgress:
    case PageFinish: accept(); break;
    }
}

bool TfrmWizard::checkDirectionPage(Page p) {
    const int language = prefs_->LanguageIndex;
    bool chosen = false;
    switch (p) {
    case PageAccess2MySql: chosen = cboServerAM->currentIndex() > 0 && QFileInfo(txtAMAccess->text()).isFile(); break;
    case PageMySql2Access:
        chosen = cboServerMA->currentIndex() > 0 && !QFileInfo(txtMAAccess->text()).fileName().isEmpty();
        break;
    case PageMySql2MySql:
        chosen = cboServerMM1->currentIndex() > 0 && cboServerMM2->currentIndex() > 0;
        if (chosen && cboServerMM1->currentIndex() == cboServerMM2->currentIndex()) {
            // Only the entries are compared: two profiles of one server and database may be copied.
            message(LocalizedMessage(msgSourceEqualsTarget, language));
            return false;
        }
        break;
    case PageAccess2Access: chosen = QFileInfo(txtAAAccess1->text()).isFile() && !txtAAAccess2->text().isEmpty(); break;
    default: return true;
    }
    if (!chosen) message(LocalizedMessage(msgSelectSourceTarget, language));
    return chosen;
}

void TfrmWizard::fillTablesFromAccess(const QString& path, bool tick) {
    // A file that cannot be opened leaves the list empty, without a message.
    msSql_->SetDatabasePath(path);
    msSql_->Connect();
    setTables(msSql_->Connected() ? msSql_->TableList : QStringList(), tick);
}

void TfrmWizard::fillTablesFromMySql(const ServerProfile& profile) {
    mySql_->SwitchConnection(false);
    mySql_->ConnectionRecord.Host = profile.ServerName;
    mySql_->ConnectionRecord.Port = QString::number(profile.Port);
    mySql_->ConnectionRecord.Login = profile.UserName;
    mySql_->ConnectionRecord.Password = profile.Password;
    mySql_->SetDatabaseName(profile.DbName);
    // A server that cannot be reached raises "SQL Fehler: ..." to the application-wide error
    // display; the wizard stays on its page.
    mySql_->Connect();
    setTables(mySql_->Connection()->Connected() ? mySql_->TableList : QStringList(), true);
}

void TfrmWizard::setTables(const QStringList& names, bool tick) {
    clbTabellen->clear();
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, clbTabellen);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
    }
}

void TfrmWizard::btnBackClick() {
    setNextCaption(false);
    switch (page()) {
    case PageAccess2MySql:
    case PageMySql2Access:
    case PageMySql2MySql:
    case PageAccess2Access:
        showPage(PageAction);
        btnBack->setVisible(false);
        break;
    case PageTables: showPage(directionPage()); break; // the choices made there remain
    default: break;
    }
}

} // namespace tablor
