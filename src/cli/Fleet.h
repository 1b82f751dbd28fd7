// orvexa-cli --all: every port at once, one scanner session per port, each in a worker of its own with its
// own channel, records, device record and window, on the same step code as a single run. Ports that reach
// one Bluetooth device (the same address) share a worker and are tried one after another, so that a
// scanner is never written through two ports at once; the first port where it answers is the one used.
//
// A worker stops its session after Step 2 and decides: with --check that is the end; a scanner that
// already runs the carried firmware is left as it is unless --force; any other goes on to Step 3.
#pragma once

#include "cli/EventLog.h"
#include "cli/FleetBoard.h"
#include "cli/RunFirmware.h"
#include "firmware/FirmwarePackage.h"
#include "serial/Clock.h"
#include "serial/PortDiscovery.h"
#include "serial/SerialChannel.h"
#include "steps/StepContext.h"

#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace orvexa {

struct FleetSettings {
    bool check = false;    // --check: stop after Step 2
    bool force = false;    // --force: write a scanner that already runs the carried firmware
    bool fonts = false;    // --fonts
    bool answerYes = true; // --yes
    // --firmware: the catalogue each session chooses from, and the names the results give.
    const RunFirmware* firmware = nullptr;
};

// What one worker runs on: its clock and a line to each of its ports. The real one is the system's clock
// and serial ports; tests give each worker a virtual clock and simulated scanners.
class WorkerPlatform {
public:
    virtual ~WorkerPlatform() = default;
    virtual Clock& clock() = 0;
    virtual std::unique_ptr<SerialChannel> makeChannel(const PortInfo& port, const char* role) = 0;
};
using WorkerPlatformFactory = std::function<std::unique_ptr<WorkerPlatform>()>;

// The ports in groups, one per worker: a port whose device address is known goes with the other ports of
// that device, in their order; every other port is a group of its own.
std::vector<std::vector<std::size_t>> groupByDevice(const std::vector<PortInfo>& ports);

// The fleet's exit code: 0 when every scanner found ended well (written, verified with --check, already
// current); otherwise the worst of the others in the order 130, 3, 1, 4; 1 when no scanner answered.
int fleetExitCode(const std::vector<ScannerResult>& results);

// One scanner session on one port, as a worker of a fleet or a station runs it: Steps 1 and 2, then the
// decision, then Step 3 where it is due; its row shows each stage and, with --json, its events are logged.
class SessionRunner {
public:
    SessionRunner(FleetSettings settings, const FirmwarePackage& package, const PortDiscovery* hints,
                  FleetBoard& board, EventLog* events)
        : settings_(settings), package_(package), hints_(hints), board_(board), events_(events) {}

    ScannerResult run(const PortInfo& port, std::size_t row, WorkerPlatform& platform,
                      Interruption& interruption);

private:
    FleetSettings settings_;
    const FirmwarePackage& package_;
    const PortDiscovery* hints_;
    FleetBoard& board_;
    EventLog* events_;
};

class FleetRun {
public:
    // events: nullptr unless --json. hints: the OS's advice on ports that cannot be opened.
    FleetRun(std::vector<PortInfo> ports, FleetSettings settings, WorkerPlatformFactory platforms,
             const FirmwarePackage& package, const PortDiscovery* hints, FleetBoard& board, EventLog* events);

    // One per worker, there before the run, so that Ctrl-C can reach every transfer.
    std::span<Interruption> interruptions() { return {interruptions_.get(), groups_.size()}; }

    // Runs every worker to its end; one row per port, in the order of the ports.
    std::vector<ScannerResult> run();

private:
    void runGroup(std::size_t group);

    std::vector<PortInfo> ports_;
    WorkerPlatformFactory platforms_;
    FleetBoard& board_;
    EventLog* events_;
    SessionRunner sessions_;
    std::vector<std::vector<std::size_t>> groups_;
    std::unique_ptr<Interruption[]> interruptions_;
    std::vector<ScannerResult> results_; // each worker writes only its own rows
};

} // namespace orvexa
