// A single run: one scanner session on the ports the run probes, shown on the terminal or told as JSON
// events, with the remembered port and, when asked, the support bundle of the run at its end.
#include "app/ExitCodes.h"
#include "cli/EventLog.h"
#include "cli/Interrupts.h"
#include "cli/RunSetup.h"
#include "cli/ScreenRelay.h"
#include "cli/SessionWindow.h"
#include "cli/SupportBundleCommand.h"
#include "cli/TerminalWindow.h"
#include "cli/VersionReport.h"
#include "serial/Platform.h"

#include "ProgramVersion.h"

namespace orvexa {

namespace {

std::string describe(const PortInfo& port) {
    std::string text = port.path;
    if (!port.detail.empty()) {
        text += " (" + port.detail + ")";
    }
    return text;
}

constexpr const char* kAskTheDoctor = "orvexa-cli --doctor tells what on this machine may stand in the way.";

// Where the GUI's port dialog would wait for a manual choice, say what was tried and why nothing answered.
void reportNoAnswer(TerminalWindow& window, const ProcessRecords& records) {
    if (records.probedPorts.empty()) {
        window.note("No serial port found: name one with --port PATH (or in ORVEXA_EXTRA_PORTS).");
        window.note(kAskTheDoctor);
        return;
    }
    window.note("No scanner answered on any port. Ports tried:");
    for (const PortProbe& probe : records.probedPorts) {
        window.note("  " + describe(probe.port) + ": " + probeOutcome(probe));
        if (!probe.hint.empty()) {
            window.note("    " + probe.hint);
        }
    }
    window.note(kAskTheDoctor);
}

CliSession::Settings sessionSettings(const CliOptions& options) {
    return {.silent = options.silent, .stopAfterVerification = options.check, .fonts = options.fonts};
}

int runJson(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err) {
    Interruption interruption;
    InterruptResponse interruptResponse(interruption);
    InterruptHandlers interruptHandlers(interruptResponse);
    EventLog events(out, *setup.clock);
    events.runStart(kProgramVersion, setup.firmware.package().identity(), false);
    const std::uint32_t startTickMs = setup.clock->tickMs();

    ForwardingObserver forward;
    SessionWindow window(*setup.clock, setup.firmware.package().imageSize(), options.yes, forward);
    CliSession session(window, setup.ground(), setup.firmware.package(), setup.memoryLimits());
    setup.firmware.applyTo(session.app());
    EventLogObserver observer(events, session.records());
    forward.to = &observer;
    setup.rememberPorts(session.app(), options);
    StepContext& steps = session.steps();
    steps.beforeWriting = [&window, &steps] { window.setImageBytes(steps.package.imageSize()); };
    session.start(sessionSettings(options), interruption);
    session.runSteps();
    observer.flushProbes();

    const int exitCode = session.exitCode();
    const Outcome outcome = session.steps().outcome;
    const PortInfo port = outcome == Outcome::PortNotFound ? PortInfo{} : session.records().selectedPort;
    ScannerResult result =
        sessionResult(port, session.records(), outcome, exitCode, options.check, session.app().package());
    // One named scanner is written whatever it runs, so a verified one always would be.
    result.wouldWrite = result.verdict == ScannerResult::Verdict::Verified;
    if (result.verdict == ScannerResult::Verdict::Failed) {
        result.why = window.why();
    }
    nameThePackage(result, &setup.firmware, session.records());
    result.elapsedMs = setup.clock->tickMs() - startTickMs;
    events.result(result);
    events.runEnd(exitCode, {});
    writeRunBundle(options, setup.ports.discovery(), setup.firmware.package(), &session.app().runMemory(),
                   out, err);
    return exitCode;
}

int runOnTerminal(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err, std::FILE* in) {
    Interruption interruption;
    InterruptResponse interruptResponse(interruption);
    InterruptHandlers interruptHandlers(interruptResponse);
    TerminalWindow::Settings settings;
    settings.answerYes = options.yes;
    settings.askOnTerminal = ScreenRelay::isTerminal(in);
    settings.liveProgress = ScreenRelay::isTerminal(err);
    settings.echoAnswers = !ScreenRelay::isTerminal(out);
    settings.imageBytes = setup.firmware.package().imageSize();
    settings.columns = [err] { return terminalColumns(err); };
    TerminalWindow window(out, err, in, *setup.clock, settings);

    CliSession session(window, setup.ground(), setup.firmware.package(), setup.memoryLimits());
    setup.firmware.applyTo(session.app());
    setup.rememberPorts(session.app(), options);
    StepContext& steps = session.steps();
    const RunFirmware& firmware = setup.firmware;
    auto packageLine = [&firmware, &steps](const char* verb) {
        const PackageName name = firmware.nameOf(steps.records);
        return std::string(verb) + " " + name.identity + " (sha256 " + name.sha256 + ").";
    };
    steps.beforeWriting = [&window, &steps, &firmware, &packageLine] {
        window.setImageBytes(steps.package.imageSize());
        window.note(versionReport(steps.records.deviceInfo, steps.package));
        if (firmware.named()) {
            window.note(packageLine("Writing"));
        }
    };
    session.start(sessionSettings(options), interruption);
    session.runSteps();
    if (steps.outcome == Outcome::PortNotFound) {
        reportNoAnswer(window, session.records());
    }
    if (options.check && steps.outcome == Outcome::Verified && firmware.named()) {
        window.note(packageLine("Would write"));
    }
    if (steps.outcome == Outcome::Interrupted) {
        for (const char* line : kStoppedMidTransferLines) {
            window.note(line);
        }
    }
    writeRunBundle(options, setup.ports.discovery(), setup.firmware.package(), &session.app().runMemory(),
                   out, err);
    return session.exitCode();
}

} // namespace

int runSingle(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err, std::FILE* in) {
    return options.json ? runJson(options, setup, out, err) : runOnTerminal(options, setup, out, err, in);
}

} // namespace orvexa
