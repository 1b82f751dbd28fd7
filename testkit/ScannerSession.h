// One scanner on a direct cable with everything a step works on, on the virtual clock: the simulated
// scanner and its channel, a scripted window (or a test's own kind of it), no ports to discover, the
// package, fresh process records, and the step context over them. Built from named options, so that a
// test says only where it departs from a healthy scanner and the carried firmware. HubSession is the
// same for the runs that start at Step 1.
#pragma once

#include "FakePorts.h"
#include "ScriptedWindow.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "SimulatedScanner.h"
#include "VirtualClock.h"

#include "steps/StepContext.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvexa {

struct SessionOptions {
    ScannerPersonality personality;
    ScannerFaults faults;
    FirmwarePackage package = FirmwarePackage::carried();
    const LanguageData* languages = nullptr; // the carried ones when none are given
};

inline const LanguageData& carriedLanguages() {
    static const LanguageData data = LanguageData::carried();
    return data;
}

inline const LanguageData& languagesOr(const LanguageData* given) {
    return given ? *given : carriedLanguages();
}

template <class Window = ScriptedWindow> struct ScannerSession {
    explicit ScannerSession(SessionOptions options = {})
        : scanner(std::move(options.personality), std::move(options.faults)),
          package(std::move(options.package)),
          ctx{window, channel, clock, discovery, nullptr, package, languagesOr(options.languages), records} {}
    ScannerSession(const ScannerSession&) = delete;
    ScannerSession& operator=(const ScannerSession&) = delete;

    VirtualClock clock;
    SimulatedScanner scanner;
    SimulatedChannel channel{clock, scanner};
    Window window;
    FakePorts discovery;
    FirmwarePackage package;
    ProcessRecords records;
    StepContext ctx;
};

// The same over the simulated port hub, as Step 1 finds a scanner among ports: the test attaches scanners
// and silent ports to the hub, the main channel is on it, and each probe gets a channel of its own there.
struct HubSessionOptions {
    std::vector<std::string> ports; // what discovery lists, in order
    FirmwarePackage package = FirmwarePackage::carried();
    const LanguageData* languages = nullptr; // the carried ones when none are given
};

struct HubSession {
    explicit HubSession(HubSessionOptions options = {})
        : discovery(std::move(options.ports)), package(std::move(options.package)),
          ctx{window, channel, clock, discovery, nullptr, package, languagesOr(options.languages), records} {
        ctx.makeProbeChannel = [this] { return std::make_unique<SimulatedChannel>(clock, hub); };
    }
    HubSession(const HubSession&) = delete;
    HubSession& operator=(const HubSession&) = delete;

    VirtualClock clock;
    SimulatedPortHub hub;
    SimulatedChannel channel{clock, hub};
    ScriptedWindow window;
    FakePorts discovery;
    FirmwarePackage package;
    ProcessRecords records;
    StepContext ctx;
};

} // namespace orvexa
