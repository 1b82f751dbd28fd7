// One scanner on a direct cable with everything a step works on, on the virtual clock: the simulated
// scanner and its channel, a scripted window (or a test's own kind of it), no ports to discover, the
// package, fresh process records, and the step context over them. Built from named options, so that a
// test says only where it departs from a healthy scanner and the carried firmware.
#pragma once

#include "FakePorts.h"
#include "ScriptedWindow.h"
#include "SimulatedChannel.h"
#include "SimulatedScanner.h"
#include "VirtualClock.h"

#include "steps/StepContext.h"

#include <utility>

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

template <class Window = ScriptedWindow> struct ScannerSession {
    explicit ScannerSession(SessionOptions options = {})
        : scanner(std::move(options.personality), std::move(options.faults)),
          package(std::move(options.package)), ctx{window,
                                                   channel,
                                                   clock,
                                                   discovery,
                                                   nullptr,
                                                   package,
                                                   options.languages ? *options.languages
                                                                     : carriedLanguages(),
                                                   records} {}
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

} // namespace orvexa
