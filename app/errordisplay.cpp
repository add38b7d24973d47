// The application-wide error display and the application object that routes escaped errors to it.
#include "app/errordisplay.h"

#include "app/windowcolour.h"

#include <QLoggingCategory>
#include <QMessageBox>

#include <exception>

namespace tablor {

namespace {

Q_LOGGING_CATEGORY(ignoredFailures, "tablor.ignored", QtWarningMsg)

ErrorPresenter& presenter() {
    static ErrorPresenter current;
    return current;
}

void showBox(const QString& text) {
    // A plain box: no icon, the application title, the text and OK.
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(ApplicationTitle), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    applyWindowColour(&box);
    box.exec();
}

} // namespace

void showApplicationError(const QString& text) {
    if (presenter()) presenter()(text);
    else showBox(text);
}

ErrorPresenter setErrorPresenter(ErrorPresenter next) {
    ErrorPresenter previous = std::move(presenter());
    presenter() = std::move(next);
    return previous;
}

QString currentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred. The operation was abandoned; "
                              "please try it again.");
    }
}

void ignoreOnPurpose(const char* reason) {
    qCDebug(ignoredFailures, "%s: %s", reason, qUtf8Printable(currentExceptionText()));
}

bool guardCreation(const std::function<void()>& steps) {
    try {
        steps();
        return true;
    } catch (...) {
        showApplicationError(currentExceptionText());
        return false;
    }
}

TablorApplication::TablorApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TablorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The handler's operation is abandoned here; the event loop goes on.
        showApplicationError(currentExceptionText());
        return false;
    }
}

} // namespace tablor
