// One QApplication for all the tests of a program, with the settings kept in a temporary
// folder so that no test reads or writes the real user's preferences. Programs that link
// tablor_test_qt_environment get a plain QApplication; others register their own:
//   AddGlobalTestEnvironment(new QtEnvironment([](int& c, char** v) { return std::make_unique<X>(c, v); }));
#pragma once

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tablor::test {

class QtEnvironment : public ::testing::Environment {
public:
    using Factory = std::function<std::unique_ptr<QApplication>(int& argc, char** argv)>;
    explicit QtEnvironment(Factory make = {});
    void SetUp() override;
    void TearDown() override;

private:
    Factory make_;
    std::unique_ptr<QTemporaryDir> settingsDir_;
    std::unique_ptr<QApplication> app_;
};

// The child of `parent` named `name` (a failure when there is none).
template <class T>
T* child(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

} // namespace tablor::test
