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

#include "app/ExitCodes.h"
#include "steps/StepContext.h"
#include "ui/Controls.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// A healthy scanner but for what `change` sets: scannerWith([](auto& p) { p.gps = true; }).
template <class Change> ScannerPersonality scannerWith(Change change) {
    ScannerPersonality p;
    change(p);
    return p;
}

inline const LanguageData& carriedLanguages() {
    static const LanguageData data = LanguageData::carried();
    return data;
}

inline const LanguageData& languagesOr(const LanguageData* given) {
    return given ? *given : carriedLanguages();
}

template <std::size_t N> void setText(std::array<char, N>& field, const std::string& text) {
    field.fill('\0');
    std::memcpy(field.data(), text.data(), std::min(N - 1, text.size()));
}

// The records as Step 2 leaves them for a scanner of this personality, verified on the open port.
// Collected texts lose their last byte, which the scanner sends as a terminator.
inline void asAfterStep2(ProcessRecords& records, const ScannerPersonality& p,
                         std::uint32_t framedBlockSize = 1024) {
    DeviceInfo& device = records.deviceInfo;
    setText(device.modelText, p.modelText);
    setText(device.firmwareText, p.family == ScannerFamily::Framed ? p.framedFirmwareText
                                 : p.inBootloader                  ? p.inBootloaderText
                                                                   : p.versionText);
    setText(device.firmwareInfoText, p.infoText);
    setText(device.applicationText, p.framedApplicationText);
    device.itAccepted = p.itAccepted;
    device.fontCapable = p.fontSupport;
    device.framedBlockSize = framedBlockSize;
    records.verifiedOnOpenPort = true;
}

// As "orvexa-cli --silent --yes" runs the steps: no readiness questions, Yes to every other, and an end
// where no port answered instead of the port dialog. cliExitCode is what it would then exit with.
inline void likeSilentYesCli(ScriptedWindow& window, StepContext& ctx) {
    window.setChecked(control::kSilentMode, true);
    window.answer({kIdYes, kIdYes, kIdYes, kIdYes, kIdYes});
    ctx.endWhenNoPortAnswered = true;
}
inline int cliExitCode(const ScriptedWindow& window, const StepContext& ctx) {
    return window.exitCode ? exitcode::kNotDone : exitCodeFor(ctx.outcome, false);
}

// What a step works on besides its clock and channel (which each session keeps in the kind it needs): the
// window, the ports discovery lists, the package, fresh records, and the step context over them all.
template <class Window> struct StepParts {
    StepParts(Clock& clock, SerialChannel& channel, std::vector<std::string> ports, FirmwarePackage firmware,
              const LanguageData* languages, ChannelFactory probeChannels = nullptr)
        : discovery(std::move(ports)), package(std::move(firmware)),
          ctx{window, channel, clock, discovery, std::move(probeChannels), package, languagesOr(languages),
              records} {}
    StepParts(const StepParts&) = delete;
    StepParts& operator=(const StepParts&) = delete;

    Window window;
    FakePorts discovery;
    FirmwarePackage package;
    ProcessRecords records;
    StepContext ctx;
};

template <class Window = ScriptedWindow> struct ScannerSession : StepParts<Window> {
    explicit ScannerSession(SessionOptions options = {})
        : StepParts<Window>(clock, channel, {}, std::move(options.package), options.languages),
          scanner(std::move(options.personality), std::move(options.faults)) {}

    VirtualClock clock;
    SimulatedScanner scanner;
    SimulatedChannel channel{clock, scanner};
};

// The same over the simulated port hub, as Step 1 finds a scanner among ports: the test attaches scanners
// and silent ports to the hub, the main channel is on it, and each probe gets a channel of its own there.
struct HubSessionOptions {
    std::vector<std::string> ports; // what discovery lists, in order
    FirmwarePackage package = FirmwarePackage::carried();
    const LanguageData* languages = nullptr; // the carried ones when none are given
};

struct HubSession : StepParts<ScriptedWindow> {
    explicit HubSession(HubSessionOptions options = {})
        : StepParts(clock, channel, std::move(options.ports), std::move(options.package), options.languages,
                    [this] { return std::make_unique<SimulatedChannel>(clock, hub); }) {}

    VirtualClock clock;
    SimulatedPortHub hub;
    SimulatedChannel channel{clock, hub};
};

// The same over a clock and a channel of a test's own kinds (a real port, a clock that skips its pauses):
// discovery lists the ports given, and each probe gets a fresh channel of the same kind.
template <class ClockT, class ChannelT> struct PortSession : StepParts<ScriptedWindow> {
    PortSession(std::vector<std::string> ports, FirmwarePackage firmware)
        : StepParts(clock, channel, std::move(ports), std::move(firmware), nullptr,
                    [] { return std::make_unique<ChannelT>(); }) {}

    ClockT clock;
    ChannelT channel;
};

} // namespace orvexa
