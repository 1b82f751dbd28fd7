// A scanner that goes wrong in one way, as one expression: silent or gone from a point of the
// conversation on, one command's reply bent, replies bent or late as CommandFault spells them, or frames
// refused. Tests that combine kinds of faults fill ScannerFaults themselves.
#pragma once

#include "SimulatedScanner.h"

#include <map>
#include <string>
#include <vector>

namespace orvexa::faults {

inline ScannerFaults silentFrom(FaultPoint::Kind kind, int n, const std::string& key = "") {
    ScannerFaults f;
    f.silentFrom = FaultPoint{kind, key, n};
    return f;
}
inline ScannerFaults vanishAt(FaultPoint::Kind kind, int n, const std::string& key = "") {
    ScannerFaults f;
    f.vanishAt = FaultPoint{kind, key, n};
    return f;
}
// From the n-th occurrence of the command on (any command when the key is empty).
inline ScannerFaults silentOn(const std::string& key, int n = 1) {
    return silentFrom(FaultPoint::Kind::Command, n, key);
}
inline ScannerFaults vanishOn(const std::string& key, int n = 1) {
    return vanishAt(FaultPoint::Kind::Command, n, key);
}
// The command's reply goes wrong from its first occurrence on (or only for `occurrences` of them).
inline ScannerFaults reply(const std::string& key, ReplyFault fault, int occurrences = -1) {
    ScannerFaults f;
    f.commands[key] = CommandFault{fault, 0, 1, occurrences};
    return f;
}
// One entry per command key, e.g. {{"frame", {ReplyFault::UnknownLetter, 0, 5, 1}}}: the fifth frame only.
inline ScannerFaults commands(std::map<std::string, CommandFault> bent) {
    ScannerFaults f;
    f.commands = std::move(bent);
    return f;
}
inline ScannerFaults naks(std::vector<NakFault> refused) {
    ScannerFaults f;
    f.naks = std::move(refused);
    return f;
}

} // namespace orvexa::faults
