// Each test file registers its QtTest class here, so that one executable runs them all.
#pragma once

#include <QTest>

#include <functional>
#include <vector>

namespace orvexa::test {

using TestRun = std::function<int(int argc, char** argv)>;

std::vector<TestRun>& testClasses();

template <typename TestClass> struct Registered {
    Registered() {
        testClasses().push_back([](int argc, char** argv) {
            TestClass test;
            return QTest::qExec(&test, argc, argv);
        });
    }
};

} // namespace orvexa::test
