// The conversion wizard driven headless through its pages: the checks and messages of Next,
// Back and the refilled table list, the selection menu, the file and server buttons, the
// command line's offset, the troubleshooting list, a cancel in the middle of a long copy and
// the finish page after errors. The copy is a fake runWizardCopy that each test scripts; with
// TABLOR_WIZARD_SHOTS=DIR the progress and finish pages are saved as PNG files there.
#include "db/u_db.h"
#include "db/u_dbaccess.h"
#include "l10n/translator.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/prefs.h"
#include "profiles/programdir.h"
#include "profiles/serverprofile.h"
#include "transfer/WizardCopy.h"
#include "transfer/u_wizard.h"
#include "support/qt_environment.h"
#include "support/files.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tablor::transfer {
namespace {
std::function<WizardReport(const WizardJob&, WizardSink&)> g_copy;
} // namespace

// The engines' entry, scripted by each test.
WizardReport runWizardCopy(const WizardJob& job, WizardSink& sink) {
    return g_copy ? g_copy(job, sink) : WizardReport{};
}

} // namespace tablor::transfer

namespace tablor {
namespace {

using test::child;
using transfer::WizardJob;
using transfer::WizardReport;
using transfer::WizardSink;
using Page = TfrmWizard::Page;

void shot(QWidget& w, const char* name) {
    const QString dir = qEnvironmentVariable("TABLOR_WIZARD_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    EXPECT_TRUE(w.grab().save(dir + u'/' + QString::fromLatin1(name)));
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        setProgramDirOverride(dir_.path());
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.filePath("data")));
        TPrefs prefs;
        prefs.FLanguage = QString::fromLatin1(TTranslator::German);
        prefs.Save();
        servers_.addItem(LocalizedMessage(msgSelectProfileItem, 0));
        messages_ = std::make_unique<MessageBoxRecorder>(mrOk);
    }
    void TearDown() override {
        transfer::g_copy = nullptr;
        TfrmWizard::setFileChooser(nullptr);
        setProgramDirOverride(QString());
    }

    // A profile entry of the quick-access list; the server is one nobody listens on.
    void addProfile(const QString& name) {
        auto p = std::make_unique<ServerProfile>();
        p->ProfileName = name;
        p->ServerName = QStringLiteral("127.0.0.1");
        p->Port = 1;
        p->DbName = name + "_db";
        p->UserName = QStringLiteral("u_") + name;
        p->Password = QStringLiteral("pw");
        p->AccessFormat = 1;
        servers_.addItem(name, QVariant::fromValue(static_cast<void*>(p.get())));
        profiles_.push_back(std::move(p));
    }
    std::unique_ptr<TfrmWizard> makeWizard(const QStringList& args = {"tablor"}) {
        auto w = std::make_unique<TfrmWizard>(
            &servers_, [this] { ++reloads_; }, nullptr, args);
        w->resize(420, 300);
        return w;
    }
    // German control texts, as when the main window (which carries the mark) is German.
    void markGerman() {
        marker_ = std::make_unique<QWidget>();
        static constexpr TextPair none[] = {{"", "windowTitle", "x", "x"}};
        auto* t = new TTranslator(marker_.get(), QString::fromLatin1(TTranslator::German), none);
        t->setTranslateApplication(true);
    }
    QString northwind() {
        const QString target = dir_.filePath("nw.mdb");
        if (!QFile::exists(target))
            QFile::copy(tablor::test::sharedTestDataPath("mdb/northwind_jet4_statdata.mdb"), target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }
    static QStringList ticked(TfrmWizard& w) {
        QStringList out;
        auto* list = child<QListWidget>(w, "clbTabellen");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
        return out;
    }
    static void next(TfrmWizard& w) { child<QPushButton>(w, "btnWeiter")->click(); }
    // To the table page of Access to MySQL with the Northwind copy and profile entry 1.
    void toTablesA2M(TfrmWizard& w) {
        next(w);
        child<QLineEdit>(w, "txtAMAccess")->setText(northwind());
        child<QComboBox>(w, "cboServerAM")->setCurrentIndex(1);
        next(w);
        ASSERT_EQ(w.page(), TfrmWizard::PageTables);
    }

    QTemporaryDir dir_;
    QComboBox servers_;
    std::vector<std::unique_ptr<ServerProfile>> profiles_;
    std::unique_ptr<MessageBoxRecorder> messages_;
    std::unique_ptr<QWidget> marker_;
    int reloads_ = 0;
};

TEST_F(WizardTest, StartsOnTheActionPageWithItsControlsAndColours) {
    markGerman();
    addProfile("A");
    auto w = makeWizard();
    EXPECT_EQ(w->objectName(), "frmWizard");
    EXPECT_EQ(w->windowTitle(), "Datenbank-Assistent");
    EXPECT_EQ(w->page(), TfrmWizard::PageAction);
    EXPECT_EQ(w->palette().color(QPalette::Window), QColor(255, 180, 40));
    EXPECT_TRUE(child<QRadioButton>(*w, "rdoA2M")->isChecked());
    EXPECT_EQ(child<QRadioButton>(*w, "rdoM2M")->text(), "MySQL nach MySQL kopieren");
    EXPECT_FALSE(child<QPushButton>(*w, "btnBack")->isVisibleTo(w.get()));
    EXPECT_EQ(child<QPushButton>(*w, "btnWeiter")->text(), "Weiter >");
    EXPECT_EQ(child<QPushButton>(*w, "btnCancel")->text(), "Abbruch");
    EXPECT_EQ(child<QStackedWidget>(*w, "tabMain")->count(), 8);
    for (const char* name : {"cboServerAM", "cboServerMA", "cboServerMM1", "cboServerMM2"}) {
        auto* combo = child<QComboBox>(*w, name);
        ASSERT_EQ(combo->count(), 2) << name;
        EXPECT_EQ(combo->itemText(0), "<Profil wählen>");
        EXPECT_EQ(combo->itemData(1), servers_.itemData(1));
        EXPECT_EQ(combo->currentIndex(), 0);
    }
    for (const char* name : {"btnServer", "SpeedButton1", "SpeedButton2", "SpeedButton3"})
        EXPECT_EQ(child<QToolButton>(*w, name)->toolTip(), "Server bearbeiten");
    auto* option = child<QComboBox>(*w, "cboOption");
    EXPECT_EQ(option->currentIndex(), 0);
    EXPECT_EQ(option->itemText(1), "Bei existierender Zieltabelle versuchen Daten anzufügen");
    EXPECT_EQ(child<QPlainTextEdit>(*w, "memErrors")->toPlainText(), "Folgende Fehler sind aufgetreten:\n");
    EXPECT_FALSE(child<QPlainTextEdit>(*w, "memErrors")->isVisibleTo(w.get()));
}

TEST_F(WizardTest, WithoutProfilesNextOnEveryProfilePageAsksForSourceAndTarget) {
    auto w = makeWizard();
    const QString file = northwind();
    const std::pair<const char*, Page> directions[] = {{"rdoA2M", TfrmWizard::PageAccess2MySql},
                                                       {"rdoM2A", TfrmWizard::PageMySql2Access},
                                                       {"rdoM2M", TfrmWizard::PageMySql2MySql}};
    child<QLineEdit>(*w, "txtAMAccess")->setText(file);
    child<QLineEdit>(*w, "txtMAAccess")->setText(dir_.filePath("new.mdb"));
    for (const auto& [radio, page] : directions) {
        child<QRadioButton>(*w, radio)->setChecked(true);
        next(*w);
        ASSERT_EQ(w->page(), page) << radio;
        EXPECT_TRUE(child<QPushButton>(*w, "btnBack")->isVisibleTo(w.get()));
        messages_->clear();
        next(*w);
        EXPECT_EQ(w->page(), page) << radio;
        ASSERT_EQ(messages_->count(), 1) << radio;
        EXPECT_EQ(messages_->last().text, LocalizedMessage(msgSelectSourceTarget, 0));
        EXPECT_EQ(messages_->last().type, mtInformation);
        EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbOK));
        EXPECT_EQ(messages_->last().language, "Deutsch");
        child<QPushButton>(*w, "btnBack")->click();
        EXPECT_EQ(w->page(), TfrmWizard::PageAction);
        EXPECT_FALSE(child<QPushButton>(*w, "btnBack")->isVisibleTo(w.get()));
    }
}

TEST_F(WizardTest, SourceAndTargetChecksOfEachDirection) {
    addProfile("A");
    addProfile("B");
    auto w = makeWizard();
    // Access to MySQL: a source file that does not exist is refused.
    next(*w);
    child<QComboBox>(*w, "cboServerAM")->setCurrentIndex(1);
    child<QLineEdit>(*w, "txtAMAccess")->setText(dir_.filePath("missing.mdb"));
    next(*w);
    EXPECT_EQ(w->page(), TfrmWizard::PageAccess2MySql);
    EXPECT_EQ(messages_->count(), 1);
    child<QPushButton>(*w, "btnBack")->click();

    // MySQL to MySQL: the same entry twice is refused; two entries naming one server pass the
    // check and reach the connection, whose failure goes to the application's error display.
    child<QRadioButton>(*w, "rdoM2M")->setChecked(true);
    next(*w);
    child<QComboBox>(*w, "cboServerMM1")->setCurrentIndex(1);
    child<QComboBox>(*w, "cboServerMM2")->setCurrentIndex(1);
    messages_->clear();
    next(*w);
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, "Quell- und Zieldatenbank dürfen nicht identisch sein.");
    child<QComboBox>(*w, "cboServerMM2")->setCurrentIndex(2);
    messages_->clear();
    EXPECT_THROW(w->btnWeiterClick(), std::exception);
    EXPECT_EQ(messages_->count(), 0);
    EXPECT_EQ(w->page(), TfrmWizard::PageMySql2MySql);
    child<QPushButton>(*w, "btnBack")->click();

    // MySQL to Access: the target needs a file name, not an existing file.
    child<QRadioButton>(*w, "rdoM2A")->setChecked(true);
    next(*w);
    child<QComboBox>(*w, "cboServerMA")->setCurrentIndex(1);
    child<QLineEdit>(*w, "txtMAAccess")->setText(dir_.path() + "/");
    next(*w);
    EXPECT_EQ(messages_->count(), 1);
    child<QLineEdit>(*w, "txtMAAccess")->setText(dir_.filePath("new.mdb"));
    EXPECT_THROW(w->btnWeiterClick(), std::exception); // the server is not there
    EXPECT_EQ(messages_->count(), 1);
    EXPECT_EQ(w->page(), TfrmWizard::PageMySql2Access);
}

TEST_F(WizardTest, TableListsTickedExceptAccessToAccessAndRefilledAfterBack) {
    addProfile("A");
    auto w = makeWizard();
    toTablesA2M(*w);
    u_dbaccess::TSQLObject reader;
    reader.SetDatabasePath(northwind());
    ASSERT_EQ(reader.Connect(), 0);
    ASSERT_FALSE(reader.TableList.isEmpty());
    EXPECT_EQ(ticked(*w), reader.TableList);

    // Unticked tables are ticked again after Back and Next.
    child<QListWidget>(*w, "clbTabellen")->item(0)->setCheckState(Qt::Unchecked);
    child<QPushButton>(*w, "btnBack")->click();
    EXPECT_EQ(w->page(), TfrmWizard::PageAccess2MySql);
    EXPECT_TRUE(child<QPushButton>(*w, "btnBack")->isVisibleTo(w.get()));
    next(*w);
    EXPECT_EQ(ticked(*w), reader.TableList);

    // The selection menu.
    auto* list = child<QListWidget>(*w, "clbTabellen");
    list->item(1)->setCheckState(Qt::Unchecked);
    child<QAction>(*w, "popInvert")->trigger();
    EXPECT_EQ(ticked(*w), QStringList{reader.TableList.at(1)});
    child<QAction>(*w, "popSelNon")->trigger();
    EXPECT_TRUE(ticked(*w).isEmpty());
    child<QAction>(*w, "popSelAll")->trigger();
    EXPECT_EQ(ticked(*w), reader.TableList);

    // Access to Access: same file as source and target is accepted; nothing is ticked.
    child<QPushButton>(*w, "btnBack")->click();
    child<QPushButton>(*w, "btnBack")->click();
    child<QRadioButton>(*w, "rdoAccess2Access")->setChecked(true);
    next(*w);
    child<QLineEdit>(*w, "txtAAAccess1")->setText(northwind());
    next(*w);
    EXPECT_EQ(w->page(), TfrmWizard::PageAccess2Access);
    child<QLineEdit>(*w, "txtAAAccess2")->setText(northwind());
    next(*w);
    ASSERT_EQ(w->page(), TfrmWizard::PageTables);
    EXPECT_EQ(list->count(), reader.TableList.size());
    EXPECT_TRUE(ticked(*w).isEmpty());

    // Nothing ticked: the copy runs through to the finish page, which has nothing to regret.
    WizardJob seen;
    transfer::g_copy = [&](const WizardJob& job, WizardSink&) {
        seen = job;
        return WizardReport{};
    };
    next(*w);
    EXPECT_EQ(seen.direction, transfer::WizardDirection::AccessToAccess);
    EXPECT_EQ(seen.sourceMdb, northwind());
    EXPECT_EQ(seen.targetMdb, northwind());
    EXPECT_TRUE(seen.tables.isEmpty());
    EXPECT_TRUE(seen.rowFileFolder.isEmpty());
    EXPECT_EQ(w->page(), TfrmWizard::PageFinish);
    EXPECT_TRUE(w->everythingCopied());
    EXPECT_FALSE(child<QPlainTextEdit>(*w, "memErrors")->isVisibleTo(w.get()));
}

TEST_F(WizardTest, FileDialogsAndServerButtons) {
    addProfile("A");
    auto w = makeWizard();
    std::vector<WizardFileRequest> asked;
    QString answer = "/x/chosen.mdb";
    TfrmWizard::setFileChooser([&](QWidget*, const WizardFileRequest& r) {
        asked.push_back(r);
        return answer;
    });
    child<QToolButton>(*w, "btnOpen")->click();
    child<QToolButton>(*w, "btnMAOpen")->click();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_FALSE(asked[0].save);
    EXPECT_TRUE(asked[0].fileName.isEmpty());
    EXPECT_TRUE(asked[1].save);
    EXPECT_EQ(asked[1].fileName, "backup.mdb");
    for (const WizardFileRequest& r : asked) {
        EXPECT_EQ(r.title, "Öffnen...");
        EXPECT_EQ(r.filter, "Access Datenbanken (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*");
        EXPECT_EQ(r.defaultExt, "mdb");
    }
    EXPECT_EQ(child<QLineEdit>(*w, "txtAMAccess")->text(), answer);
    EXPECT_EQ(child<QLineEdit>(*w, "txtMAAccess")->text(), answer);
    answer.clear(); // dismissed: nothing changes
    child<QToolButton>(*w, "btnOpenAA1")->click();
    child<QToolButton>(*w, "btnOpenAA2")->click();
    EXPECT_TRUE(child<QLineEdit>(*w, "txtAAAccess1")->text().isEmpty());
    EXPECT_TRUE(asked.back().save);

    // A server button: the server setup (closed here at once), the main window reloads, and
    // every profile list starts again from the fresh entries at the placeholder.
    for (const char* name : {"cboServerAM", "cboServerMA", "cboServerMM1", "cboServerMM2"})
        child<QComboBox>(*w, name)->setCurrentIndex(1);
    addProfile("B");
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    child<QToolButton>(*w, "SpeedButton2")->click();
    EXPECT_EQ(reloads_, 1);
    for (const char* name : {"cboServerAM", "cboServerMA", "cboServerMM1", "cboServerMM2"}) {
        EXPECT_EQ(child<QComboBox>(*w, name)->count(), 3) << name;
        EXPECT_EQ(child<QComboBox>(*w, name)->currentIndex(), 0) << name;
    }
}

TEST_F(WizardTest, OffsetOfTheCommandLine) {
    const std::pair<QStringList, qint32> cases[] = {
        {{"tablor"}, 0},
        {{"tablor", "-offset:250"}, 250},
        {{"tablor", "-OFFSET:250"}, 250},
        {{"tablor", "-Offset:250"}, 250},
        {{"tablor", "-offset:abc"}, 0},
        {{"tablor", "-offset:25x"}, 0},
        {{"tablor", "-offset:"}, 0},
        {{"tablor", "-offset:-7"}, -7},
        {{"tablor", "-offset:12345678901"}, 123456789}, // nine characters are read
        {{"tablor", "-offset:250", "-offset:300"}, 300},
        {{"tablor", "-offset:250", "-offset:no"}, 0},
        {{"tablor", "x-offset:250"}, 0}, // the number is read from the 9th character
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(TfrmWizard::resumeOffsetFrom(args), expected) << args.join(' ').toStdString();

    markGerman();
    EXPECT_EQ(makeWizard({"tablor", "-OFFSET:250"})->windowTitle(), "Datenbank-Assistent Offset: 250");
    auto w = makeWizard({"tablor", "-offset:250"});
    EXPECT_EQ(w->ResumeOffset, 250);
    EXPECT_EQ(makeWizard({"tablor", "-offset:abc"})->windowTitle(), "Datenbank-Assistent");
    EXPECT_EQ(makeWizard({"tablor", "-offset:-3"})->windowTitle(), "Datenbank-Assistent");
}

TEST_F(WizardTest, TroubleshootingListSetsTheCaptionAndTheIds) {
    addProfile("A");
    QDir().mkpath(transfer::wizardTroubleshootingFolder());
    EXPECT_TRUE(troubleshootIdListPath().startsWith(dir_.filePath("data/Tablor/troubleshooting/")));
    for (const QByteArray& content : {QByteArray("5\n9\n"), QByteArray()}) {
        QFile list(troubleshootIdListPath());
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(content);
        list.close();
        WizardJob seen;
        transfer::g_copy = [&](const WizardJob& job, WizardSink&) {
            seen = job;
            return WizardReport{};
        };
        auto w = makeWizard({"tablor", "-offset:40"});
        toTablesA2M(*w);
        next(*w);
        EXPECT_EQ(w->windowTitle(), "Fehlerbehebung");
        EXPECT_EQ(seen.troubleshootIds, content.isEmpty() ? QStringList() : QStringList({"5", "9"}));
        EXPECT_EQ(seen.resumeOffset, 40);
        EXPECT_EQ(seen.rowFileFolder, transfer::wizardTroubleshootingFolder());
    }
    transfer::g_copy = nullptr;
    QFile::remove(troubleshootIdListPath());
    auto w = makeWizard();
    toTablesA2M(*w);
    next(*w);
    EXPECT_EQ(w->windowTitle(), "Database wizard");
    EXPECT_TRUE(w->lastJob().troubleshootIds.isEmpty());
}

// A long copy of one table that runs until it is told to stop.
WizardReport longCopy(const WizardJob& job, WizardSink& sink, TfrmWizard& w, qint64* rowsDone) {
    constexpr qint64 rows = 20'000'000;
    WizardReport report;
    transfer::TableCopyReport table;
    table.table = job.tables.value(0);
    sink.overall(1, job.tables.size());
    sink.status(LocalizedMessage(msgCopying, job.languageIndex) + " " + table.table);
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    for (qint64 r = 0; r < rows; r += 100) {
        sink.detail(r, rows);
        table.rowsRead = table.rowsWritten = r;
        sink.pump();
        if (sink.cancelRequested()) {
            table.cancelled = report.cancelled = true;
            break;
        }
        if (!shown && clock.elapsed() > 1300) { // the rate shows after a second
            shown = true;
            shot(w, "wizard-progress.png");
        }
        QThread::usleep(20); // a server's pace
    }
    *rowsDone = table.rowsRead;
    report.tables.push_back(table);
    return report;
}

TEST_F(WizardTest, CancelAndTheCloseBoxStopALongCopyAndTheFinishPageSaysWhatArrived) {
    markGerman();
    addProfile("A");
    for (bool closeBox : {false, true}) {
        auto w = makeWizard();
        w->show();
        toTablesA2M(*w);
        qint64 done = 0;
        bool duringCopy = false;
        transfer::g_copy = [&](const WizardJob& job, WizardSink& sink) {
            duringCopy = w->copying() && w->page() == TfrmWizard::PageProgress &&
                         !child<QPushButton>(*w, "btnWeiter")->isEnabled() &&
                         !child<QPushButton>(*w, "btnBack")->isVisible() &&
                         child<QPushButton>(*w, "btnWeiter")->text() == "Schließen";
            return longCopy(job, sink, *w, &done);
        };
        QTimer::singleShot(closeBox ? 300 : 1600, w.get(), [&] {
            if (closeBox) w->close();
            else QTest::mouseClick(child<QPushButton>(*w, "btnCancel"), Qt::LeftButton);
        });
        next(*w);
        EXPECT_TRUE(duringCopy);
        EXPECT_GT(done, 0);
        EXPECT_LT(done, 20'000'000) << "the copy ran to its end";
        EXPECT_TRUE(w->isVisible()) << "closed during the copy";
        ASSERT_EQ(w->page(), TfrmWizard::PageFinish);
        EXPECT_FALSE(w->everythingCopied());
        EXPECT_FALSE(child<QLabel>(*w, "lblSuccess")->isVisible());
        EXPECT_TRUE(child<QLabel>(*w, "lblFailure")->text().startsWith("Der Kopiervorgang wurde abgebrochen"));
        const QString list = child<QPlainTextEdit>(*w, "memErrors")->toPlainText();
        EXPECT_TRUE(list.contains(QStringLiteral("%1 / %1 / 0 - abgebrochen").arg(done))) << list.toStdString();
        EXPECT_TRUE(child<QPushButton>(*w, "btnWeiter")->isEnabled());
        w->close(); // after the copy the close box closes again
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(WizardTest, FinishPageListsErrorsAndNeverClaimsSuccessAfterOne) {
    markGerman();
    addProfile("A");
    addProfile("B");
    auto w = makeWizard();
    w->show();
    child<QRadioButton>(*w, "rdoA2M")->setChecked(true);
    toTablesA2M(*w);
    child<QComboBox>(*w, "cboOption")->setCurrentIndex(1);
    child<QLineEdit>(*w, "txtAMPrefix")->setText("x_");
    const QStringList tables = ticked(*w);
    ASSERT_GE(tables.size(), 2);
    transfer::g_copy = [&](const WizardJob& job, WizardSink& sink) {
        WizardReport report;
        for (int i = 0; i < job.tables.size(); ++i) {
            transfer::TableCopyReport t;
            t.table = job.tables[i];
            t.rowsRead = 3;
            t.rowsWritten = i == 1 ? 2 : 3;
            t.rowsFailed = i == 1 ? 1 : 0;
            if (i == 1) sink.error(t.table + ": Duplicate entry '7' for key 'PRIMARY' (id=7)");
            sink.overall(i + 1, job.tables.size());
            report.tables.push_back(t);
        }
        return report;
    };
    next(*w);
    const WizardJob& job = w->lastJob();
    EXPECT_EQ(job.direction, transfer::WizardDirection::AccessToMySql);
    EXPECT_EQ(job.tables, tables);
    EXPECT_TRUE(job.append);
    EXPECT_EQ(job.prefix, "x_");
    EXPECT_EQ(job.sourceMdb, northwind());
    EXPECT_EQ(job.targetServer.host, "127.0.0.1");
    EXPECT_EQ(job.targetServer.port, 1u);
    EXPECT_EQ(job.targetServer.database, "A_db");
    EXPECT_EQ(job.targetServer.user, "u_A");
    EXPECT_EQ(job.targetServer.password, "pw");
    EXPECT_EQ(job.languageIndex, 0);

    ASSERT_EQ(w->page(), TfrmWizard::PageFinish);
    EXPECT_FALSE(w->everythingCopied());
    EXPECT_FALSE(child<QLabel>(*w, "lblSuccess")->isVisible());
    EXPECT_TRUE(child<QLabel>(*w, "lblFailure")->text().startsWith("Es sind Fehler aufgetreten"));
    auto* memo = child<QPlainTextEdit>(*w, "memErrors");
    EXPECT_TRUE(memo->isVisible());
    const QStringList lines = memo->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "Folgende Fehler sind aufgetreten:");
    EXPECT_EQ(lines[1], tables[1] + ": Duplicate entry '7' for key 'PRIMARY' (id=7)");
    EXPECT_TRUE(lines.contains(tables[0] + ": 3 / 3 / 0"));
    EXPECT_TRUE(lines.contains(tables[1] + ": 3 / 2 / 1"));
    EXPECT_EQ(child<QPushButton>(*w, "btnWeiter")->text(), "Schließen");
    shot(*w, "wizard-finish-errors.png");

    // A message of the copy (a structure mismatch) is shown in a box.
    EXPECT_EQ(messages_->count(), 0);

    // Close gives OK.
    next(*w);
    EXPECT_EQ(w->result(), QDialog::Accepted);

    // A run where every table arrived says so, with the summary but no error heading.
    transfer::g_copy = [&](const WizardJob& j, WizardSink&) {
        WizardReport report;
        for (const QString& t : j.tables) {
            transfer::TableCopyReport r;
            r.table = t;
            r.rowsRead = r.rowsWritten = 4;
            report.tables.push_back(r);
        }
        return report;
    };
    auto ok = makeWizard();
    ok->show();
    toTablesA2M(*ok);
    next(*ok);
    EXPECT_TRUE(ok->everythingCopied());
    EXPECT_TRUE(child<QLabel>(*ok, "lblSuccess")->isVisible());
    EXPECT_FALSE(child<QLabel>(*ok, "lblFailure")->isVisible());
    EXPECT_TRUE(child<QPlainTextEdit>(*ok, "memErrors")->toPlainText().startsWith("Zusammenfassung"));
}

TEST_F(WizardTest, MySqlSourcesListTheServersTablesAllTicked) {
    const QString host = qEnvironmentVariable("TABLOR_TEST_MYSQL_HOST");
    if (host.isEmpty()) GTEST_SKIP() << "no MariaDB sandbox (TABLOR_TEST_MYSQL_*)";
    u_db::TSQLObject server;
    server.ConnectionRecord = {
        host, qEnvironmentVariable("TABLOR_TEST_MYSQL_USER"), qEnvironmentVariable("TABLOR_TEST_MYSQL_PASSWORD"),
        qEnvironmentVariable("TABLOR_TEST_MYSQL_DATABASE"), qEnvironmentVariable("TABLOR_TEST_MYSQL_PORT")};
    server.Connect();
    server.Execute("CREATE TABLE IF NOT EXISTS wizard_probe_a (id INT)");
    server.Execute("CREATE TABLE IF NOT EXISTS wizard_probe_b (id INT)");
    server.Connect(); // the table list is read when connecting
    const QStringList expected = server.TableList;
    ASSERT_TRUE(expected.contains("wizard_probe_a"));
    for (const char* name : {"S1", "S2"}) {
        addProfile(name);
        ServerProfile& p = *profiles_.back();
        p.ServerName = host;
        p.Port = qEnvironmentVariable("TABLOR_TEST_MYSQL_PORT").toInt();
        p.UserName = server.ConnectionRecord.Login;
        p.Password = server.ConnectionRecord.Password;
        p.DbName = server.ConnectionRecord.Database;
    }
    auto w = makeWizard();
    // MySQL to MySQL between two entries naming the same server and database.
    child<QRadioButton>(*w, "rdoM2M")->setChecked(true);
    next(*w);
    child<QComboBox>(*w, "cboServerMM1")->setCurrentIndex(1);
    child<QComboBox>(*w, "cboServerMM2")->setCurrentIndex(2);
    next(*w);
    ASSERT_EQ(w->page(), TfrmWizard::PageTables);
    EXPECT_EQ(ticked(*w), expected);
    EXPECT_EQ(messages_->count(), 0);
    child<QLineEdit>(*w, "txtMMPrefix")->setText("copy_");
    WizardJob seen;
    transfer::g_copy = [&](const WizardJob& job, WizardSink&) {
        seen = job;
        return WizardReport{};
    };
    next(*w);
    EXPECT_EQ(seen.direction, transfer::WizardDirection::MySqlToMySql);
    EXPECT_EQ(seen.prefix, "copy_");
    EXPECT_FALSE(seen.append);
    EXPECT_EQ(seen.tables, expected);
    for (const transfer::WizardServer* side : {&seen.sourceServer, &seen.targetServer}) {
        EXPECT_EQ(side->host, host);
        EXPECT_EQ(side->port, profiles_.back()->Port);
        EXPECT_EQ(side->database, server.ConnectionRecord.Database);
        EXPECT_EQ(side->user, server.ConnectionRecord.Login);
    }

    // MySQL to Access: the target file's format comes from the source profile.
    profiles_.front()->AccessFormat = 0; // Office 97
    auto m2a = makeWizard();
    child<QRadioButton>(*m2a, "rdoM2A")->setChecked(true);
    next(*m2a);
    child<QComboBox>(*m2a, "cboServerMA")->setCurrentIndex(1);
    child<QLineEdit>(*m2a, "txtMAAccess")->setText(dir_.filePath("out.mdb"));
    next(*m2a);
    EXPECT_EQ(ticked(*m2a), expected);
    next(*m2a);
    EXPECT_EQ(seen.direction, transfer::WizardDirection::MySqlToAccess);
    EXPECT_EQ(seen.targetMdb, dir_.filePath("out.mdb"));
    EXPECT_EQ(seen.sourceServer.host, host);
    EXPECT_FALSE(seen.sourceServer.office2000);
    server.Execute("DROP TABLE wizard_probe_a");
    server.Execute("DROP TABLE wizard_probe_b");
}

TEST_F(WizardTest, AMessageOfTheCopyIsShownAndAFaultLeavesOnlyCancel) {
    addProfile("A");
    auto w = makeWizard();
    w->show();
    toTablesA2M(*w);
    transfer::g_copy = [&](const WizardJob& job, WizardSink& sink) {
        WizardReport report;
        sink.message(LocalizedMessage(msgStructureMismatch, 0, job.tables[0]));
        for (const QString& t : job.tables) {
            transfer::TableCopyReport r;
            r.table = t;
            report.tables.push_back(r);
        }
        return report;
    };
    next(*w);
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_TRUE(messages_->last().text.startsWith("Die Struktur der Tabellen"));
    EXPECT_EQ(messages_->last().type, mtInformation);
    EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbOK));
    EXPECT_FALSE(w->everythingCopied()) << "a table was left out, as the box said";

    // A fault of the program ends the copy on the progress page; only Cancel remains.
    auto faulty = makeWizard();
    faulty->show();
    toTablesA2M(*faulty);
    transfer::g_copy = [](const WizardJob&, WizardSink&) -> WizardReport { throw std::logic_error("broken"); };
    EXPECT_THROW(faulty->btnWeiterClick(), std::logic_error);
    EXPECT_EQ(faulty->page(), TfrmWizard::PageProgress);
    EXPECT_FALSE(child<QPushButton>(*faulty, "btnWeiter")->isEnabled());
    child<QPushButton>(*faulty, "btnCancel")->click();
    EXPECT_FALSE(faulty->isVisible());
    EXPECT_EQ(faulty->result(), QDialog::Rejected);
}

} // namespace
} // namespace tablor
