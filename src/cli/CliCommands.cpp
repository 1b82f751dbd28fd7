#include "cli/CliCommands.h"

#include "app/ExitCodes.h"
#include "app/FilePortMemory.h"
#include "app/UpgradeDialog.h"
#include "cli/EventLog.h"
#include "cli/Fleet.h"
#include "cli/Interrupts.h"
#include "cli/ScreenRelay.h"
#include "cli/SessionWindow.h"
#include "cli/Station.h"
#include "cli/SupportBundleCommand.h"
#include "cli/TerminalWindow.h"
#include "cli/VersionReport.h"
#include "serial/ExtraPorts.h"
#include "serial/Platform.h"
#include "serial/PortWatcher.h"
#include "serial/TracingChannel.h"
#include "ui/Controls.h"

#include <fstream>
#include <memory>

namespace orvexa {

namespace {

// The ports the user named with --port, in their order, probed instead of the ports present; the OS's
// advice on ports that cannot be opened still comes from the system's discovery.
// The ports given with --port, in the order given, without repeats.
std::vector<PortInfo> namedPorts(const CliOptions& options) {
    std::vector<PortInfo> named;
    for (const std::string& path : options.ports) {
        appendExtraPorts(named, {namedPort(path)});
    }
    return named;
}

class CliPorts {
public:
    explicit CliPorts(const CliOptions& options) : system_(makePortDiscovery(extraPortsFromEnvironment())) {
        if (!options.ports.empty()) {
            named_ = std::make_unique<FixedPortDiscovery>(namedPorts(options), system_.get());
        }
    }
    PortDiscovery& discovery() { return named_ ? *named_ : *system_; }

private:
    std::unique_ptr<PortDiscovery> system_;
    std::unique_ptr<PortDiscovery> named_;
};

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

} // namespace

int printCarriedInfo(std::FILE* out) {
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::fprintf(out, "Identity:       %s\n", package.identity().c_str());
    std::fprintf(out, "Caption:        %s\n", package.caption().c_str());
    std::fprintf(out, "Image size:     %d bytes\n", package.imageSize());
    if (package.hasImageHeader()) {
        const auto loader = package.bootloaderVersion();
        std::fprintf(out, "Header:         classic, bootloader version %c%c\n", loader[0], loader[1]);
        std::fprintf(out, "Body length:    %u bytes\n", package.bodyLength());
        std::fprintf(out, "Body CRC:       0x%04X\n", package.bodyCrc());
    } else if (package.isUpdateContainer()) {
        std::fprintf(out, "Header:         framed-family UPDATE container\n");
    } else {
        std::fprintf(out, "Header:         none\n");
    }
    const LanguageData languages = LanguageData::carried();
    for (Language language : kLanguages) {
        std::fprintf(out, "%-15s %zu texts\n", (std::string(languageName(language)) + " table:").c_str(),
                     languages.table(language).size());
    }
    std::fprintf(out, "Korean font:    %zu bytes\n", languages.koreanFont.size());
    std::fprintf(out, "Japanese font:  %zu bytes\n", languages.japaneseFont.size());
    return exitcode::kDone;
}

std::vector<PortInfo> namedAndExtraPorts(const CliOptions& options) {
    std::vector<PortInfo> ports = extraPortsFromEnvironment();
    appendExtraPorts(ports, namedPorts(options));
    return ports;
}

int listPorts(const CliOptions& options, std::FILE* out) {
    CliPorts ports(options);
    const std::vector<PortInfo> found = ports.discovery().discoverPorts();
    if (found.empty()) {
        std::fputs("No serial ports found.\n", out);
    }
    for (const PortInfo& port : found) {
        // A path the user named is listed as given, so that a typo shows here rather than as a silent port.
        const ChannelError problem = ports.discovery().nodeProblem(port);
        std::string mark;
        if (problem == ChannelError::NoSuchPort) {
            mark = " (missing)";
        } else if (problem != ChannelError::None) {
            mark = std::string(" (") + channelErrorName(problem) + ")";
        }
        std::fprintf(out, "%-24s %-12s %s%s\n", port.path.c_str(), port.displayName.c_str(),
                     port.detail.c_str(), mark.c_str());
    }
    return exitcode::kDone;
}

namespace {

// What every kind of run opens first: the wire trace when asked for, the channels that write into it, the
// ports to probe and the carried package.
class RunSetup {
public:
    explicit RunSetup(const CliOptions& options)
        : clock(makeSystemClock()), ports(options), package(FirmwarePackage::carried()),
          traceName_(options.traceFile), bundleAsked_(!options.supportBundle.empty()) {}

    // The run's wire trace is kept in memory only for a support bundle that will tell of it.
    RunMemory::Limits memoryLimits() const {
        return bundleAsked_ ? RunMemory::Limits{} : RunMemory::Limits{.traceBytes = 0};
    }

    // False, with the message printed, when the trace file cannot be written.
    bool openTrace(std::FILE* err) {
        if (traceName_.empty()) {
            return true;
        }
        traceFile_.open(traceName_, std::ios::out | std::ios::trunc);
        if (!traceFile_) {
            std::fprintf(err, "orvexa-cli: cannot write the trace file '%s'\n", traceName_.c_str());
            return false;
        }
        trace_ = std::make_unique<WireTrace>(traceFile_, *clock);
        return true;
    }

    // The remembered port of a single run, unless --no-remember; its notes go to the wire trace.
    void rememberPorts(AppContext& app, const CliOptions& options) {
        if (options.noRemember) {
            return;
        }
        app.rememberPortsWith(
            std::make_unique<FilePortMemory>(userSettingsFolder(), [this](const std::string& text) {
                if (trace_) {
                    trace_->event("memory", text);
                }
            }));
    }

    std::unique_ptr<SerialChannel> channel(const std::string& label) {
        std::unique_ptr<SerialChannel> system = makeSerialChannel();
        if (!trace_) {
            return system;
        }
        return std::make_unique<TracingChannel>(std::move(system), *trace_, label);
    }

    std::unique_ptr<Clock> clock;
    CliPorts ports;
    FirmwarePackage package;

private:
    std::string traceName_;
    bool bundleAsked_;
    std::ofstream traceFile_;
    std::unique_ptr<WireTrace> trace_;
};

// A fleet worker on this machine: a clock of its own, and channels that name their port in the trace.
class SystemWorker : public WorkerPlatform {
public:
    explicit SystemWorker(RunSetup& setup) : setup_(setup), clock_(makeSystemClock()) {}
    Clock& clock() override { return *clock_; }
    std::unique_ptr<SerialChannel> makeChannel(const PortInfo& port, const char* role) override {
        return setup_.channel(std::string(role) + " " + port.displayName);
    }

private:
    RunSetup& setup_;
    std::unique_ptr<Clock> clock_;
};

// The session of a single run, set up as the dialog sets itself up, with the front end's own settings.
void startSession(UpgradeDialog& dialog, DialogWindow& window, StepContext& steps, const CliOptions& options,
                  Interruption& interruption) {
    steps.stopAfterVerification = options.check;
    steps.endWhenNoPortAnswered = true;
    steps.interruption = &interruption;
    dialog.initDialog();
    window.setChecked(control::kSilentMode, options.silent);
    if (options.fonts) {
        window.setChecked(control::kDownloadFont, true);
    }
}

// With Silent mode the steps chain themselves; without it they run one after another here, each only when
// the one before reached its goal.
template <class Window>
void runSteps(UpgradeDialog& dialog, const Window& window, const StepContext& steps,
              const CliOptions& options) {
    dialog.step1();
    if (!options.silent && steps.outcome == Outcome::PortOpened) {
        dialog.step2();
        if (steps.outcome == Outcome::Verified && !options.check && !window.exitRequest()) {
            dialog.step3();
        }
    }
}

// Step 2 ends the process with 0 on a wrong framed-family package: for a script that is a refusal.
template <class Window> int exitCodeOf(const Window& window, const StepContext& steps, bool check) {
    return window.exitRequest() ? exitcode::kNotDone : exitCodeFor(steps.outcome, check);
}

int runJsonWorkflow(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err) {
    Interruption interruption;
    InterruptResponse interruptResponse(interruption);
    InterruptHandlers interruptHandlers(interruptResponse);
    EventLog events(out, *setup.clock);
    events.runStart(ORVEXA_VERSION, setup.package.identity(), false);
    const std::uint32_t startTickMs = setup.clock->tickMs();

    ForwardingObserver forward;
    SessionWindow window(*setup.clock, setup.package.imageSize(), options.yes, forward);
    AppContext app(
        window, *setup.clock, setup.ports.discovery(), setup.channel("main"),
        [&setup] { return setup.channel("probe"); }, setup.package, LanguageData::carried(),
        setup.memoryLimits());
    EventLogObserver observer(events, app.records());
    forward.to = &observer;
    setup.rememberPorts(app, options);
    UpgradeDialog dialog(app);
    StepContext& steps = app.steps();
    startSession(dialog, window, steps, options, interruption);
    runSteps(dialog, window, steps, options);
    observer.flushProbes();

    const int exitCode = exitCodeOf(window, steps, options.check);
    const PortInfo port = steps.outcome == Outcome::PortNotFound ? PortInfo{} : app.records().selectedPort;
    ScannerResult result =
        sessionResult(port, app.records(), steps.outcome, exitCode, options.check, app.package());
    if (result.verdict == ScannerResult::Verdict::Failed) {
        result.why = window.why();
    }
    result.elapsedMs = setup.clock->tickMs() - startTickMs;
    events.result(result);
    events.runEnd(exitCode, {});
    writeRunBundle(options, setup.ports.discovery(), setup.package, &app.runMemory(), out, err);
    return exitCode;
}

FleetBoard::Display displayFor(const CliOptions& options, std::FILE* err) {
    if (options.json) {
        return FleetBoard::Display::None;
    }
    return ScreenRelay::isTerminal(err) ? FleetBoard::Display::LiveTable : FleetBoard::Display::PlainLines;
}

// With --json, the events of a fleet or a station, begun.
std::unique_ptr<EventLog> fleetEvents(const CliOptions& options, RunSetup& setup, std::FILE* out) {
    if (!options.json) {
        return nullptr;
    }
    auto events = std::make_unique<EventLog>(out, *setup.clock);
    events->runStart(ORVEXA_VERSION, setup.package.identity(), true);
    return events;
}

FleetSettings fleetSettings(const CliOptions& options) {
    FleetSettings settings;
    settings.check = options.check;
    settings.force = options.force;
    settings.fonts = options.fonts;
    settings.answerYes = options.yes;
    return settings;
}

// The closing table, and for scanners stopped mid-transfer the way back.
void printSummary(const std::vector<ScannerResult>& results, std::FILE* out) {
    const int columns = ScreenRelay::isTerminal(out) ? terminalColumns(out) : 0;
    for (const std::string& line : summaryLines(results, columns > 0 ? columns - 1 : 0)) {
        std::fprintf(out, "%s\n", line.c_str());
    }
    for (const ScannerResult& result : results) {
        if (result.exitCode == exitcode::kInterrupted) {
            for (const char* line : kStoppedMidTransferLines) {
                std::fprintf(out, "%s\n", line);
            }
            break;
        }
    }
}

int runFleet(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err) {
    const std::unique_ptr<EventLog> events = fleetEvents(options, setup, out);
    const FleetBoard::Display display = displayFor(options, err);
    FleetBoard board(err, display, [err] { return terminalColumns(err); });
    FleetRun fleet(
        setup.ports.discovery().discoverPorts(), fleetSettings(options),
        [&setup] { return std::make_unique<SystemWorker>(setup); }, setup.package, &setup.ports.discovery(),
        board, events.get());
    InterruptResponse interruptResponse(fleet.interruptions());
    if (display == FleetBoard::Display::LiveTable) {
        interruptResponse.setQuiet(true);
        board.setFooter([&interruptResponse] { return std::string(interruptResponse.lastText()); });
    }
    InterruptHandlers interruptHandlers(interruptResponse);

    const std::vector<ScannerResult> results = fleet.run();
    const int exitCode = fleetExitCode(results);
    if (events) {
        events->runEnd(exitCode, results);
        return exitCode;
    }
    if (results.empty()) {
        std::fputs("No serial port found: name one with --port PATH (or in ORVEXA_EXTRA_PORTS).\n", out);
    }
    printSummary(results, out);
    return exitCode;
}

// The station's first Ctrl-C: no new port is looked at, and what runs goes on.
constexpr const char* kStopWatchingText =
    "\nNo new ports are watched now; the transfers under way finish. Ctrl-C again stops them.\n";
// How often the station looks at the ports when the OS gives no notice, and at the running transfers
// once it stopped watching.
constexpr std::uint32_t kRescanMs = 1000;
constexpr std::uint32_t kLeftCheckMs = 200;

int runStation(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err) {
    const std::unique_ptr<EventLog> events = fleetEvents(options, setup, out);
    const FleetBoard::Display display = displayFor(options, err);
    FleetBoard board(err, display, [err] { return terminalColumns(err); });
    Station station(
        setup.ports.discovery(), fleetSettings(options),
        [&setup] { return std::make_unique<SystemWorker>(setup); }, setup.package, &setup.ports.discovery(),
        board, events.get());

    // Every Ctrl-C means something here, whether a transfer runs or not: the first ends the watching, the
    // second stops the transfers.
    Interruption watching;
    watching.writing = true;
    InterruptResponse interruptResponse(watching);
    interruptResponse.setWarnText(kStopWatchingText);
    if (display == FleetBoard::Display::LiveTable) {
        interruptResponse.setQuiet(true);
        board.setFooter([&interruptResponse, &station] {
            if (!interruptResponse.watchEnded()) {
                return "Watching for scanners (" + station.tally() + "). Ctrl-C ends the watch.";
            }
            return std::string(interruptResponse.lastText()) + "\n" + std::to_string(station.running()) +
                   " transfer(s) left.";
        });
    }
    InterruptHandlers interruptHandlers(interruptResponse);

    const std::unique_ptr<PortWatcher> watcher = makePortWatcher();
    while (!interruptResponse.watchEnded() && !watching.stopRequested) {
        station.rescan();
        watcher->waitForChange(kRescanMs);
    }
    if (display != FleetBoard::Display::LiveTable && station.running() > 0) {
        std::fprintf(err, "%zu transfer(s) left.\n", station.running());
    }
    while (station.running() > 0) {
        if (watching.stopRequested) {
            station.stopTransfers();
        }
        setup.clock->sleepMs(kLeftCheckMs);
    }
    const std::vector<ScannerResult> results = station.finish();
    const std::vector<std::string> stopped = station.stoppedMidTransfer();
    bool anyScanner = false;
    for (const ScannerResult& result : results) {
        anyScanner = anyScanner || result.verdict != ScannerResult::Verdict::NoScanner;
    }
    // A station that saw no scanner did nothing wrong.
    const int exitCode = anyScanner ? fleetExitCode(results) : exitcode::kDone;
    if (events) {
        events->runEnd(exitCode, results);
        return exitCode;
    }
    printSummary(results, out);
    if (!stopped.empty()) {
        std::string names;
        for (const std::string& name : stopped) {
            names += (names.empty() ? "" : ", ") + name;
        }
        std::fprintf(out, "Left mid-transfer: %s.\n", names.c_str());
    }
    return exitCode;
}

} // namespace

int supportBundleAlone(const CliOptions& options, std::FILE* out, std::FILE* err) {
    CliPorts ports(options);
    return writeRunBundle(options, ports.discovery(), FirmwarePackage::carried(), nullptr, out, err)
               ? exitcode::kDone
               : exitcode::kNotDone;
}

int runWorkflow(const CliOptions& options, std::FILE* out, std::FILE* err, std::FILE* in) {
    RunSetup setup(options);
    if (!setup.openTrace(err)) {
        return exitcode::kUsage;
    }
    if (options.all || options.watch) {
        const int exitCode =
            options.all ? runFleet(options, setup, out, err) : runStation(options, setup, out, err);
        writeRunBundle(options, setup.ports.discovery(), setup.package, nullptr, out, err);
        return exitCode;
    }
    if (options.json) {
        return runJsonWorkflow(options, setup, out, err);
    }
    Interruption interruption;
    InterruptResponse interruptResponse(interruption);
    InterruptHandlers interruptHandlers(interruptResponse);
    TerminalWindow::Settings settings;
    settings.answerYes = options.yes;
    settings.askOnTerminal = ScreenRelay::isTerminal(in);
    settings.liveProgress = ScreenRelay::isTerminal(err);
    settings.echoAnswers = !ScreenRelay::isTerminal(out);
    settings.imageBytes = setup.package.imageSize();
    settings.columns = [err] { return terminalColumns(err); };
    TerminalWindow window(out, err, in, *setup.clock, settings);

    AppContext app(
        window, *setup.clock, setup.ports.discovery(), setup.channel("main"),
        [&setup] { return setup.channel("probe"); }, setup.package, LanguageData::carried(),
        setup.memoryLimits());
    setup.rememberPorts(app, options);
    StepContext& steps = app.steps();
    steps.beforeWriting = [&window, &steps] {
        window.note(versionReport(steps.records.deviceInfo, steps.package));
    };
    UpgradeDialog dialog(app);
    startSession(dialog, window, steps, options, interruption);
    runSteps(dialog, window, steps, options);
    if (steps.outcome == Outcome::PortNotFound) {
        reportNoAnswer(window, app.records());
    }
    if (steps.outcome == Outcome::Interrupted) {
        for (const char* line : kStoppedMidTransferLines) {
            window.note(line);
        }
    }
    writeRunBundle(options, setup.ports.discovery(), setup.package, &app.runMemory(), out, err);
    return exitCodeOf(window, steps, options.check);
}

} // namespace orvexa
