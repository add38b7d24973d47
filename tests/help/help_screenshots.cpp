// help-screenshots: renews the pictures of the help's pages from the real windows, in German
// and English (a developer tool, not a test):
//   QT_QPA_PLATFORM=offscreen build/bin/help-screenshots help/ [CHECK_DIR]
// writes help/de/images/*.png and help/en/images/*.png, and with CHECK_DIR also pictures of
// the help window itself there, for looking at. Uses a copy of the shared Northwind file.
#include "about/u_about.h"
#include "app/errordisplay.h"
#include "app/u_main.h"
#include "app/u_startup.h"
#include "help/helpdesk.h"
#include "help/helpwindow.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/profilelist.h"
#include "profiles/programdir.h"
#include "profiles/u_serveredit.h"
#include "support/files.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

using namespace tablor;

void settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
}

bool save(QWidget* w, const QString& path) {
    settle();
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

bool shootLanguage(int language, const QString& helpDir, const QString& checkDir) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    setProgramDirOverride(dir.path());
    const QString mdb = dir.filePath("Demo.mdb");
    QFile::copy(tablor::test::sharedTestDataPath("mdb/northwind_jet4_statdata.mdb"), mdb);
    QFile::setPermissions(mdb, QFile::ReadOwner | QFile::WriteOwner);
    ProfileList profiles;
    ServerProfile p;
    p.ProfileName = QStringLiteral("Demo");
    p.ServerName = QStringLiteral("db.example.org");
    p.Port = 3306;
    p.DbName = QStringLiteral("shop");
    p.UserName = QStringLiteral("anna");
    p.Password = QStringLiteral("geheim");
    p.MdbPath = mdb;
    profiles.append(p);
    SaveProfiles(profiles);
    TPrefs prefs;
    prefs.FLanguage = QString::fromLatin1(language == 0 ? TTranslator::German : TTranslator::English);
    prefs.Save();

    MessageBoxRecorder answers(mrNo); // "connect now?": no, the pictures show local mode
    const QString out = helpDir + (language == 0 ? "/de/images/" : "/en/images/");
    bool ok = true;

    TfrmMain w;
    w.resize(900, 460);
    w.show();
    w.serverList()->setCurrentIndex(1);
    w.cboServersChange();
    QListWidget* tables = w.tableList();
    for (int i = 0; i < tables->count(); ++i) {
        const QString name = tables->item(i)->text();
        if (name == "Customers" || name == "Orders") tables->item(i)->setCheckState(Qt::Checked);
        if (name == "Customers") tables->setCurrentRow(i);
    }
    w.clbTabellenDblClick();
    w.showDisconnectedStatus();
    ok &= save(&w, out + (language == 0 ? "hauptfenster.png" : "mainwindow.png"));

    {
        TfrmServeredit setup(&w);
        setup.show();
        if (auto* list = setup.findChild<QListWidget*>("lstServer")) list->setCurrentRow(0);
        setup.popEditClick();
        ok &= save(&setup, out + (language == 0 ? "serververwaltung.png" : "serversetup.png"));
    }
    {
        TfrmStartup startup(w.serverList(), &w);
        startup.show();
        ok &= save(&startup, out + "startdialog.png");
    }
    {
        const QString text = w.mainWindowText(msgNoPrimaryKey) + QStringLiteral("\r> Customers");
        std::unique_ptr<QDialog> box(createMessageDialog(
            describeMessage(text, mtInformation, mbOK | mbHelp, 0, w.messageLanguage(), TfrmMain::CopyHelpContext),
            &w));
        box->show();
        ok &= save(box.get(), out + (language == 0 ? "kopiermeldung.png" : "copymessage.png"));
    }
    {
        TfrmAbout about(&w);
        about.show();
        ok &= save(&about, out + (language == 0 ? "info.png" : "about.png"));
        if (!checkDir.isEmpty()) save(&about, checkDir + (language == 0 ? "/about_de.png" : "/about_en.png"));
    }
    if (!checkDir.isEmpty()) {
        setApplicationHelpFile(QStringLiteral(TABLOR_BINARY_DIR "/bin/") +
                                   (language == 0 ? "tablor_help_de.hlp" : "tablor_help_en.hlp"),
                               language);
        for (const char* topic :
             {"Einleitung", "Introduction", "Hauptfenster", "MainWindow", "Kopiermeldungen", "CopyMessages"}) {
            if (!showHelpTopic(QString::fromLatin1(topic)) || helpWindow()->currentTopicId() != topic) continue;
            save(helpWindow(), checkDir + "/help_" + topic + ".png");
        }
        helpWindow()->search(language == 0 ? "Journal" : "journal");
        save(helpWindow(), checkDir + (language == 0 ? "/help_search_de.png" : "/help_search_en.png"));
        helpWindow()->close();
        delete helpWindow();
    }
    w.close();
    setProgramDirOverride(QString());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    TablorApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: help-screenshots HELP_SOURCE_DIR [CHECK_DIR]\n");
        return 2;
    }
    const QString helpDir = QString::fromLocal8Bit(argv[1]);
    const QString checkDir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!checkDir.isEmpty()) QDir().mkpath(checkDir);
    bool ok = true;
    for (int language : {0, 1}) ok &= shootLanguage(language, helpDir, checkDir);
    return ok ? 0 : 1;
}
