// Program entry: the application object, the main window and the hidden start dialog.
#include "app/errordisplay.h"
#include "app/u_main.h"
#include "app/u_startup.h"

#include <memory>

int main(int argc, char** argv) {
    tablor::TablorApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tablor"));
    QApplication::setOrganizationName(QStringLiteral("Ostrander"));

    tablor::TfrmMain mainWindow;
    // The start dialog exists once, hidden, for the program's whole run; the one the start timer
    // shows is created for that showing.
    tablor::TfrmStartup hiddenStartup(mainWindow.serverList(), &mainWindow);
    mainWindow.showMaximized();
    return app.exec();
}
