// One scanner session as orvexa-cli runs it, whatever shows it: a terminal (a single run), JSON events (a
// single run with --json) or a row of a fleet or a station. The context and the dialog logic are set up
// as the dialog sets itself up, then with the front end's own settings: Silent mode, the fonts, where the
// chain stops, the interruption that Ctrl-C reaches. What differs between the three is only the window,
// who watches it, and what follows Step 2.
#pragma once

#include "app/AppContext.h"
#include "app/UpgradeDialog.h"

#include <functional>
#include <memory>
#include <optional>

namespace orvexa {

class CliSession {
public:
    // What a session runs on: its clock, the ports Step 1 probes, and a channel for each role ("main",
    // "probe"), which the caller names in its wire trace.
    struct Ground {
        Clock& clock;
        PortDiscovery& discovery;
        std::function<std::unique_ptr<SerialChannel>(const char* role)> channel;
    };
    struct Settings {
        bool silent = false;                // the steps chain themselves
        bool stopAfterVerification = false; // --check, and a fleet's worker, which decides on Step 3 itself
        bool fonts = false;                 // --fonts
    };

    // Window: the session's own window, whose exitRequest() says that a step asked to end the process.
    template <class Window>
    CliSession(Window& window, Ground ground, const FirmwarePackage& package, RunMemory::Limits limits)
        : CliSession(
              window, [&window] { return window.exitRequest().has_value(); }, std::move(ground), package,
              limits) {}
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    AppContext& app() { return app_; }
    StepContext& steps() { return app_.steps(); }
    ProcessRecords& records() { return app_.records(); }
    UpgradeDialog& dialog() { return dialog_; }

    // The dialog's start, then the front end's settings on its controls.
    void start(const Settings& settings, Interruption& interruption);
    // A single run: with Silent mode the steps chain themselves; without it they run one after another
    // here, each only when the one before reached its goal.
    void runSteps();
    // A step's request to end the process is a refusal (Step 2 ends with 0 on a wrong framed-family
    // package); otherwise the last step's outcome decides.
    int exitCode();

private:
    CliSession(DialogWindow& window, std::function<bool()> exitRequested, Ground ground,
               const FirmwarePackage& package, RunMemory::Limits limits);

    DialogWindow& window_;
    std::function<bool()> exitRequested_;
    AppContext app_;
    UpgradeDialog dialog_;
    Settings settings_;
};

} // namespace orvexa
