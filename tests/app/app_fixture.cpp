// The shared setup of the application shell's tests.
#include "app_fixture.h"

#include "profiles/profilelist.h"
#include "profiles/programdir.h"
#include "support/qt_environment.h"
#include "support/files.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

namespace tablor::test {

namespace {
[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(
    new QtEnvironment([](int& argc, char** argv) { return std::make_unique<TablorApplication>(argc, argv); }));
} // namespace

ErrorRecorder::ErrorRecorder() {
    previous_ = setErrorPresenter([this](const QString& text) { texts_ << text; });
}

ErrorRecorder::~ErrorRecorder() { setErrorPresenter(std::move(previous_)); }

ModalWatcher::ModalWatcher() {
    clock_.start();
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

ModalWatcher::~ModalWatcher() { timer_.stop(); }

void ModalWatcher::on(const char* className, Handler handle) {
    handlers_.emplace_back(QString::fromLatin1(className), std::move(handle));
}

int ModalWatcher::count(const char* className) const {
    int n = 0;
    for (const Seen& s : seen_) n += s.className == QLatin1String(className);
    return n;
}

void ModalWatcher::poll() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog == handled_ || !dialog->isVisible()) return;
    const QString className = QString::fromLatin1(dialog->metaObject()->className());
    for (auto& [name, handle] : handlers_) {
        if (name == className) {
            handled_ = dialog;
            seen_.push_back({className, clock_.elapsed()});
            handle(dialog);
            return;
        }
    }
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void AppTest::SetUp() {
    dir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dir_->isValid());
    QDir(dir_->path()).mkpath("settings");
    QDir(dir_->path()).mkpath("program");
    // Never the real user's settings or profiles.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_->path() + "/settings");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_->path() + "/settings");
    setProgramDirOverride(dir_->path() + "/program");
    messages_ = std::make_unique<MessageBoxRecorder>(mrCancel);
    errors_ = std::make_unique<ErrorRecorder>();
}

void AppTest::TearDown() {
    // Windows a test left open are gone with their owners; let deferred deletes run.
    QApplication::processEvents();
    errors_.reset();
    messages_.reset();
    setProgramDirOverride(QString());
    dir_.reset();
}

void AppTest::storePrefs(const QString& language, bool startUpDialog, bool preview) {
    TPrefs prefs;
    prefs.FLanguage = language;
    prefs.StartUpDialog = startUpDialog;
    prefs.FPreview = preview;
    prefs.Save();
}

void AppTest::writeProfiles(const QStringList& names) {
    ProfileList list;
    for (const QString& name : names) {
        ServerProfile p;
        p.ProfileName = name;
        p.ServerName = "db.example";
        p.Port = 3306;
        p.MdbPath = programDir() + name + ".mdb";
        list.append(p);
    }
    SaveProfiles(list);
}

QString AppTest::programDir() const { return ProgramDir(); }

QString AppTest::copyOf(const QString& fixture) const {
    const QString target = programDir() + fixture;
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(tablor::test::sharedTestDataPath("mdb/") + fixture, target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

} // namespace tablor::test
