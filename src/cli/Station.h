// orvexa-cli --watch: a station that stays running and upgrades each scanner whose port appears, on the
// same sessions as a fleet. Each look at the ports (on a notice from the OS, or at most once a second)
// starts a worker for every port that was not there at the last look; a port that goes away is forgotten,
// so that it is probed again when it comes back. A scanner restarts after its upgrade and its port may
// vanish and return: Step 2 then finds it already current and it is shown as done, not written again.
// A port where nothing answered is probed again only when it reappears.
#pragma once

#include "cli/Fleet.h"
#include "serial/PortWatcher.h"

#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace orvexa {

// How long the station waits for the OS's notice before it looks at the ports anyway, and how often it
// looks at the running transfers once it stopped watching.
inline constexpr std::uint32_t kRescanMs = 1000;
inline constexpr std::uint32_t kLeftCheckMs = 200;

class Station {
public:
    Station(PortDiscovery& discovery, FleetSettings settings, WorkerPlatformFactory platforms,
            const FirmwarePackage& package, const PortDiscovery* hints, FleetBoard& board, EventLog* events);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Looks at the ports, then waits for the watcher's next notice, again and again until stopWatching()
    // says so (the first Ctrl-C) or a stop of the transfers is asked (the second, or SIGTERM).
    void watch(PortWatcher& watcher, const std::function<bool()>& stopWatching, const Interruption& asked);
    // Then waits for the transfers under way, looking every kLeftCheckMs; a stop asked meanwhile reaches
    // each of them.
    void waitForTransfers(Clock& clock, const Interruption& asked);

    // One look at the ports: a worker for each new one. Ports of one Bluetooth device wait while a worker
    // serves that device, and are looked at again next time.
    void rescan();
    // The workers still running.
    std::size_t running() const;
    // The day so far, for the table's last line: "3 done, 1 in progress, 0 failed".
    std::string tally() const;
    // The second Ctrl-C: every transfer stops after the frame or chunk under way.
    void stopTransfers();
    // Waits for every worker; then every session's result, in the order the ports came.
    std::vector<ScannerResult> finish();
    // The ports whose transfer was stopped part way: their scanners wait in their bootloader.
    std::vector<std::string> stoppedMidTransfer() const;

private:
    struct Worker {
        PortInfo port;
        std::size_t row = 0;
        Interruption interruption;
        ScannerResult result;
        std::atomic<bool> done{false};
        std::thread thread;
    };

    bool deviceBusy(const PortInfo& port) const;

    PortDiscovery& discovery_;
    WorkerPlatformFactory platforms_;
    FleetBoard& board_;
    SessionRunner sessions_;
    std::set<std::string> present_; // the ports seen at the last look, by path
    std::deque<Worker> workers_;    // never moved: the threads hold their worker
    mutable std::mutex mutex_;
    bool stopping_ = false;
};

} // namespace orvexa
