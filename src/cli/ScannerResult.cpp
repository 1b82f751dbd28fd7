#include "cli/ScannerResult.h"

#include "app/ExitCodes.h"
#include "firmware/FirmwareVersion.h"
#include "serial/TracingChannel.h"

namespace orvexa {

const char* verdictName(ScannerResult::Verdict verdict) {
    switch (verdict) {
    case ScannerResult::Verdict::NoScanner:
        return "no scanner";
    case ScannerResult::Verdict::Skipped:
        return "skipped";
    case ScannerResult::Verdict::Verified:
        return "verified";
    case ScannerResult::Verdict::AlreadyCurrent:
        return "already current";
    case ScannerResult::Verdict::Written:
        return "written";
    case ScannerResult::Verdict::Failed:
        return "failed";
    }
    return "failed";
}

std::string resultText(const ScannerResult& result) {
    std::string text = verdictName(result.verdict);
    if (!result.why.empty()) {
        text += ": " + result.why;
    }
    if (result.verdict == ScannerResult::Verdict::Verified) {
        text += result.wouldWrite ? ": would write" : ": already current";
    }
    return text;
}

std::string probeOutcome(const PortProbe& probe) {
    switch (probe.result) {
    case PortProbe::Result::Answered:
        return {};
    case PortProbe::Result::OpenFailed:
        return std::string("cannot open (") + channelErrorName(probe.error) + ")";
    case PortProbe::Result::NoAnswer:
        break;
    }
    return "no answer";
}

namespace {

std::string probeFailure(const ProcessRecords& records) {
    for (const PortProbe& probe : records.probedPorts) {
        if (probe.result == PortProbe::Result::OpenFailed) {
            return probeOutcome(probe);
        }
    }
    return "no answer";
}

} // namespace

ScannerResult sessionResult(const PortInfo& port, const ProcessRecords& records, Outcome outcome,
                            int exitCode, bool check, const FirmwarePackage& package) {
    using Verdict = ScannerResult::Verdict;
    ScannerResult result;
    result.port = port;
    result.outcome = outcome;
    result.exitCode = exitCode;
    const DeviceInfo& device = records.deviceInfo;
    if (outcome == Outcome::PortNotFound) {
        result.verdict = Verdict::NoScanner;
        result.why = probeFailure(records);
        return result;
    }
    result.model = textOf(device.modelText);
    if (!result.model.empty() && !textOf(device.firmwareText).empty()) {
        result.firmwareBefore = runsBootloader(device) ? "bootloader" : scannerVersion(device);
    }
    if (outcome == Outcome::Written) {
        result.verdict = Verdict::Written;
        result.firmwareAfter = carriedVersion(device, package);
    } else if (outcome == Outcome::Verified && exitCode == exitcode::kDone) {
        result.verdict = check ? Verdict::Verified : Verdict::AlreadyCurrent;
        result.firmwareAfter = result.firmwareBefore;
    } else {
        result.verdict = Verdict::Failed;
    }
    return result;
}

} // namespace orvexa
