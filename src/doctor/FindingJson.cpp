#include "doctor/FindingJson.h"

namespace orvexa {

nlohmann::ordered_json findingJson(const Finding& finding) {
    return {{"check", finding.check},
            {"level", findingLevelName(finding.level)},
            {"subject", finding.subject},
            {"text", finding.text},
            {"fix", finding.fix}};
}

} // namespace orvexa
