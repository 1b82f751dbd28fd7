#include "serial/Doctor.h"

#include <algorithm>

namespace orvexa {

const char* findingLevelName(FindingLevel level) {
    switch (level) {
    case FindingLevel::Fine:
        return "fine";
    case FindingLevel::Note:
        return "note";
    case FindingLevel::Problem:
        return "problem";
    case FindingLevel::Unchecked:
        return "unchecked";
    }
    return "unchecked";
}

bool anyProblem(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& finding) { return finding.level == FindingLevel::Problem; });
}

} // namespace orvexa
