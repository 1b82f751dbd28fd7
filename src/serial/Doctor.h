// What the doctor (orvexa-cli --doctor, and the support bundle) found on this machine: one finding per
// thing that can stand between the user and a scanner, each with what to do about it. Every OS edge
// examines its own machine through the same roots its port discovery reads, so that tests hand it a fake
// machine; nothing here runs another program.
#pragma once

#include <string>
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
// True when any finding is a problem: the doctor's exit code is then 1.
bool anyProblem(const std::vector<Finding>& findings);

} // namespace orvexa
