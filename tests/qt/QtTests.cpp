#include "QtTests.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

namespace orvexa::test {

std::vector<TestRun>& testClasses() {
    static std::vector<TestRun> classes;
    return classes;
}

QString clickContextMenuEntry(QWidget& widget, int index) {
    QString entry;
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu != nullptr && menu->actions().size() > index) {
            QAction* chosen = menu->actions().at(index);
            entry = chosen->text();
            poll.stop();
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        } else if (++polls > 400) {
            poll.stop(); // no menu came: the caller's comparisons fail instead of the test hanging
        }
    });
    poll.start(5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), widget.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&widget, &event);
    return entry;
}

} // namespace orvexa::test
