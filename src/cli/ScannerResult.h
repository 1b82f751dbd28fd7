// How one scanner's session ended, as orvexa-cli concludes it from the session's records: a fleet's or a
// station's summary row, the result event of --json and the station's tally read it. The verdict weighs
// what the steps left (their outcome, the exit code) against what the run asked for (--check, --force),
// so it belongs to the front end that asked; the steps know only their Outcome.
#pragma once

#include "serial/PortDiscovery.h"
#include "steps/StepContext.h"

#include <cstdint>
#include <string>

namespace orvexa {

struct ScannerResult {
    enum class Verdict {
        NoScanner,      // nothing answered on the port, or it could not be opened
        Skipped,        // another port of the same Bluetooth device reached the scanner first
        Verified,       // --check: verified, nothing written
        AlreadyCurrent, // verified, and it already runs the carried firmware: not written
        Written,
        Failed,
    };
    PortInfo port;
    Verdict verdict = Verdict::NoScanner;
    Outcome outcome = Outcome::None;
    int exitCode = 0;
    std::string model;          // "RDQ200A7UG"
    std::string firmwareBefore; // as the scanner reported it
    std::string firmwareAfter;  // the carried version once written
    std::string why;            // for NoScanner, Skipped and Failed: one line
    std::string package;        // with --firmware: the package the session ended on, and its sha256
    std::string packageSha256;
    // For Verified: whether the same run without --check would write the scanner, so that a script can
    // say what a rollout would change without repeating the fleet's rule.
    bool wouldWrite = false;
    std::uint32_t elapsedMs = 0;
};

// "no scanner", "already current": as the summary, the rows and the events name a verdict.
const char* verdictName(ScannerResult::Verdict verdict);
// A result as a fleet's row and its summary say it: the verdict and why; under --check, what the run
// without it would do ("verified: would write").
std::string resultText(const ScannerResult& result);
// How a probe went, as the CLI says it: "no answer", "cannot open (busy)"; empty when it answered.
std::string probeOutcome(const PortProbe& probe);

// How a session ended, from what its records hold; a Failed result's why is the caller's to say.
ScannerResult sessionResult(const PortInfo& port, const ProcessRecords& records, Outcome outcome,
                            int exitCode, bool check, const FirmwarePackage& package);

} // namespace orvexa
