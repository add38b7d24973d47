// The application-wide error display and the application object that routes escaped errors to it.
#include "app/errordisplay.h"

#include "ui/windowcolour.h"

#include "jet/writer.h"

#include <QMessageBox>
#include <QMetaObject>

#include <exception>

namespace tablor {

namespace {

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

bool guardCreation(const std::function<void()>& steps) {
    try {
        steps();
        return true;
    } catch (...) {
        showApplicationError(currentExceptionText());
        return false;
    }
}

namespace {

// Changes the engine could not write when a file was closed in a destructor (where nothing
// can be thrown): logged, and shown once the event loop runs again, never dropped.
void reportLostChanges(const std::string& message) {
    const QString text = QString::fromStdString(message);
    qCritical("tablor: changes to an Access file were lost: %s", qUtf8Printable(text));
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [text] { showApplicationError(text); }, Qt::QueuedConnection);
}

} // namespace

TablorApplication::TablorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    jet::setLostChangesReporter(&reportLostChanges);
}

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
