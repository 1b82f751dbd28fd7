#include "cli/Station.h"

#include "app/ExitCodes.h"

namespace orvexa {

Station::Station(PortDiscovery& discovery, FleetSettings settings, WorkerPlatformFactory platforms,
                 const FirmwarePackage& package, const PortDiscovery* hints, FleetBoard& board,
                 EventLog* events)
    : discovery_(discovery), platforms_(std::move(platforms)), board_(board),
      sessions_(settings, package, hints, board, events) {
    board_.start({});
}

Station::~Station() {
    stopTransfers();
    finish();
}

bool Station::deviceBusy(const PortInfo& port) const {
    if (port.deviceAddress.empty()) {
        return false;
    }
    for (const Worker& worker : workers_) {
        if (!worker.done && worker.port.deviceAddress == port.deviceAddress) {
            return true;
        }
    }
    return false;
}

void Station::rescan() {
    const std::vector<PortInfo> ports = discovery_.discoverPorts();
    std::set<std::string> now;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const PortInfo& port : ports) {
        if (discovery_.nodeProblem(port) == ChannelError::NoSuchPort) {
            continue; // a port named by the user that is not there (yet): it may appear later
        }
        now.insert(port.path);
        if (present_.count(port.path) > 0 || stopping_) {
            continue;
        }
        if (deviceBusy(port)) {
            continue; // not marked present: the next look tries it, once that device's worker is done
        }
        present_.insert(port.path);
        Worker& worker = workers_.emplace_back();
        worker.port = port;
        worker.row = board_.addRow(port);
        worker.thread = std::thread([this, &worker] {
            const std::unique_ptr<WorkerPlatform> platform = platforms_();
            worker.result = sessions_.run(worker.port, worker.row, *platform, worker.interruption);
            worker.done = true;
        });
    }
    // A port that went away is forgotten: when it comes back, it is a new port.
    for (auto it = present_.begin(); it != present_.end();) {
        it = now.count(*it) > 0 ? std::next(it) : present_.erase(it);
    }
}

void Station::watch(PortWatcher& watcher, const std::function<bool()>& stopWatching,
                    const Interruption& asked) {
    while (!stopWatching() && !asked.stopRequested) {
        rescan();
        watcher.waitForChange(kRescanMs);
    }
}

void Station::waitForTransfers(Clock& clock, const Interruption& asked) {
    while (running() > 0) {
        if (asked.stopRequested) {
            stopTransfers();
        }
        clock.sleepMs(kLeftCheckMs);
    }
}

std::size_t Station::running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t count = 0;
    for (const Worker& worker : workers_) {
        count += worker.done ? 0 : 1;
    }
    return count;
}

std::string Station::tally() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t done = 0;
    std::size_t running = 0;
    std::size_t failed = 0;
    for (const Worker& worker : workers_) {
        if (!worker.done) {
            ++running;
        } else if (worker.result.verdict == ScannerResult::Verdict::Failed) {
            ++failed;
        } else if (worker.result.verdict != ScannerResult::Verdict::NoScanner) {
            ++done;
        }
    }
    return std::to_string(done) + " done, " + std::to_string(running) + " in progress, " +
           std::to_string(failed) + " failed";
}

void Station::stopTransfers() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (Worker& worker : workers_) {
        worker.interruption.stopRequested = true;
    }
}

std::vector<ScannerResult> Station::finish() {
    std::vector<ScannerResult> results;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (Worker& worker : workers_) {
            if (worker.thread.joinable()) {
                worker.thread.join();
            }
            results.push_back(worker.result);
        }
    }
    // The board's last redraw asks how many run: not while the lock is held.
    board_.finish();
    return results;
}

std::vector<std::string> Station::stoppedMidTransfer() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> ports;
    for (const Worker& worker : workers_) {
        if (worker.done && worker.result.exitCode == exitcode::kInterrupted) {
            ports.push_back(worker.port.displayName);
        }
    }
    return ports;
}

} // namespace orvexa
