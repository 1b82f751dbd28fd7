// A desk of simulated scanners for fleet and station scenarios on the virtual clock: each port reaches a
// scanner of its own, nothing, or (Bluetooth) the scanner of another; each worker gets a virtual clock of
// its own, as on a real machine each has its own line. Ports may come and go, as a station sees them.
#pragma once

#include "Faults.h"
#include "ScannerSession.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "SimulatedScanner.h"
#include "VirtualClock.h"

#include "cli/Fleet.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvexa {

using Verdict = ScannerResult::Verdict;

// Already running the carried M307_200_A7UG.
inline ScannerPersonality runningCarried() {
    return scannerWith([](auto& p) { p.versionText = "3.07_200_A7UG"; });
}

// How often a scanner was written: each upgrade ends with one closing ('R') frame.
inline long timesWritten(const SimulatedScanner& scanner) {
    const auto& frames = scanner.record().frames;
    return std::count_if(frames.begin(), frames.end(), [](const auto& frame) { return frame.kind == 'R'; });
}

// The ports of a desk: each reaches a scanner of its own, nothing, or (Bluetooth) the scanner of another.
class FleetDesk : public PortDiscovery {
public:
    SimulatedScanner& scanner(const std::string& port, ScannerPersonality personality = {},
                              ScannerFaults faults = {}, const std::string& address = {}) {
        scanners_.push_back(std::make_unique<SimulatedScanner>(std::move(personality), std::move(faults)));
        add(port, scanners_.back().get(), address);
        return *scanners_.back();
    }
    void silentPort(const std::string& port, const std::string& address = {}) { add(port, nullptr, address); }
    // A second port of the same Bluetooth device, reaching the scanner of `of`.
    void secondPort(const std::string& port, const std::string& of, const std::string& address) {
        add(port, scannerOn_.at(of), address);
    }

    // The ports present now, as a station looks at them.
    std::vector<PortInfo> discoverPorts() override {
        std::vector<PortInfo> present;
        std::copy_if(ports_.begin(), ports_.end(), std::back_inserter(present),
                     [this](const PortInfo& port) { return !gone_.count(port.path); });
        return present;
    }
    void unplug(const std::string& port) { gone_[port] = true; }
    void plugIn(const std::string& port) { gone_.erase(port); }

    WorkerPlatformFactory platforms() {
        return [this] { return std::make_unique<Worker>(scannerOn_, latestUs_); };
    }
    const FirmwarePackage& package() const { return package_; }

    std::vector<ScannerResult> run(FleetSettings settings = {}, std::FILE* json = nullptr) {
        FleetBoard board(stderr, FleetBoard::Display::None);
        VirtualClock eventClock;
        std::unique_ptr<EventLog> events = json ? std::make_unique<EventLog>(json, eventClock) : nullptr;
        FleetRun fleet(ports_, settings, platforms(), package_, nullptr, board, events.get());
        results = fleet.run();
        return results;
    }
    int exitCode() const { return fleetExitCode(results); }

    std::vector<ScannerResult> results;

private:
    // A worker's clock and lines; a port without a scanner is a silent port of the worker's own hub.
    // A worker's clock starts where the last worker's ended: a scanner that a later worker meets again
    // (a station's port that came back) has its own sense of time, which must not run backwards.
    class Worker : public WorkerPlatform {
    public:
        Worker(const std::map<std::string, SimulatedScanner*>& scanners, std::atomic<std::uint64_t>& latestUs)
            : scanners_(scanners), latestUs_(latestUs) {
            clock_.advanceToUs(latestUs_.load());
        }
        ~Worker() override {
            std::uint64_t seen = latestUs_.load();
            while (seen < clock_.nowUs() && !latestUs_.compare_exchange_weak(seen, clock_.nowUs())) {
            }
        }
        Worker(const Worker&) = delete;
        Worker& operator=(const Worker&) = delete;
        Clock& clock() override { return clock_; }
        std::unique_ptr<SerialChannel> makeChannel(const PortInfo& port, const char*) override {
            if (SimulatedScanner* scanner = scanners_.at(port.path)) {
                return std::make_unique<SimulatedChannel>(clock_, *scanner);
            }
            hub_.addSilentPort(port.path);
            return std::make_unique<SimulatedChannel>(clock_, hub_);
        }

    private:
        const std::map<std::string, SimulatedScanner*>& scanners_;
        std::atomic<std::uint64_t>& latestUs_;
        VirtualClock clock_;
        SimulatedPortHub hub_;
    };

    void add(const std::string& port, SimulatedScanner* scanner, const std::string& address) {
        ports_.push_back(PortInfo{port, port.substr(port.rfind('/') + 1), "", address});
        scannerOn_[port] = scanner;
    }

    FirmwarePackage package_ = FirmwarePackage::carried();
    std::vector<std::unique_ptr<SimulatedScanner>> scanners_;
    std::map<std::string, SimulatedScanner*> scannerOn_;
    std::vector<PortInfo> ports_;
    std::map<std::string, bool> gone_;
    std::atomic<std::uint64_t> latestUs_{0};
};

} // namespace orvexa
