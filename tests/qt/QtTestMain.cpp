// Runs every Qt test class in one process with one QApplication; the exit status is non-zero when any
// class failed.
#include "QtTests.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvexa"));
    int failed = 0;
    for (const auto& run : orvexa::test::testClasses()) {
        failed += run(argc, argv) != 0 ? 1 : 0;
    }
    return failed == 0 ? 0 : 1;
}
