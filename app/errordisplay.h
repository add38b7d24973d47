// The application-wide error display: an error that no handler dealt with is shown in a plain
// message box titled "Tablor 2.0" with its text and an OK button, and the program carries on.
//
// TablorApplication::notify catches what escapes an event handler, a slot or a timer;
// guardCreation() does the same for the steps of a window's creation, so that the window is
// still created, without the steps after the failing one. Tests replace the box with a
// presenter that records the texts.
#pragma once

#include "ui/failures.h"

#include <QApplication>
#include <QString>

#include <functional>

namespace tablor {

// The application title: of plain message boxes and of the main window.
inline constexpr const char* ApplicationTitle = "Tablor 2.0";

// Shows `text` in the plain error box (or hands it to the installed presenter).
void showApplicationError(const QString& text);

// Replaces the box for every later error; an empty function restores the real box.
// Returns the previous presenter.
using ErrorPresenter = std::function<void(const QString& text)>;
ErrorPresenter setErrorPresenter(ErrorPresenter presenter);

// Runs `steps`; an exception leaving it is shown by the error display instead of propagating.
// Returns false when it was.
bool guardCreation(const std::function<void()>& steps);

// The application object: catches every exception that escapes event delivery.
class TablorApplication : public QApplication {
public:
    TablorApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tablor
