// Each test file registers its QtTest class here, so that one executable runs them all.
#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

#include <functional>
#include <vector>

namespace orvexa::test {

using TestRun = std::function<int(int argc, char** argv)>;

std::vector<TestRun>& testClasses();

// Opens the widget's context menu as a right click does and clicks its entry at index; the entry's text,
// or an empty one when no such menu came within two seconds.
QString clickContextMenuEntry(QWidget& widget, int index);

template <typename TestClass> struct Registered {
    Registered() {
        testClasses().push_back([](int argc, char** argv) {
            TestClass test;
            return QTest::qExec(&test, argc, argv);
        });
    }
};

} // namespace orvexa::test
