// The one-line input box (InputQuery) and the file open box of the main window, each behind a
// replaceable presenter so that headless tests answer them and see what was asked.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace tablor {

struct InputRequest {
    QString caption;
    QString prompt;
    QString initial;
};
// Returns the confirmed text, or nothing for Cancel.
using InputPresenter = std::function<std::optional<QString>(const InputRequest&)>;
// Replaces the box for every later call; an empty function restores the real box.
InputPresenter setInputPresenter(InputPresenter presenter);

// Shows the box with OK and Cancel; on OK stores the text in `value` and returns true.
bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);

struct OpenFileRequest {
    QString title;         // empty: the platform's own
    QStringList filters;   // "Access Datenbank (*.mdb)", ...
    QString defaultSuffix; // "mdb"
};
// Returns the chosen file's full path, or nothing when the user cancelled.
using OpenFilePresenter = std::function<std::optional<QString>(const OpenFileRequest&)>;
OpenFilePresenter setOpenFilePresenter(OpenFilePresenter presenter);
std::optional<QString> chooseFileToOpen(const OpenFileRequest& request, QWidget* parent = nullptr);

} // namespace tablor
