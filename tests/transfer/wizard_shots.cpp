// Screenshots of the conversion wizard copying for real (not a test): Access to MySQL of one
// table of FILE.mdb into the server of TABLOR_TEST_MYSQL_*, database DB, through the real
// engines. Saves DIR/wizard-real-progress.png after MS milliseconds of copying and
// DIR/wizard-real-finish.png at the end; with "cancel" it clicks Abbruch at that moment.
//   wizard_shots FILE.mdb TABLE DB DIR MS [append] [cancel]
#include "profiles/programdir.h"
#include "profiles/serverprofile.h"
#include "transfer/u_wizard.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace tablor;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 6) {
        std::fprintf(stderr, "usage: wizard_shots FILE.mdb TABLE DB DIR MS [append] [cancel]\n");
        return 2;
    }
    QTemporaryDir home;
    setProgramDirOverride(home.path());
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    ServerProfile p;
    p.ProfileName = QStringLiteral("Sandbox");
    p.ServerName = qEnvironmentVariable("TABLOR_TEST_MYSQL_HOST");
    p.Port = qEnvironmentVariable("TABLOR_TEST_MYSQL_PORT").toInt();
    p.UserName = qEnvironmentVariable("TABLOR_TEST_MYSQL_USER");
    p.Password = qEnvironmentVariable("TABLOR_TEST_MYSQL_PASSWORD");
    p.DbName = a[3];
    QComboBox servers;
    servers.addItem(QStringLiteral("<Profil wählen>"));
    servers.addItem(p.ProfileName, QVariant::fromValue(static_cast<void*>(&p)));

    TfrmWizard w(&servers, [] {});
    w.show();
    auto* next = w.findChild<QPushButton*>(QStringLiteral("btnWeiter"));
    next->click();
    w.findChild<QLineEdit*>(QStringLiteral("txtAMAccess"))->setText(a[1]);
    w.findChild<QComboBox*>(QStringLiteral("cboServerAM"))->setCurrentIndex(1);
    next->click();
    auto* list = w.findChild<QListWidget*>(QStringLiteral("clbTabellen"));
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(list->item(i)->text() == a[2] ? Qt::Checked : Qt::Unchecked);
    w.findChild<QComboBox*>(QStringLiteral("cboOption"))->setCurrentIndex(a.contains("append") ? 1 : 0);
    const QString dir = a[4];
    QTimer::singleShot(a[5].toInt(), &w, [&] {
        w.grab().save(dir + QStringLiteral("/wizard-real-progress.png"));
        if (a.contains("cancel")) w.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
    });
    QTimer::singleShot(0, &w, [&] {
        next->click(); // runs the copy
        w.grab().save(dir + QStringLiteral("/wizard-real-finish.png"));
        std::printf("%s\n", qPrintable(w.findChild<QPlainTextEdit*>(QStringLiteral("memErrors"))->toPlainText()));
        app.quit();
    });
    return app.exec();
}
