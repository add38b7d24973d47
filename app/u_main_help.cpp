// The main window's help commands: the help (tbtHelp, mnuHelt), the web site, the about box, and
// F1 and the message boxes' Help button for every window.
#include "app/u_main.h"

#include "about/u_about.h"
#include "help/helpdesk.h"
#include "profiles/localizedmessagedlg.h"

#include <QAction>
#include <QApplication>
#include <QToolButton>

namespace tablor {

void TfrmMain::connectHelpCommands() {
    connect(tbtHelp, &QToolButton::clicked, this, &TfrmMain::mnuHeltClick);
    connect(mnuHelt, &QAction::triggered, this, &TfrmMain::mnuHeltClick);
    connect(mnuVisitSite, &QAction::triggered, this, &TfrmMain::mnuVisitSiteClick);
    connect(mnuAbout, &QAction::triggered, this, &TfrmMain::mnuAboutClick);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) installHelpKey(app);
    setMessageHelpHandler([](int helpContext) { showHelpContext(helpContext); });
}

void TfrmMain::mnuHeltClick() {
    // The language may have been changed by another Tablor since this one started.
    prefs_->Load();
    showHelpTopic(prefs_->LanguageIndex == 0 ? QStringLiteral("Einleitung") : QStringLiteral("Introduction"));
}

void TfrmMain::mnuVisitSiteClick() { openUrl(QUrl(QString::fromLatin1(ProductWebSite))); }

void TfrmMain::mnuAboutClick() {
    TfrmAbout about(this);
    about.exec();
}

} // namespace tablor
