#include "doctor/Finding.h"

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

int severityRank(FindingLevel level) {
    switch (level) {
    case FindingLevel::Problem:
        return 0;
    case FindingLevel::Unchecked:
        return 1;
    case FindingLevel::Note:
        return 2;
    case FindingLevel::Fine:
        return 3;
    }
    return 3;
}

std::string printableText(std::string_view text) {
    std::string printable(text);
    for (char& c : printable) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e) {
            c = '?';
        }
    }
    return printable;
}

bool anyProblem(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& finding) { return finding.level == FindingLevel::Problem; });
}

} // namespace orvexa
