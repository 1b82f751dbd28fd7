// A sample of the fault matrix over a real pseudo-terminal with a real hang-up: the simulated scanner
// answers on the master side in real time and, at its fault point, closes the master, so the tool's
// termios channel meets the hang-up the way it meets an unplugged adapter or a Bluetooth link that
// drops. The tool runs on a clock whose pauses are counted but not slept, so the sample stays short
// while every read is a real one on the real line.
#include "ChildProcess.h"
#include "Faults.h"
#include "PseudoTerminal.h"
#include "ScannerSession.h"
#include "TextChecks.h"

#include "app/ExitCodes.h"
#include "serial/posix/PosixSerialChannel.h"
#include "steps/FramedDownload.h"
#include "steps/Steps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace orvexa {
namespace {

using test::nowMs;
using test::PseudoTerminal;
using test::PtyScanner;

// Every pause is taken as done at once; time limits still see the real time that reads took.
class ImpatientClock : public Clock {
public:
    std::uint32_t tickMs() override {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<std::uint32_t>(
                   std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) +
               skippedMs_;
    }
    void sleepMs(std::uint32_t ms) override { skippedMs_ += ms; }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::uint32_t skippedMs_ = 0;
};

std::vector<std::uint8_t> imageOf(std::size_t size, const char* mark) {
    std::vector<std::uint8_t> image(size, 0x29);
    std::memcpy(image.data(), mark, std::strlen(mark));
    return image;
}

// The tool's side: a termios channel on the slave, run as orvexa-cli --silent --yes runs it.
struct Tool : PortSession<ImpatientClock, PosixSerialChannel> {
    Tool(const PseudoTerminal& pty, FirmwarePackage firmware)
        : PortSession({pty.slavePath()}, std::move(firmware)) {
        likeSilentYesCli(window, ctx);
    }
    int exitCode() const { return cliExitCode(window, ctx); }
    // As Step 2 leaves it: the scanner verified on the open port.
    bool verified(const ScannerPersonality& p) {
        asAfterStep2(records, p);
        return channel.openDefault(discovery.paths[0]);
    }
};

// Real time each sample may take. Reads on a line that hung up wait out their time-outs as on a silent
// one, so a reply wait runs to its limit: the framed block's 5000 ms is the longest here.
constexpr int kShortMs = 8000;

// Runs a step against the scanner, which has hung up by the time it ends, within the short bound.
template <class Step> void runToTheHangUp(Tool& tool, PtyScanner& farEnd, Step step) {
    const double start = nowMs();
    step(tool.ctx);
    EXPECT_LT(nowMs() - start, kShortMs);
    farEnd.finish();
    EXPECT_TRUE(farEnd.hungUp());
}

TEST(FaultMatrixPty, ScannerHangingUpOnTheProbeLeavesNoPortFound) {
    PseudoTerminal pty;
    PtyScanner farEnd(pty, {}, faults::vanishOn("W"));
    Tool tool(pty, FirmwarePackage::carried());
    runToTheHangUp(tool, farEnd, portSelection);

    EXPECT_EQ(tool.ctx.outcome, Outcome::PortNotFound);
    EXPECT_EQ(tool.exitCode(), exitcode::kNotDone);
    EXPECT_FALSE(tool.channel.isOpen());
}

TEST(FaultMatrixPty, ClassicScannerHangingUpOnTheStartSequenceLeavesTheStatusLineAndExitOne) {
    PseudoTerminal pty;
    PtyScanner farEnd(pty, {}, faults::vanishOn("IEIT"));
    Tool tool(pty, FirmwarePackage("M307_200_A7UG", imageOf(3 * 256 + 10, "RDQ")));
    ASSERT_TRUE(tool.verified({}));
    runToTheHangUp(tool, farEnd, firmwareDownload);

    EXPECT_EQ(tool.ctx.outcome, Outcome::NoDownloadMode);
    EXPECT_EQ(tool.exitCode(), exitcode::kNotDone);
    EXPECT_TRUE(contains(tool.window.controlText(control::kStatus), "RDQ did not enter download mode.."));
    EXPECT_EQ(tool.channel.lastError(), ChannelError::LineLost);
    EXPECT_FALSE(tool.window.sawBox(kFirmwareUpdatedText));
    EXPECT_TRUE(farEnd.scanner().record().frames.empty());
}

TEST(FaultMatrixPty, FramedScannerHangingUpMidDownloadEndsInTheErrorWithTheChannelClosed) {
    constexpr int kMiddleBlock = 1; // of three
    PseudoTerminal pty;
    PtyScanner farEnd(pty, ScannerPersonality::framed(),
                      faults::vanishAt(FaultPoint::Kind::Block, kMiddleBlock));
    Tool tool(pty, FirmwarePackage("U500_500_TEST", imageOf(3 * 1024 - 100, "UPDATE")));
    ASSERT_TRUE(tool.verified(ScannerPersonality::framed()));
    runToTheHangUp(tool, farEnd, firmwareDownload);

    EXPECT_EQ(tool.ctx.outcome, Outcome::TransferError);
    EXPECT_EQ(tool.exitCode(), exitcode::kTransferError);
    EXPECT_TRUE(tool.window.sawBox(kFirmwareErrorText));
    EXPECT_FALSE(tool.window.sawBox(kFirmwareUpdatedText));
    EXPECT_FALSE(tool.channel.isOpen());
    EXPECT_EQ(tool.window.progressPosition, kMiddleBlock); // the blocks before it were answered
}

// The same hang-up between real processes: rdq-sim hangs up when the probe's "W" arrives, and orvexa-cli
// ends at once with the search's report and exit code 1.
TEST(FaultMatrixPty, OrvexaCliAgainstRdqSimHangingUpOnTheProbeExitsOneWithItsReport) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    RdqSimProcess rdqSim(rdqSimProgram(), {"--vanish-at", "W"});
    const std::string path = rdqSim.path();
    ASSERT_FALSE(path.empty());

    CliSetup setup;
    setup.limitMs = kShortMs;
    const CliRun run = runCli({"--silent", "--yes", "--port", path}, setup);
    rdqSim.stop();
    const std::string text = run.out + run.err;

    EXPECT_EQ(run.exitCode, exitcode::kNotDone) << text;
    EXPECT_LT(run.ms, kShortMs);
    EXPECT_TRUE(lacks(text, "sucessfully"));
    EXPECT_TRUE(contains(text, path.substr(5))); // the port it tried
}

} // namespace
} // namespace orvexa
