#include "cli/DoctorReport.h"

#include "app/ExitCodes.h"
#include "cli/EventLog.h"
#include "serial/Platform.h"

#include <algorithm>
#include <sstream>

namespace orvexa {

namespace {

constexpr int kUsualWidth = 80; // not a terminal, or one that does not say
constexpr int kNarrowest = 40;
constexpr int kWidest = 100; // wider than this a paragraph is hard to read
constexpr std::size_t kLevelColumn = 11;
constexpr const char* kFixLead = "What to do: ";

// text as lines of at most width characters, broken between words; a word longer than a line stands alone.
// A port named in ORVEXA_EXTRA_PORTS may hold anything: no byte of it but printable ASCII reaches the
// terminal.
std::vector<std::string> wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::istringstream words(printableText(text));
    std::string line;
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::string counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::vector<std::string> doctorLines(std::vector<Finding> findings, int width) {
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return severityRank(a.level) < severityRank(b.level);
    });
    const std::size_t lineWidth =
        static_cast<std::size_t>(std::clamp(width > 0 ? width : kUsualWidth, kNarrowest, kWidest));
    const std::size_t textWidth = lineWidth - kLevelColumn;
    const std::string indent(kLevelColumn, ' ');
    std::vector<std::string> lines;
    int counts[kSeverityRanks] = {};
    for (const Finding& finding : findings) {
        ++counts[severityRank(finding.level)];
        std::string level = findingLevelName(finding.level);
        level.resize(kLevelColumn, ' ');
        const std::vector<std::string> text = wrap(finding.text, textWidth);
        for (std::size_t i = 0; i < text.size(); ++i) {
            lines.push_back((i == 0 ? level : indent) + text[i]);
        }
        if (!finding.fix.empty()) {
            for (const std::string& line : wrap(kFixLead + finding.fix, textWidth)) {
                lines.push_back(indent + line);
            }
        }
    }
    lines.emplace_back();
    const std::string tally =
        counted(counts[0], "problem", "problems") + ", " + counted(counts[1], "not checked", "not checked") +
        ", " + counted(counts[2], "note", "notes") + ", " + counted(counts[3], "fine", "fine") + ".";
    for (const std::string& line : wrap(tally, lineWidth)) {
        lines.push_back(line);
    }
    return lines;
}

int runDoctor(const std::vector<Finding>& findings, bool json, std::FILE* out, int width) {
    const int exitCode = anyProblem(findings) ? exitcode::kNotDone : exitcode::kDone;
    if (json) {
        const std::unique_ptr<Clock> clock = makeSystemClock();
        EventLog log(out, *clock);
        for (const Finding& finding : findings) {
            log.finding(finding);
        }
        log.runEnd(exitCode, {});
        return exitCode;
    }
    std::fputs("What on this machine stands between you and a scanner:\n\n", out);
    for (const std::string& line : doctorLines(findings, width)) {
        std::fprintf(out, "%s\n", line.c_str());
    }
    return exitCode;
}

} // namespace orvexa
