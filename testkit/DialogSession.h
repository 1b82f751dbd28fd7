// The main dialog's logic as a front end drives it, on the virtual clock: the tool's own AppContext and
// UpgradeDialog over the simulated port hub, where a test attaches the scanners and silent ports it needs.
// Buttons and keys run their steps; each reports the virtual time it took.
#pragma once

#include "FakePorts.h"
#include "ScriptedWindow.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "VirtualClock.h"

#include "app/UpgradeDialog.h"

#include <memory>
#include <string>
#include <vector>

namespace orvexa {

struct DialogSession {
    // Starts the dialog on a machine whose discovery lists `ports`; `mainChannel` stands in for the
    // main channel on the hub when a test needs one of its own kind.
    void start(std::vector<std::string> ports, FirmwarePackage package = FirmwarePackage::carried(),
               std::unique_ptr<SimulatedChannel> mainChannel = nullptr) {
        discovery.paths = std::move(ports);
        if (!mainChannel) {
            mainChannel = std::make_unique<SimulatedChannel>(clock, hub);
        }
        main = mainChannel.get();
        app = std::make_unique<AppContext>(
            window, clock, discovery, std::move(mainChannel),
            [this] { return std::make_unique<SimulatedChannel>(clock, hub); }, std::move(package));
        dialog = std::make_unique<UpgradeDialog>(*app);
        dialog->initDialog();
    }

    std::uint32_t click(int button) {
        return timed([&] { dialog->onButton(button); });
    }
    std::uint32_t press(char key) {
        return timed([&] { dialog->onKey(key); });
    }
    template <class Action> std::uint32_t timed(Action action) {
        const std::uint32_t before = clock.tickMs();
        action();
        return clock.tickMs() - before;
    }
    Outcome outcome() const { return app->steps().outcome; }
    bool lastBoxSays(const std::string& text) const {
        return !window.boxes.empty() && window.boxes.back().text == text;
    }

    VirtualClock clock;
    SimulatedPortHub hub;
    ScriptedWindow window;
    FakePorts discovery;
    std::unique_ptr<AppContext> app;
    std::unique_ptr<UpgradeDialog> dialog;
    SimulatedChannel* main = nullptr;
};

} // namespace orvexa
