// The benchmark in its short, deterministic form: each scenario on the virtual clock against the
// simulated scanner with the line model on (115200 baud, a latency per reply), its time set against the
// wire limit computed from what the scanner recorded. The real-time figures come from orvexa-bench; here
// only the tool's own waiting is measured, so a wait that creeps in beyond what the protocol mandates
// fails the goal at once.
#include "Scenarios.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "VirtualClock.h"
#include "WireLimit.h"

#include <gtest/gtest.h>

#include <memory>

using namespace orvexa;
using namespace orvexa::bench;

namespace {

constexpr std::uint32_t kLatenciesMs[] = {0, 2, 16, 40};

struct Measured {
    double wallMs;
    Limit limit;
    double ratio() const { return wallMs / limit.totalMs(); }
};

ScannerPersonality personalityFor(Scenario scenario, std::uint32_t latencyMs) {
    ScannerPersonality p = infoOf(scenario).family == ScannerFamily::Framed ? ScannerPersonality::framed()
                                                                            : ScannerPersonality{};
    p.baudRate = 115200;
    p.latencyMs = latencyMs;
    return p;
}

Measured measure(Scenario scenario, std::uint32_t latencyMs) {
    VirtualClock clock;
    SimulatedScanner scanner(personalityFor(scenario, latencyMs));
    SimulatedChannel channel(clock, scanner);
    ScenarioRun run(scenario, channel, clock, nullptr);
    const std::uint32_t start = clock.tickMs();
    EXPECT_EQ(run.run(), infoOf(scenario).expected) << infoOf(scenario).name << " at " << latencyMs << " ms";
    const double wallMs = clock.tickMs() - start;
    const LineModel line{115200, latencyMs, scanner.personality().readyDelayMs};
    return {wallMs, wireLimit(exchangeOf(scanner.record()), infoOf(scenario).flow, line)};
}

void expectRatio(Scenario scenario, std::uint32_t latencyMs, double goal) {
    const Measured m = measure(scenario, latencyMs);
    EXPECT_LE(m.ratio(), goal) << infoOf(scenario).name << " at " << latencyMs << " ms latency: " << m.wallMs
                               << " ms against a limit of " << m.limit.totalMs() << " ms (line "
                               << m.limit.lineMs << ", latency " << m.limit.latencyMs << ", mandated "
                               << m.limit.mandatedMs << ")";
    // A ratio well below 1 means the limit counts a wait the tool does not make: the model is wrong.
    EXPECT_GE(m.ratio(), 0.99) << infoOf(scenario).name << " at " << latencyMs << " ms latency";
}

} // namespace

TEST(BenchRatio, ClassicStep3WithPagesAndFontsSitsOnTheWireLimit) {
    for (std::uint32_t latency : kLatenciesMs) {
        expectRatio(Scenario::Step3Fonts, latency, latency == 0 ? 1.01 : 1.02);
    }
}

TEST(BenchRatio, ClassicStep3AndStep2SitOnTheWireLimit) {
    for (std::uint32_t latency : kLatenciesMs) {
        expectRatio(Scenario::Step3, latency, 1.02);
        expectRatio(Scenario::Step2, latency, 1.05);
    }
}

TEST(BenchRatio, FramedDownloadHasNoWaitPerBlock) {
    for (std::uint32_t latency : kLatenciesMs) {
        expectRatio(Scenario::Framed1024, latency, 1.02);
        expectRatio(Scenario::Framed512, latency, 1.02);
    }
}

// A slow scanner gets the probe's "W" more than once before its first "@" comes back; the limit counts
// the one exchange Step 1 needs, and the tool must still sit on it.
TEST(BenchRatio, Step1WaitsForTheFirstAnswerOnly) {
    for (std::uint32_t latency : kLatenciesMs) {
        VirtualClock clock;
        SimulatedPortHub hub;
        const std::string port = "/dev/ttyScanner";
        SimulatedScanner& scanner = hub.attachScanner(port, personalityFor(Scenario::Step1, latency));
        SimulatedChannel channel(clock, hub);
        ScenarioRun run(Scenario::Step1, channel, clock,
                        [&]() { return std::make_unique<SimulatedChannel>(clock, hub); }, {port});
        const std::uint32_t start = clock.tickMs();
        EXPECT_EQ(run.run(), Outcome::PortOpened);
        const double wallMs = clock.tickMs() - start;
        const Limit limit = wireLimit(exchangeOf(scanner.record()), Flow::Probe, {115200, latency, 300});
        // The virtual clock ticks in whole milliseconds, and a read ends on its tick.
        EXPECT_LE(wallMs, limit.totalMs() + 1.0) << latency << " ms latency";
        EXPECT_GE(wallMs, limit.totalMs() - 1.0) << latency << " ms latency";
    }
}

TEST(BenchRatio, Step1ProbesTenSilentPortsForTheirSecondEachAndNoMore) {
    VirtualClock clock;
    SimulatedPortHub hub;
    std::vector<std::string> ports;
    for (int i = 0; i < 10; ++i) {
        ports.push_back("/dev/ttySilent" + std::to_string(i));
        hub.addSilentPort(ports.back());
    }
    ports.push_back("/dev/ttyScanner");
    ScannerPersonality p;
    p.baudRate = 115200;
    SimulatedScanner& scanner = hub.attachScanner(ports.back(), p);
    SimulatedChannel channel(clock, hub);
    ScenarioRun run(
        Scenario::Step1, channel, clock, [&]() { return std::make_unique<SimulatedChannel>(clock, hub); },
        ports);
    const std::uint32_t start = clock.tickMs();
    EXPECT_EQ(run.run(), Outcome::PortOpened);
    const double wallMs = clock.tickMs() - start;
    const Limit limit = wireLimit(exchangeOf(scanner.record()), Flow::Probe, {115200, 0, 300}, 10);
    EXPECT_LE(wallMs, 1.02 * limit.totalMs());
    EXPECT_GE(wallMs, 10 * 1000.0);
}
