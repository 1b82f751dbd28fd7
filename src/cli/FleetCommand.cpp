#include "cli/FleetCommand.h"

#include "app/ExitCodes.h"
#include "cli/Interrupts.h"
#include "cli/ScreenRelay.h"
#include "serial/Platform.h"

#include "ProgramVersion.h"

namespace orvexa {

namespace {

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

} // namespace

WorkerPlatformFactory systemWorkers(RunSetup& setup) {
    return [&setup] { return std::make_unique<SystemWorker>(setup); };
}

FleetBoard::Display displayFor(const CliOptions& options, std::FILE* err) {
    if (options.json) {
        return FleetBoard::Display::None;
    }
    return ScreenRelay::isTerminal(err) ? FleetBoard::Display::LiveTable : FleetBoard::Display::PlainLines;
}

std::unique_ptr<EventLog> fleetEvents(const CliOptions& options, RunSetup& setup, std::FILE* out) {
    if (!options.json) {
        return nullptr;
    }
    auto events = std::make_unique<EventLog>(out, *setup.clock);
    events->runStart(kProgramVersion, setup.firmware.package().identity(), true);
    return events;
}

FleetSettings fleetSettings(const CliOptions& options, const RunFirmware& firmware) {
    FleetSettings settings;
    settings.check = options.check;
    settings.force = options.force;
    settings.fonts = options.fonts;
    settings.answerYes = options.yes;
    settings.firmware = &firmware;
    return settings;
}

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
    FleetRun fleet(setup.ports.discovery().discoverPorts(), fleetSettings(options, setup.firmware),
                   systemWorkers(setup), setup.firmware.package(), &setup.ports.discovery(), board,
                   events.get());
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

} // namespace orvexa
