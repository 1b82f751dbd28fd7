// The benchmark in its short, deterministic form: each scenario on the virtual clock against the
// simulated scanner with the line model on (115200 baud, a latency per reply), its time set against the
// wire limit computed from what the scanner recorded. The real-time figures come from orvexa-bench; here
// only the tool's own waiting is measured, so a wait that creeps in beyond what the protocol mandates
// fails the goal at once.
#include "ScannerSession.h"
#include "Scenarios.h"
#include "WireLimit.h"

#include <gtest/gtest.h>

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
    ScannerSession<> s({personalityFor(scenario, latencyMs), {}});
    ScenarioRun run(scenario, s.channel, s.clock, nullptr);
    const std::uint32_t start = s.clock.tickMs();
    EXPECT_EQ(run.run(), infoOf(scenario).expected) << infoOf(scenario).name << " at " << latencyMs << " ms";
    const double wallMs = s.clock.tickMs() - start;
    const LineModel line{115200, latencyMs, s.scanner.personality().readyDelayMs};
    return {wallMs, wireLimit(exchangeOf(s.scanner.record()), infoOf(scenario).flow, line)};
}

// Step 1 on a machine where `silentPorts` ports are probed before the scanner's.
Measured measureStep1(std::uint32_t latencyMs, int silentPorts) {
    HubSession s;
    std::vector<std::string> ports;
    for (int i = 0; i < silentPorts; ++i) {
        ports.push_back("/dev/ttySilent" + std::to_string(i));
        s.hub.addSilentPort(ports.back());
    }
    ports.push_back("/dev/ttyScanner");
    SimulatedScanner& scanner = s.hub.attachScanner(ports.back(), personalityFor(Scenario::Step1, latencyMs));
    ScenarioRun run(Scenario::Step1, s.channel, s.clock, s.ctx.makeProbeChannel, ports);
    const std::uint32_t start = s.clock.tickMs();
    EXPECT_EQ(run.run(), Outcome::PortOpened);
    const double wallMs = s.clock.tickMs() - start;
    return {wallMs,
            wireLimit(exchangeOf(scanner.record()), Flow::Probe, {115200, latencyMs, 300}, silentPorts)};
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
        const Measured m = measureStep1(latency, 0);
        // The virtual clock ticks in whole milliseconds, and a read ends on its tick.
        EXPECT_LE(m.wallMs, m.limit.totalMs() + 1.0) << latency << " ms latency";
        EXPECT_GE(m.wallMs, m.limit.totalMs() - 1.0) << latency << " ms latency";
    }
}

TEST(BenchRatio, Step1ProbesTenSilentPortsForTheirSecondEachAndNoMore) {
    const Measured m = measureStep1(0, 10);
    EXPECT_LE(m.wallMs, 1.02 * m.limit.totalMs());
    EXPECT_GE(m.wallMs, 10 * 1000.0);
}
