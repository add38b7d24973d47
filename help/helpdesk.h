// The program's help: which help file is the application's, opening it at a topic, at a help
// context number or at the topic of the window that has the focus (F1), and the message when the
// help cannot be found.
//
// Windows carry their help context number in the Qt property "helpContext" (100 main window,
// 400 image viewer, 600 copy messages, 700 server setup); a window without a number gets its
// topic by its objectName, as the help's contents list it. F1 looks from the focused control up
// through its parents (so a message box without a number shows the topic of the window it
// belongs to); without any match the help opens at its first topic.
#pragma once

#include <QString>

class QApplication;
class QWidget;

namespace tablor {

class HelpBook;
class THelpWindow;

// The application's help file (the main window sets ProgramDir + the language's file name) and
// the language of its messages. A file missing at that path is looked for by name in the other
// places helpFileCandidates lists.
void setApplicationHelpFile(const QString& path, int languageIndex);
QString applicationHelpFile();

// Opens the help window at a topic. False, after telling the user, when the help file cannot be
// found or read. An unknown topic or number shows the help's first topic.
bool showHelpTopic(const QString& topicId);
bool showHelpContext(int helpContext);
// The topic of `widget`'s window, as F1 finds it.
bool showHelpFor(QWidget* widget);

// The help window, nullptr until help was first shown (for tests and screenshots).
THelpWindow* helpWindow();
// The book shown now, nullptr before.
const HelpBook* currentHelpBook();

// Makes F1 in every window of `app` open the help (installed once by the main window).
void installHelpKey(QApplication* app);

// The message shown when the help file cannot be opened; `reason` names the file and the problem.
QString missingHelpMessage(int languageIndex, const QString& fileName, const QString& reason);

} // namespace tablor
