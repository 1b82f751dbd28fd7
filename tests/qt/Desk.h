// A simulated desk for the GUI tests and the screenshots: one healthy classic scanner on ttyUSB0, and the
// tool's real dialog over it, on a virtual clock that a test can look in on while a step blocks.
#pragma once

#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "UpgradeSession.h"
#include "VirtualClock.h"
#include "serial/ExtraPorts.h"

#include "BoxWatch.h"

#include <QPushButton>
#include <QStringList>

#include <functional>
#include <memory>

namespace orvexa::test {

inline constexpr char kPort[] = "/dev/ttyUSB0";

// The virtual clock, with a look-in for tests that must act while a step blocks the dialog.
class HookClock : public VirtualClock {
public:
    std::function<void()> hook;
    std::uint32_t tickMs() override {
        if (hook) {
            hook();
        }
        return VirtualClock::tickMs();
    }
};

struct Desk {
    explicit Desk(ScannerPersonality personality = {})
        : discovery({namedPort(kPort)}), scanner(hub.attachScanner(kPort, std::move(personality))),
          session(clock, discovery, std::make_unique<SimulatedChannel>(clock, hub),
                  [this] { return std::make_unique<SimulatedChannel>(clock, hub); }) {
        session.window().onExitProcess = [this](int) { session.dialog().endNow(QDialog::Rejected); };
        session.dialog().show();
    }

    MainDialog& dialog() { return session.dialog(); }
    void click(int controlId) { dialog().button(controlId)->click(); }
    bool enabled(int controlId) { return dialog().control(controlId)->isEnabled(); }
    static QString texts(const BoxWatch& watch) {
        QStringList all;
        for (const SeenBox& box : watch.seen) {
            all << box.title + QStringLiteral(": ") + box.text;
        }
        return all.join(QStringLiteral(" | "));
    }

    HookClock clock;
    SimulatedPortHub hub;
    FixedPortDiscovery discovery;
    SimulatedScanner& scanner;
    UpgradeSession session;
};

} // namespace orvexa::test
