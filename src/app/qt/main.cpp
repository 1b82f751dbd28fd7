// orvexa: the desktop front end.
#include "QtDialogWindow.h"
#include "UpgradeApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(orvexa::QtDialogWindow::defaultTitle());
    QApplication::setApplicationVersion(QString::fromLatin1(ORVEXA_VERSION));
    orvexa::UpgradeApp app;
    return app.run();
}
