// Tests of the application-wide error display: errors escaping slots, timers, event handlers and
// window creation are shown with their text, and the program carries on.
#include "app_fixture.h"

#include "app/u_main.h"
#include "app/u_startup.h"
#include "jet/writer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

namespace tablor::test {
namespace {

class ErrorDisplayTest : public AppTest {};

TEST_F(ErrorDisplayTest, ErrorEscapingASlotIsShownAndTheLoopGoesOn) {
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked,
                     [] { throw std::runtime_error("Die Verbindung ist abgebrochen."); });
    button.show();
    // Delivered by the event loop, as a user's click is.
    QTimer::singleShot(0, &button, [&] { button.click(); });
    int later = 0;
    QTimer::singleShot(20, [&] { later = 1; });
    ASSERT_TRUE(waitUntil([&] { return later == 1; }));
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_EQ(errors_->texts().front(), "Die Verbindung ist abgebrochen.");
}

TEST_F(ErrorDisplayTest, ErrorEscapingATimerIsShownAndTheTimerKeepsRunning) {
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 1) throw std::runtime_error("first tick failed");
    });
    timer.start(5);
    ASSERT_TRUE(waitUntil([&] { return ticks >= 3; }));
    ASSERT_GE(errors_->texts().size(), 1);
    EXPECT_EQ(errors_->texts().front(), "first tick failed");
}

// A writer that could not save its last changes while being destroyed tells the program,
// which shows it once the loop runs: not only on stderr, where a user never looks.
TEST_F(ErrorDisplayTest, ChangesLostInADestructorAreShown) {
    jet::reportLostChanges("the last changes to \"a.mdb\" could not be written: disk full");
    EXPECT_TRUE(errors_->texts().empty()); // not from inside the destructor
    ASSERT_TRUE(waitUntil([&] { return !errors_->texts().empty(); }));
    EXPECT_EQ(errors_->texts().front(), "the last changes to \"a.mdb\" could not be written: disk full");
}

TEST_F(ErrorDisplayTest, ErrorThatIsNoStandardExceptionGetsAGeneralText) {
    QTimer::singleShot(0, [] { throw 42; });
    ASSERT_TRUE(waitUntil([&] { return !errors_->texts().isEmpty(); }));
    EXPECT_TRUE(errors_->texts().front().startsWith("An unexpected error occurred."));
}

TEST_F(ErrorDisplayTest, GuardedCreationStopsAtTheFailingStep) {
    std::vector<int> steps;
    const bool ok = guardCreation([&] {
        steps.push_back(1);
        throw std::runtime_error("step 2 failed");
        steps.push_back(3); // never reached
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(steps, std::vector<int>{1});
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_EQ(errors_->texts().front(), "step 2 failed");
    EXPECT_TRUE(guardCreation([] {}));
    EXPECT_EQ(errors_->texts().size(), 1);
}

TEST_F(ErrorDisplayTest, RealBoxIsPlainWithTheApplicationTitleAndOk) {
    errors_.reset(); // the real box
    QString title, text;
    int buttons = 0;
    bool hadIcon = true;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->standardButtons());
        hadIcon = box->icon() != QMessageBox::NoIcon;
        box->button(QMessageBox::Ok)->click();
    });
    showApplicationError("Etwas ging schief.");
    errors_ = std::make_unique<ErrorRecorder>();
    EXPECT_EQ(title, "Tablor 2.0");
    EXPECT_EQ(text, "Etwas ging schief.");
    EXPECT_EQ(buttons, static_cast<int>(QMessageBox::Ok));
    EXPECT_FALSE(hadIcon);
}

TEST_F(ErrorDisplayTest, UnreadableServerDatIsShownAndTheMainWindowIsStillCreated) {
    storePrefs("English");
    // A folder where server.dat should be: it exists but cannot be read as a file.
    ASSERT_TRUE(QDir(programDir()).mkdir("server.dat"));
    TfrmMain window;
    ASSERT_EQ(errors_->texts().size(), 1);
    EXPECT_TRUE(errors_->texts().front().contains("server.dat"));
    // The steps after the profiles still ran: the stored language and the placeholder entry.
    EXPECT_EQ(window.translator()->language(), "English");
    ASSERT_EQ(window.serverList()->count(), 1);
    EXPECT_EQ(window.serverList()->itemText(0), "<Select Profile>");
}

TEST_F(ErrorDisplayTest, ServerManagementThatCannotReadTheProfilesReportsAndOpensNothing) {
    storePrefs("Deutsch");
    TfrmMain window;
    ASSERT_TRUE(QDir(programDir()).mkdir("server.dat"));
    auto* admin = window.findChild<QAction*>("mnuServerAdmin");
    ASSERT_NE(admin, nullptr);
    ModalWatcher watcher;
    watcher.on("tablor::TfrmServeredit", [](QDialog* d) { d->reject(); });
    QTimer::singleShot(0, admin, &QAction::trigger);
    ASSERT_TRUE(waitUntil([&] { return !errors_->texts().isEmpty(); }));
    EXPECT_TRUE(errors_->texts().front().contains("server.dat"));
    EXPECT_EQ(watcher.count("tablor::TfrmServeredit"), 0);
    // The window carries on.
    EXPECT_TRUE(window.findChild<QAction*>("mnuEnglish")->isEnabled());
}

} // namespace
} // namespace tablor::test
