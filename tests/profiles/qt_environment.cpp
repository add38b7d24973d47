// One QApplication for the widget tests of this executable, and settings kept in a temporary
// folder so that no test reads or writes the real user's preferences.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        settingsDir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(settingsDir_->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_->path());
        static int argc = 1;
        static char name[] = "tablor_widget_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        settingsDir_.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> settingsDir_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
