// Shared setup of the application shell's tests: one TablorApplication for the executable, a
// fresh program folder and settings store per test, message boxes and error boxes answered by
// recorders, and a watcher that closes modal windows the code under test opens.
#pragma once

#include "app/errordisplay.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/prefs.h"
#include "support/qt_environment.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace tablor::test {

// Every text the error display was asked to show.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    const QStringList& texts() const { return texts_; }

private:
    QStringList texts_;
    ErrorPresenter previous_;
};

// Watches for modal dialogs of a given class and hands each to `handle` (which closes it).
// Records when each one appeared.
class ModalWatcher {
public:
    using Handler = std::function<void(QDialog*)>;
    ModalWatcher();
    ~ModalWatcher();
    void on(const char* className, Handler handle);
    struct Seen {
        QString className;
        qint64 atMs; // since the watcher started
    };
    const std::vector<Seen>& seen() const { return seen_; }
    int count(const char* className) const;
    qint64 elapsedMs() const { return clock_.elapsed(); }

private:
    void poll();
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<std::pair<QString, Handler>> handlers_;
    std::vector<Seen> seen_;
    QPointer<QDialog> handled_;
};

// Processes events until `done` or `timeoutMs` passed; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores preferences as a user would have them before the program starts.
    void storePrefs(const QString& language, bool startUpDialog = false, bool preview = false);
    // Writes server.dat with profiles of these names (in ProgramDir).
    void writeProfiles(const QStringList& names);
    QString programDir() const;
    // A writable copy of the shared Access fixture `fixture` (testdata/mdb) in the program folder.
    QString copyOf(const QString& fixture) const;

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<MessageBoxRecorder> messages_;
    std::unique_ptr<ErrorRecorder> errors_;
};

} // namespace tablor::test
