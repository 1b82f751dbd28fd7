#include "app/ExitCodes.h"
#include "cli/FleetCommand.h"
#include "cli/Interrupts.h"
#include "cli/ScreenRelay.h"
#include "cli/Station.h"

namespace orvexa {

namespace {

// The station's first Ctrl-C: no new port is looked at, and what runs goes on.
constexpr const char* kStopWatchingText =
    "\nNo new ports are watched now; the transfers under way finish. Ctrl-C again stops them.\n";
} // namespace

int runStation(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err) {
    const std::unique_ptr<EventLog> events = fleetEvents(options, setup, out);
    const FleetBoard::Display display = displayFor(options, err);
    FleetBoard board(err, display, [err] { return terminalColumns(err); });
    Station station(setup.ports.discovery(), fleetSettings(options, setup.firmware), systemWorkers(setup),
                    setup.firmware.package(), &setup.ports.discovery(), board, events.get());

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

    const std::unique_ptr<PortWatcher> watcher = makePortWatcher(*setup.clock);
    station.watch(
        *watcher, [&interruptResponse] { return interruptResponse.watchEnded(); }, watching);
    if (display != FleetBoard::Display::LiveTable && station.running() > 0) {
        std::fprintf(err, "%zu transfer(s) left.\n", station.running());
    }
    station.waitForTransfers(*setup.clock, watching);
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

} // namespace orvexa
