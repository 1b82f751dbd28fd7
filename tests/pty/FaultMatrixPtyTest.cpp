// A sample of the fault matrix over a real pseudo-terminal with a real hang-up: the simulated scanner
// answers on the master side in real time and, at its fault point, closes the master, so the tool's
// termios channel meets the hang-up the way it meets an unplugged adapter or a Bluetooth link that
// drops. The tool runs on a clock whose pauses are counted but not slept, so the sample stays short
// while every read is a real one on the real line.
#include "ChildProcess.h"
#include "FakePorts.h"
#include "PseudoTerminal.h"

#include "ScriptedWindow.h"
#include "SimulatedScanner.h"

#include "app/ExitCodes.h"
#include "serial/posix/PosixSerialChannel.h"
#include "steps/FramedDownload.h"
#include "steps/Steps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace orvexa {
namespace {

using test::nowMs;
using test::PseudoTerminal;

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

// The scanner on the master side, pumped by a thread of its own until it hangs up or the test ends.
class FarEnd {
public:
    FarEnd(PseudoTerminal& pty, ScannerPersonality personality, ScannerFaults faults)
        : pty_(pty), scanner_(std::move(personality), std::move(faults)), thread_([this] { pump(); }) {}
    ~FarEnd() { finish(); }

    // Stops the pump; the scanner's record may be read after this.
    void finish() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool hungUp() const { return hungUp_; }
    const SimulatedScanner& scanner() const { return scanner_; }

private:
    void pump() {
        const double start = nowMs();
        while (!stop_) {
            const auto us = static_cast<std::uint64_t>((nowMs() - start) * 1000);
            pollfd pfd{pty_.master(), POLLIN, 0};
            poll(&pfd, 1, 1);
            if ((pfd.revents & POLLIN) != 0) {
                std::uint8_t buffer[4096];
                const ssize_t got = ::read(pty_.master(), buffer, sizeof buffer);
                if (got > 0) {
                    scanner_.receive(buffer, static_cast<std::size_t>(got), us);
                }
            } else if ((pfd.revents & POLLHUP) != 0) {
                usleep(1000); // nobody has the slave open right now
            }
            if (scanner_.vanished()) {
                pty_.hangUp();
                hungUp_ = true;
                return;
            }
            std::uint8_t out[4096];
            const std::size_t due = scanner_.takeDue(us, out, sizeof out);
            if (due > 0 && ::write(pty_.master(), out, due) < 0) {
                return;
            }
        }
    }

    PseudoTerminal& pty_;
    SimulatedScanner scanner_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::thread thread_;
};

std::vector<std::uint8_t> imageOf(std::size_t size, const char* mark) {
    std::vector<std::uint8_t> image(size, 0x29);
    std::memcpy(image.data(), mark, std::strlen(mark));
    return image;
}

// The tool's side: a termios channel on the slave, the dialog, records as Step 2 would leave them.
struct Tool {
    Tool(const PseudoTerminal& pty, FirmwarePackage firmware)
        : discovery({pty.slavePath()}), package(std::move(firmware)),
          ctx{window,  channel,   clock,  discovery, [] { return std::make_unique<PosixSerialChannel>(); },
              package, languages, records} {
        window.setChecked(control::kSilentMode, true);
        window.answer({kIdYes, kIdYes, kIdYes});
        ctx.endWhenNoPortAnswered = true;
    }
    int exitCode() const { return window.exitCode ? exitcode::kNotDone : exitCodeFor(ctx.outcome, false); }

    ImpatientClock clock;
    PosixSerialChannel channel;
    ScriptedWindow window;
    FakePorts discovery;
    FirmwarePackage package;
    LanguageData languages;
    ProcessRecords records;
    StepContext ctx;
};

// Real time each sample may take. Reads on a line that hung up wait out their time-outs as on a silent
// one, so a reply wait runs to its limit: the framed block's 5000 ms is the longest here.
constexpr int kShortMs = 8000;

ScannerFaults hangUpAt(FaultPoint point) {
    ScannerFaults faults;
    faults.vanishAt = point;
    return faults;
}

TEST(FaultMatrixPty, ScannerHangingUpOnTheProbeLeavesNoPortFound) {
    PseudoTerminal pty;
    FarEnd farEnd(pty, {}, hangUpAt({FaultPoint::Kind::Command, "W", 1}));
    Tool tool(pty, FirmwarePackage::carried());

    const double start = nowMs();
    portSelection(tool.ctx);
    EXPECT_LT(nowMs() - start, kShortMs);
    farEnd.finish();

    EXPECT_TRUE(farEnd.hungUp());
    EXPECT_EQ(tool.ctx.outcome, Outcome::PortNotFound);
    EXPECT_EQ(tool.exitCode(), exitcode::kNotDone);
    EXPECT_FALSE(tool.channel.isOpen());
}

TEST(FaultMatrixPty, ClassicScannerHangingUpOnTheStartSequenceLeavesTheStatusLineAndExitOne) {
    PseudoTerminal pty;
    FarEnd farEnd(pty, {}, hangUpAt({FaultPoint::Kind::Command, "IEIT", 1}));
    Tool tool(pty, FirmwarePackage("M307_200_A7UG", imageOf(3 * 256 + 10, "RDQ")));
    DeviceInfo& device = tool.records.deviceInfo;
    std::memcpy(device.modelText.data(), "RDQ200A7UG", 10);
    std::memcpy(device.firmwareText.data(), "3.07_200_A7UG", 13);
    device.itAccepted = true;
    ASSERT_TRUE(tool.channel.openDefault(pty.slavePath()));
    tool.records.verifiedOnOpenPort = true; // as Step 2 leaves it

    const double start = nowMs();
    firmwareDownload(tool.ctx);
    EXPECT_LT(nowMs() - start, kShortMs);
    farEnd.finish();

    EXPECT_TRUE(farEnd.hungUp());
    EXPECT_EQ(tool.ctx.outcome, Outcome::NoDownloadMode);
    EXPECT_EQ(tool.exitCode(), exitcode::kNotDone);
    EXPECT_NE(tool.window.controlText(control::kStatus).find("RDQ did not enter download mode.."),
              std::string::npos);
    EXPECT_EQ(tool.channel.lastError(), ChannelError::LineLost);
    EXPECT_FALSE(tool.window.sawBox(kFirmwareUpdatedText));
    EXPECT_TRUE(farEnd.scanner().record().frames.empty());
}

TEST(FaultMatrixPty, FramedScannerHangingUpMidDownloadEndsInTheErrorWithTheChannelClosed) {
    constexpr int kMiddleBlock = 1; // of three
    PseudoTerminal pty;
    FarEnd farEnd(pty, ScannerPersonality::framed(), hangUpAt({FaultPoint::Kind::Block, "", kMiddleBlock}));
    Tool tool(pty, FirmwarePackage("U500_500_TEST", imageOf(3 * 1024 - 100, "UPDATE")));
    std::memcpy(tool.records.deviceInfo.modelText.data(), "RDa500B2WW", 10);
    tool.records.deviceInfo.framedBlockSize = 1024;
    ASSERT_TRUE(tool.channel.openDefault(pty.slavePath()));
    tool.records.verifiedOnOpenPort = true; // as Step 2 leaves it

    const double start = nowMs();
    firmwareDownload(tool.ctx);
    EXPECT_LT(nowMs() - start, kShortMs);
    farEnd.finish();

    EXPECT_TRUE(farEnd.hungUp());
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
    if (!programsBuilt()) {
        GTEST_SKIP() << "rdq-sim or orvexa-cli was not built";
    }
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
    EXPECT_EQ(text.find("sucessfully"), std::string::npos);
    EXPECT_NE(text.find(path.substr(5)), std::string::npos) << text; // the port it tried
}

} // namespace
} // namespace orvexa
