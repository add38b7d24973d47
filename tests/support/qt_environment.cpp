#include "support/qt_environment.h"

#include <QSettings>

namespace tablor::test {

QtEnvironment::QtEnvironment(Factory make) : make_(std::move(make)) {}

void QtEnvironment::SetUp() {
    settingsDir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(settingsDir_->isValid()) << "no temporary folder for the settings (is TMPDIR writable?)";
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_->path());
    static int argc = 1;
    static char name[] = "tablor_tests";
    static char* argv[] = {name, nullptr};
    app_ = make_ ? make_(argc, argv) : std::make_unique<QApplication>(argc, argv);
}

void QtEnvironment::TearDown() {
    app_.reset();
    settingsDir_.reset();
}

} // namespace tablor::test
