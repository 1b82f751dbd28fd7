// The station on the virtual clock: ports come and go between its looks, and each scanner is written once;
// its watch goes on until Ctrl-C, and a second Ctrl-C stops the transfers.
#include "FleetDesk.h"

#include "app/ExitCodes.h"
#include "cli/Interrupts.h"
#include "cli/Station.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace orvexa {
namespace {

// The workers run on virtual clocks, so a session ends within milliseconds of real time; the bound only
// keeps a hang from stalling the suite.
void settle(const Station& station) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (station.running() > 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::yield();
    }
    ASSERT_EQ(station.running(), 0u);
}

struct StationDesk {
    FleetDesk desk;
    FleetBoard board{stderr, FleetBoard::Display::None};
    std::unique_ptr<Station> station;
    // While false, each worker waits before its session begins: a stop asked meanwhile surely meets a
    // transfer that has not ended yet, however the threads are scheduled.
    std::atomic<bool> released{true};

    void open(FleetSettings settings = {}) {
        station = std::make_unique<Station>(
            desk, settings,
            [this, platforms = desk.platforms()] {
                const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (!released && std::chrono::steady_clock::now() < limit) {
                    std::this_thread::yield();
                }
                return platforms();
            },
            desk.package(), nullptr, board, nullptr);
    }
    void look() {
        station->rescan();
        settle(*station);
    }
};

TEST(Station, EachScannerIsWrittenOnceThoughItsPortGoesAndComesBack) {
    StationDesk s;
    SimulatedScanner& scanner = // it restarts into what it received
        s.desk.scanner("/dev/rfcomm0", scannerWith([](auto& p) { p.versionAfterUpgrade = "3.07_200_A7UG"; }));
    s.desk.silentPort("/dev/ttyS0");
    s.desk.unplug("/dev/rfcomm0");
    s.open();

    s.look(); // only the silent port
    s.desk.plugIn("/dev/rfcomm0");
    s.look(); // the scanner appears and is written
    s.look(); // nothing new: nothing probed again, the silent port neither
    s.desk.unplug("/dev/rfcomm0");
    s.look();
    s.desk.plugIn("/dev/rfcomm0"); // it restarted after its upgrade
    s.look();

    const std::vector<ScannerResult> results = s.station->finish();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].verdict, Verdict::NoScanner);
    EXPECT_EQ(results[1].verdict, Verdict::Written);
    EXPECT_EQ(results[2].verdict, Verdict::AlreadyCurrent)
        << "a restarted scanner is done, not written again";
    EXPECT_EQ(timesWritten(scanner), 1);
}

TEST(Station, AScannerLostMidTransferFailsAndTheStationGoesOnWatching) {
    StationDesk s;
    s.desk.scanner("/dev/ttyUSB0", {}, faults::vanishAt(FaultPoint::Kind::Frame, 200));
    SimulatedScanner& next = s.desk.scanner("/dev/ttyUSB1");
    s.desk.unplug("/dev/ttyUSB1");
    s.open();
    s.look();
    s.desk.plugIn("/dev/ttyUSB1");
    s.look();

    const std::vector<ScannerResult> results = s.station->finish();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].verdict, Verdict::Failed);
    EXPECT_EQ(results[0].exitCode, exitcode::kTransferError);
    EXPECT_FALSE(results[0].why.empty()) << "the step's own message says why";
    EXPECT_TRUE(next.record().upgradeFinished);
}

TEST(Station, FirstCtrlCEndsTheWatchAndTheSecondStopsTheTransfers) {
    // Every Ctrl-C counts, whether or not a transfer runs: the station marks itself busy for the response.
    Interruption watching;
    watching.writing = true;
    InterruptResponse response(watching);
    response.setWarnText("watch no more");
    EXPECT_EQ(response.respond(InterruptResponse::Signal::Interrupt), InterruptResponse::Action::Warn);
    EXPECT_TRUE(response.warned());
    EXPECT_STREQ(response.lastText(), "watch no more");
    EXPECT_EQ(response.respond(InterruptResponse::Signal::Interrupt), InterruptResponse::Action::Stop);
    EXPECT_TRUE(watching.stopRequested);

    // The stop reaches every worker: a scanner stops after the frame under way and is named as left
    // mid-transfer; no port that appears afterwards is probed.
    StationDesk s;
    SimulatedScanner& scanner = s.desk.scanner("/dev/ttyUSB0");
    s.desk.scanner("/dev/ttyUSB1");
    s.desk.unplug("/dev/ttyUSB1");
    s.released = false;
    s.open();
    s.station->rescan();
    s.station->stopTransfers();
    s.released = true;
    settle(*s.station);
    s.desk.plugIn("/dev/ttyUSB1");
    s.look();
    const std::vector<ScannerResult> results = s.station->finish();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].exitCode, exitcode::kInterrupted);
    EXPECT_FALSE(scanner.record().upgradeFinished);
    EXPECT_EQ(s.station->stoppedMidTransfer(), std::vector<std::string>{"ttyUSB0"});
}

// The OS's notices as a script, on the station's own virtual clock: each wait takes the time it may take,
// then the next entry does what happened meanwhile (a port came or went, a Ctrl-C).
class ScriptedWatcher : public PortWatcher {
public:
    ScriptedWatcher(VirtualClock& clock, std::vector<std::function<void()>> script)
        : clock_(clock), script_(std::move(script)) {}
    void waitForChange(std::uint32_t maxMs) override {
        waits.push_back(maxMs);
        clock_.sleepMs(maxMs);
        ASSERT_LT(next_, script_.size()) << "the station watched on after its last Ctrl-C";
        script_[next_++]();
    }
    std::vector<std::uint32_t> waits;

private:
    VirtualClock& clock_;
    std::vector<std::function<void()>> script_;
    std::size_t next_ = 0;
};

// A station watching as orvexa-cli --watch does: every Ctrl-C counts, whether a transfer runs or not.
struct WatchingStation : StationDesk {
    VirtualClock clock;
    Interruption watching;
    InterruptResponse response{watching};
    WatchingStation() { watching.writing = true; }

    void signal(InterruptResponse::Signal signal) { response.respond(signal); }
    std::vector<ScannerResult> watchUntilDone(ScriptedWatcher& watcher) {
        station->watch(
            watcher, [this] { return response.warned(); }, watching);
        watchEndedAtMs = clock.tickMs();
        station->waitForTransfers(clock, watching);
        return station->finish();
    }
    std::uint32_t watchEndedAtMs = 0;
};

TEST(StationWatch, APortThatAppearsVanishesAndReappearsIsLookedAtEachTimeItComes) {
    WatchingStation s;
    s.desk.scanner("/dev/rfcomm0", scannerWith([](auto& p) { p.versionAfterUpgrade = "3.07_200_A7UG"; }));
    s.desk.unplug("/dev/rfcomm0");
    s.open();
    ScriptedWatcher watcher(s.clock, {
                                         [&] { s.desk.plugIn("/dev/rfcomm0"); },
                                         [&] {
                                             settle(*s.station);
                                             s.desk.unplug("/dev/rfcomm0");
                                         },
                                         [&] { s.desk.plugIn("/dev/rfcomm0"); },
                                         [&] {
                                             settle(*s.station);
                                             s.signal(InterruptResponse::Signal::Interrupt);
                                         },
                                     });
    const std::vector<ScannerResult> results = s.watchUntilDone(watcher);

    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].verdict, Verdict::Written);
    EXPECT_EQ(results[1].verdict, Verdict::AlreadyCurrent);
    EXPECT_EQ(watcher.waits, std::vector<std::uint32_t>(4, kRescanMs));
    EXPECT_EQ(s.clock.tickMs(), 4 * kRescanMs) << "nothing ran: no transfer was left to wait for";
}

// The first Ctrl-C ends the watch and lets the transfers finish; a second one, or SIGTERM alone, stops
// them after the frame under way. No port that appears at the signal is looked at.
TEST(StationWatch, CtrlCOnceEndsTheWatchAndTwiceOrATerminateStopsTheTransfers) {
    using Signal = InterruptResponse::Signal;
    const struct {
        const char* name;
        std::vector<Signal> signals;
        bool stopped;
    } cases[] = {
        {"Ctrl-C", {Signal::Interrupt}, false},
        {"Ctrl-C twice", {Signal::Interrupt, Signal::Interrupt}, true},
        {"SIGTERM", {Signal::Terminate}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WatchingStation s;
        SimulatedScanner& scanner = s.desk.scanner("/dev/ttyUSB0");
        SimulatedScanner& late = s.desk.scanner("/dev/ttyUSB1");
        s.desk.unplug("/dev/ttyUSB0");
        s.desk.unplug("/dev/ttyUSB1");
        s.released = false;
        s.open();
        ScriptedWatcher watcher(s.clock, {
                                             [&] { s.desk.plugIn("/dev/ttyUSB0"); },
                                             [&] {
                                                 s.desk.plugIn("/dev/ttyUSB1");
                                                 for (Signal signal : c.signals) {
                                                     s.signal(signal);
                                                 }
                                                 s.released = true;
                                             },
                                         });
        const std::vector<ScannerResult> results = s.watchUntilDone(watcher);

        ASSERT_EQ(results.size(), 1u);
        EXPECT_TRUE(late.record().bytesIn.empty()) << "a port that came after the signal is not looked at";
        EXPECT_EQ(s.watchEndedAtMs, 2 * kRescanMs);
        EXPECT_EQ((s.clock.tickMs() - s.watchEndedAtMs) % kLeftCheckMs, 0u);
        if (c.stopped) {
            EXPECT_EQ(results[0].exitCode, exitcode::kInterrupted);
            EXPECT_FALSE(scanner.record().upgradeFinished);
            EXPECT_EQ(s.station->stoppedMidTransfer(), std::vector<std::string>{"ttyUSB0"});
        } else {
            EXPECT_EQ(results[0].verdict, Verdict::Written);
            EXPECT_TRUE(scanner.record().upgradeFinished);
        }
    }
}

} // namespace
} // namespace orvexa
