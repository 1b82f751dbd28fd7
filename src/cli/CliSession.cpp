#include "cli/CliSession.h"

#include "app/ExitCodes.h"
#include "ui/Controls.h"

namespace orvexa {

CliSession::CliSession(DialogWindow& window, std::function<bool()> exitRequested, Ground ground,
                       const FirmwarePackage& package, RunMemory::Limits limits)
    : window_(window), exitRequested_(std::move(exitRequested)),
      app_(
          window, ground.clock, ground.discovery, ground.channel("main"),
          [channel = ground.channel] { return channel("probe"); }, package, LanguageData::carried(), limits),
      dialog_(app_) {}

void CliSession::start(const Settings& settings, Interruption& interruption) {
    settings_ = settings;
    StepContext& steps = app_.steps();
    steps.stopAfterVerification = settings.stopAfterVerification;
    steps.endWhenNoPortAnswered = true;
    steps.interruption = &interruption;
    dialog_.initDialog();
    window_.setChecked(control::kSilentMode, settings.silent);
    if (settings.fonts) {
        window_.setChecked(control::kDownloadFont, true);
    }
}

void CliSession::runSteps() {
    const StepContext& steps = app_.steps();
    dialog_.step1();
    if (!settings_.silent && steps.outcome == Outcome::PortOpened) {
        dialog_.step2();
        if (steps.outcome == Outcome::Verified && !settings_.stopAfterVerification && !exitRequested_()) {
            dialog_.step3();
        }
    }
}

int CliSession::exitCode() {
    return exitRequested_() ? exitcode::kNotDone
                            : exitCodeFor(app_.steps().outcome, settings_.stopAfterVerification);
}

} // namespace orvexa
