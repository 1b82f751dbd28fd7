// What the doctor (doctor/Doctor.h: orvexa-cli --doctor, and the support bundle) found on this machine: one
// finding per thing that can stand between the user and a scanner, each with what to do about it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvexa {

enum class FindingLevel {
    Fine,      // looked, and nothing stands in the way
    Note,      // worth knowing; does not stop a scanner from being found
    Problem,   // stands in the way: the fix says what to do
    Unchecked, // could not be looked at (unreadable, vanished while read): the text says what and why
};

struct Finding {
    std::string check; // a stable identifier of the check, for scripts: "port-access", "modem-manager"
    FindingLevel level = FindingLevel::Fine;
    std::string subject; // what it is about ("/dev/ttyUSB0", "ModemManager"); empty for the machine
    std::string text;    // what was found, one sentence
    std::string fix;     // what to do about it; empty when there is nothing to do
};

// "fine", "note", "problem", "unchecked": what the doctor prints and the JSON carries.
const char* findingLevelName(FindingLevel level);
// How far a finding stands in the way, the order a reader meets them in: 0 for a problem, 1 for what was
// not checked, 2 for a note, 3 for fine.
int severityRank(FindingLevel level);
inline constexpr int kSeverityRanks = 4;
// A name read from the machine (a process, a device, a paired scanner) as a finding may show it, and a
// finding's text as the terminal shows it: printable ASCII only, every other byte a '?'. Names come in
// encodings a terminal or a JSON reader may not share (the setup API's are in the machine's ANSI code
// page), and a name must not move a terminal's cursor.
std::string printableText(std::string_view text);
// True when any finding is a problem: the doctor's exit code is then 1.
bool anyProblem(const std::vector<Finding>& findings);

} // namespace orvexa
