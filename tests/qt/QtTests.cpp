#include "QtTests.h"

namespace orvexa::test {

std::vector<TestRun>& testClasses() {
    static std::vector<TestRun> classes;
    return classes;
}

} // namespace orvexa::test
