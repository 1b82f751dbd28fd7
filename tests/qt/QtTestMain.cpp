// Runs every Qt test class in one process with one QApplication; the exit status is non-zero when any
// class failed.
#include "QtTests.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // The dialog remembers the port of its last Step 1 in the user's settings: here, in a folder of the
    // run's own.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvexa"));
    int failed = 0;
    for (const auto& run : orvexa::test::testClasses()) {
        failed += run(argc, argv) != 0 ? 1 : 0;
    }
    return failed == 0 ? 0 : 1;
}
