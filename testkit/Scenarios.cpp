#include "Scenarios.h"

#include "ScannerSession.h"
#include "TestContainer.h"

#include "steps/Steps.h"
#include "ui/Controls.h"

#include <stdexcept>

namespace orvexa::bench {

namespace {

FirmwarePackage packageFor(Scenario scenario) {
    if (infoOf(scenario).family == ScannerFamily::Framed) {
        return FirmwarePackage("M500_200_TEST", testContainer());
    }
    return FirmwarePackage::carried();
}

} // namespace

const std::vector<ScenarioInfo>& allScenarios() {
    static const std::vector<ScenarioInfo> scenarios{
        {Scenario::Step1, "Step 1, scanner on one port", Flow::Probe, ScannerFamily::Classic,
         Outcome::PortOpened},
        {Scenario::Step2, "Step 2, classic", Flow::Classic, ScannerFamily::Classic, Outcome::Verified},
        {Scenario::Step3, "Step 3, classic", Flow::Classic, ScannerFamily::Classic, Outcome::Written},
        {Scenario::Step3Fonts, "Step 3, classic, pages+fonts", Flow::Classic, ScannerFamily::Classic,
         Outcome::Written},
        {Scenario::Framed1024, "Framed download, 1024", Flow::Framed, ScannerFamily::Framed,
         Outcome::Written},
        {Scenario::Framed512, "Framed download, 512", Flow::Framed, ScannerFamily::Framed, Outcome::Written},
    };
    return scenarios;
}

const ScenarioInfo& infoOf(Scenario scenario) {
    for (const ScenarioInfo& info : allScenarios()) {
        if (info.scenario == scenario) {
            return info;
        }
    }
    throw std::logic_error("unknown scenario");
}

ScenarioRun::ScenarioRun(Scenario scenario, SerialChannel& channel, Clock& clock,
                         ChannelFactory probeChannels, std::vector<std::string> ports)
    : scenario_(scenario), discovery_(std::move(ports)), package_(packageFor(scenario)),
      ctx_{window,  channel, clock, discovery_, std::move(probeChannels), package_, carriedLanguages(),
           records_} {
    const ScannerPersonality personality = infoOf(scenario).family == ScannerFamily::Framed
                                               ? ScannerPersonality::framed()
                                               : ScannerPersonality{};
    asAfterStep2(records_, personality, scenario == Scenario::Framed512 ? 512 : 1024);
    ctx_.stopAfterVerification = true;
    ctx_.endWhenNoPortAnswered = true;
    // Silent mode skips the readiness questions of Steps 1 and 3; the steps are run one at a time here,
    // so Step 1 and Step 2 must not chain on.
    window.setChecked(control::kSilentMode, scenario == Scenario::Step3 || scenario == Scenario::Step3Fonts ||
                                                scenario == Scenario::Framed1024 ||
                                                scenario == Scenario::Framed512);
    if (scenario == Scenario::Step1) {
        window.answer({kIdYes});
    }
    if (scenario == Scenario::Step3Fonts) {
        window.askForFonts();
    }
}

Outcome ScenarioRun::run() {
    switch (scenario_) {
    case Scenario::Step1:
        portSelection(ctx_);
        break;
    case Scenario::Step2:
        verifyDevice(ctx_);
        break;
    default:
        firmwareDownload(ctx_);
        break;
    }
    return ctx_.outcome;
}

} // namespace orvexa::bench
