// Port faults around a run, as orvexa-cli --silent --yes meets them: a port held by another program, a
// port the user may not open, a port unplugged between discovery and the open (or between the probe and
// the main channel's open), and a port that goes away in the middle of the transfer. Each ends at once
// with a clear message and a non-zero exit code, never in a wait on a port that is not there.
#include "Faults.h"
#include "ScannerSession.h"
#include "SmallPackages.h"

#include "app/ExitCodes.h"
#include "steps/PortSelection.h"
#include "steps/StepTexts.h"
#include "steps/Steps.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace orvexa {
namespace {

constexpr char kPortA[] = "/dev/ttyUSB0";
constexpr char kPortB[] = "/dev/ttyUSB1";
// Far below any protocol limit: nothing here may wait for a scanner.
constexpr std::uint64_t kPromptlyMs = 1100;

// A probe channel that lets the test act the moment the probe has let the port go.
class ProbeChannel : public SimulatedChannel {
public:
    ProbeChannel(VirtualClock& clock, SimulatedPortHub& hub, std::function<void()> afterClose)
        : SimulatedChannel(clock, hub), afterClose_(std::move(afterClose)) {}
    void close() override {
        const bool wasOpen = isOpen();
        SimulatedChannel::close();
        if (wasOpen && afterClose_) {
            afterClose_();
        }
    }

private:
    std::function<void()> afterClose_;
};

struct Desk : HubSession {
    explicit Desk(FirmwarePackage firmware = FirmwarePackage::carried())
        : HubSession({{kPortA}, std::move(firmware), nullptr}) {
        ctx.makeProbeChannel = [this] { return makeProbe(); };
        likeSilentYesCli(window, ctx);
    }
    std::unique_ptr<SerialChannel> makeProbe() {
        return std::make_unique<ProbeChannel>(clock, hub, afterProbe);
    }
    int run() {
        portSelection(ctx);
        return cliExitCode(window, ctx);
    }
    std::uint64_t elapsedMs() const { return clock.nowUs() / 1000; }
    const PortProbe& probeOf(const std::string& port) const {
        for (const PortProbe& p : records.probedPorts) {
            if (p.port.path == port) {
                return p;
            }
        }
        throw std::runtime_error("port not probed: " + port);
    }

    std::function<void()> afterProbe;
};

TEST(PortFault, PortHeldByAnotherProgramOrDeniedIsSkippedAndTheSearchEndsAtOnceWithItsReason) {
    for (ChannelError reason : {ChannelError::Busy, ChannelError::PermissionDenied}) {
        Desk desk;
        SimulatedScanner& scanner = desk.hub.attachScanner(kPortA);
        if (reason == ChannelError::Busy) {
            desk.hub.holdElsewhere(kPortA);
        } else {
            desk.hub.denyAccess(kPortA);
        }

        EXPECT_EQ(desk.run(), exitcode::kNotDone);
        EXPECT_EQ(desk.ctx.outcome, Outcome::PortNotFound);
        EXPECT_EQ(desk.probeOf(kPortA).result, PortProbe::Result::OpenFailed);
        EXPECT_EQ(desk.probeOf(kPortA).error, reason); // what the front end's report names
        EXPECT_LT(desk.elapsedMs(), kPromptlyMs);
        EXPECT_TRUE(scanner.record().commands.empty());
        EXPECT_FALSE(desk.channel.isOpen());
    }
}

TEST(PortFault, PortUnpluggedBetweenDiscoveryAndTheProbeIsSkippedAndTheNextOneServes) {
    Desk desk;
    desk.hub.attachScanner(kPortA);
    SimulatedScanner& second = desk.hub.attachScanner(kPortB);
    desk.discovery.paths = {kPortA, kPortB};
    desk.discovery.afterListing = [&desk] { desk.hub.removePort(kPortA); };

    EXPECT_EQ(desk.run(), exitcode::kDone);
    EXPECT_EQ(desk.probeOf(kPortA).error, ChannelError::NoSuchPort);
    EXPECT_EQ(desk.records.selectedPort.path, kPortB);
    EXPECT_TRUE(desk.window.sawBox(kFirmwareUpdatedText));
    EXPECT_FALSE(second.record().frames.empty());
}

TEST(PortFault, OnlyPortUnpluggedAfterDiscoveryEndsTheSearchWithNothingFound) {
    Desk desk;
    desk.hub.attachScanner(kPortA);
    desk.discovery.afterListing = [&desk] { desk.hub.removePort(kPortA); };

    EXPECT_EQ(desk.run(), exitcode::kNotDone);
    EXPECT_EQ(desk.ctx.outcome, Outcome::PortNotFound);
    EXPECT_EQ(desk.probeOf(kPortA).error, ChannelError::NoSuchPort);
    EXPECT_LT(desk.elapsedMs(), kPromptlyMs);
}

// The probe found the scanner; the port is gone (or taken) before the main channel opens it.
TEST(PortFault, PortLostBetweenTheProbeAndTheOpenGetsTheOpenFailureBoxAndNoStep2) {
    for (bool unplugged : {true, false}) {
        Desk desk;
        desk.hub.attachScanner(kPortA);
        desk.afterProbe = [&desk, unplugged] {
            if (unplugged) {
                desk.hub.removePort(kPortA);
            } else {
                desk.hub.holdElsewhere(kPortA);
            }
        };

        EXPECT_EQ(desk.run(), exitcode::kNotDone);
        EXPECT_EQ(desk.ctx.outcome, Outcome::PortOpenFailed);
        ASSERT_EQ(desk.window.boxes.size(), 1u);
        EXPECT_EQ(desk.window.boxes[0].text.rfind("Can't open ttyUSB0!!! Please try other port", 0), 0u);
        EXPECT_EQ(desk.channel.lastError(), unplugged ? ChannelError::NoSuchPort : ChannelError::Busy);
        EXPECT_FALSE(desk.window.isControlEnabled(control::kStep3));
        EXPECT_LT(desk.elapsedMs(), kPromptlyMs);
    }
}

// Unplugged mid-transfer: the run ends in the error text with the line reported lost, and a Step 1 run
// again finds nothing rather than the stale port.
TEST(PortFault, PortGoneDuringTheTransferEndsInTheErrorAndTheNextSearchFindsNothing) {
    for (bool framed : {false, true}) {
        Desk desk(framed ? FirmwarePackage("M307_200_A7UG", smallFramedImage(3 * 1024, 0x3D))
                         : FirmwarePackage::carried());
        desk.hub.attachScanner(kPortA, framed ? ScannerPersonality::framed() : ScannerPersonality{},
                               faults::vanishAt(FaultPoint::Kind::Block, framed ? 1 : 300));

        EXPECT_EQ(desk.run(), exitcode::kTransferError) << (framed ? "framed" : "classic");
        EXPECT_TRUE(desk.window.sawBox(kFirmwareErrorText));
        EXPECT_FALSE(desk.window.sawBox(kFirmwareUpdatedText));
        EXPECT_FALSE(desk.channel.isOpen());

        desk.window.boxes.clear();
        EXPECT_EQ(desk.run(), exitcode::kNotDone);
        EXPECT_EQ(desk.ctx.outcome, Outcome::PortNotFound);
        EXPECT_EQ(desk.probeOf(kPortA).error, ChannelError::NoSuchPort);
    }
}

} // namespace
} // namespace orvexa
