// Step 1 on a simulated machine with several serial ports, on the virtual clock, through the real dialog
// logic: what the user sees (boxes, the port result, the controls), which ports were probed and for how
// long, and which port the main channel ends up holding.
#include "steps/PortSelection.h"
#include "DialogSession.h"
#include "Faults.h"
#include "TextChecks.h"
#include "serial/TracingChannel.h"
#include "steps/StepTexts.h"

#include <gtest/gtest.h>

#include <memory>

using namespace orvexa;

namespace {

const char* kReady = "Did you close all other applications?\r\nIs RDQ properly connected?";

// A main channel whose port is taken by someone else between the probe and the open.
class PortTakenChannel : public SimulatedChannel {
public:
    using SimulatedChannel::SimulatedChannel;
    bool open(const std::string&, std::uint32_t, std::uint8_t, std::uint8_t, std::uint8_t,
              std::uint32_t) override {
        close();
        return false;
    }
    ChannelError lastError() const override { return ChannelError::Busy; }
};

struct Step1 : ::testing::Test, DialogSession {
    // A silent port whose scanner lets us count the probes it got: it hears "W" and never answers.
    SimulatedScanner& deafScanner(const std::string& port) {
        return hub.attachScanner(port, {}, faults::silentOn(""));
    }

    // The ports of the hub in the order given, with a hint for ports that cannot be opened, and the answers
    // to the questions to come.
    void start(const std::vector<std::string>& ports, std::initializer_list<int> answers = {},
               bool mainPortTaken = false) {
        window.answer(answers);
        discovery.hint = [](const PortInfo& port, ChannelError error) {
            return "hint for " + port.displayName + ": " + channelErrorName(error);
        };
        DialogSession::start(ports, FirmwarePackage::carried(),
                             mainPortTaken ? std::make_unique<PortTakenChannel>(clock, hub) : nullptr);
        // Step 2 has scenarios of its own; these stop the Silent chain there.
        app->steps().stopAfterVerification = true;
    }

    std::uint32_t runStep1() { return click(control::kStep1); }
};

} // namespace

// Ports 1 and 3 are each probed for the full second; the scanner on 10 wins before the user could act.
TEST_F(Step1, ScannerOnTheThirdPortIsFoundAfterTheOtherTwoAreProbedForASecondEach) {
    SimulatedScanner& one = deafScanner("/dev/ttyUSB1");
    SimulatedScanner& three = deafScanner("/dev/ttyUSB3");
    SimulatedScanner& ten = hub.attachScanner("/dev/ttyUSB10");
    start({"/dev/ttyUSB1", "/dev/ttyUSB3", "/dev/ttyUSB10"}, {kIdYes});

    const std::uint32_t took = runStep1();

    ASSERT_TRUE(onlyBox(window, kReady, box::kQuestion));
    EXPECT_EQ(window.boxes[0].caption, "Are you ready?");
    EXPECT_GE(took, 2000u);
    EXPECT_LT(took, 2100u);
    // About fifty "W" on each silent port: one per 20 ms read time-out.
    for (SimulatedScanner* silent : {&one, &three}) {
        EXPECT_GE(silent->record().count("W"), 45);
        EXPECT_LE(silent->record().count("W"), 52);
        EXPECT_EQ(silent->record().commandTexts().size(),
                  static_cast<std::size_t>(silent->record().count("W")));
    }
    EXPECT_GE(ten.record().count("W"), 1);
    EXPECT_EQ(window.portDialogRuns, 0);
    EXPECT_TRUE(main->isOpen());
    EXPECT_EQ(main->portName(), "/dev/ttyUSB10");
    EXPECT_EQ(main->lastBaudRate(), kBaudRate);
    EXPECT_EQ(window.controlText(control::kPortResult), "ttyUSB10: Open Done!!!");
    EXPECT_TRUE(window.isControlEnabled(control::kStep2));
    EXPECT_FALSE(window.isControlEnabled(control::kPortResult));
    EXPECT_FALSE(window.isControlEnabled(control::kStep3));
    EXPECT_EQ(app->records().selectedPort.path, "/dev/ttyUSB10");
    EXPECT_EQ(outcome(), Outcome::PortOpened);
    // Not in Silent mode: nothing but the probe reached the scanner.
    EXPECT_EQ(ten.record().commandTexts().size(), static_cast<std::size_t>(ten.record().count("W")));
}

TEST_F(Step1, OfTwoAnsweringPortsTheFirstInOrderWinsAndTheOtherHearsNothing) {
    hub.attachScanner("/dev/ttyUSB2");
    SimulatedScanner& later = hub.attachScanner("/dev/ttyUSB10");
    start({"/dev/ttyUSB2", "/dev/ttyUSB10"}, {kIdYes});

    EXPECT_LT(runStep1(), 100u);

    EXPECT_EQ(main->portName(), "/dev/ttyUSB2");
    EXPECT_TRUE(later.record().bytesIn.empty());
}

// Held by another program, or not ours to open: skipped silently, and the report says why.
TEST_F(Step1, PortsThatCannotBeOpenedAreSkippedWithoutAWord) {
    SimulatedScanner& held = hub.attachScanner("/dev/ttyUSB0");
    hub.holdElsewhere("/dev/ttyUSB0");
    hub.attachScanner("/dev/ttyUSB1");
    hub.denyAccess("/dev/ttyUSB1");
    hub.attachScanner("/dev/ttyUSB2");
    start({"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"}, {kIdYes});

    EXPECT_LT(runStep1(), 100u);

    EXPECT_EQ(main->portName(), "/dev/ttyUSB2");
    EXPECT_TRUE(held.record().bytesIn.empty());
    EXPECT_EQ(window.boxes.size(), 1u); // the readiness question only
    const auto& probed = app->records().probedPorts;
    ASSERT_EQ(probed.size(), 3u);
    EXPECT_EQ(probed[0].result, PortProbe::Result::OpenFailed);
    EXPECT_EQ(probed[0].error, ChannelError::Busy);
    EXPECT_EQ(probed[1].error, ChannelError::PermissionDenied);
    EXPECT_EQ(probed[1].hint, "hint for ttyUSB1: permission denied");
    EXPECT_EQ(probed[2].result, PortProbe::Result::Answered);
}

// Running Step 1 again: the main channel holds the scanner's port, so the probe cannot open it. With no
// other answer the port dialog waits; after Cancel the earlier port is still open and Step 2 enabled.
TEST_F(Step1, AgainWhileThePortIsOpenTheProbeSkipsItAndCancelKeepsItOpen) {
    SimulatedScanner& scanner = hub.attachScanner("/dev/ttyUSB0");
    deafScanner("/dev/ttyUSB1");
    start({"/dev/ttyUSB0", "/dev/ttyUSB1"}, {kIdYes, kIdYes});
    runStep1();
    ASSERT_EQ(main->portName(), "/dev/ttyUSB0");
    const std::size_t heardBefore = scanner.record().bytesIn.size();

    const std::uint32_t took = runStep1();

    EXPECT_GE(took, 1000u); // port 1 probed for its second, port 0 not at all
    EXPECT_LT(took, 1100u);
    EXPECT_EQ(scanner.record().bytesIn.size(), heardBefore);
    EXPECT_EQ(app->records().probedPorts[0].error, ChannelError::Busy);
    EXPECT_EQ(window.portDialogRuns, 1);
    EXPECT_EQ(window.portDialogOffered.size(), 2u);
    EXPECT_TRUE(main->isOpen());
    EXPECT_EQ(main->portName(), "/dev/ttyUSB0");
    EXPECT_EQ(window.controlText(control::kPortResult), ""); // cleared as the step began
    EXPECT_TRUE(window.isControlEnabled(control::kStep2));
    EXPECT_EQ(outcome(), Outcome::PortNotFound);
}

TEST_F(Step1, NoToTheReadinessQuestionSendsNothingAndChangesNothing) {
    SimulatedScanner& scanner = hub.attachScanner("/dev/ttyUSB0");
    start({"/dev/ttyUSB0"}, {kIdNo});
    window.setControlText(control::kPortResult, "earlier port");
    window.setControlText(control::kStatus, "earlier status");

    EXPECT_EQ(runStep1(), 0u);

    EXPECT_EQ(window.boxes.size(), 1u);
    EXPECT_TRUE(scanner.record().bytesIn.empty());
    EXPECT_FALSE(main->isOpen());
    EXPECT_EQ(window.controlText(control::kPortResult), "earlier port");
    EXPECT_EQ(window.controlText(control::kStatus), "earlier status");
    EXPECT_TRUE(window.isControlEnabled(control::kPortResult));
    EXPECT_FALSE(window.isControlEnabled(control::kStep2));
    EXPECT_TRUE(app->records().sortedPorts.empty()); // not even discovery ran
    EXPECT_EQ(outcome(), Outcome::Cancelled);
}

TEST_F(Step1, SilentModeAsksNothingAndChainsIntoStep2) {
    SimulatedScanner& scanner = hub.attachScanner("/dev/ttyUSB0");
    start({"/dev/ttyUSB0"});
    window.setChecked(control::kSilentMode, true);

    runStep1();

    EXPECT_FALSE(window.sawBox(kReady));
    EXPECT_EQ(window.controlText(control::kPortResult), "ttyUSB0: Open Done!!!");
    EXPECT_GE(window.repaints, 1);
    // Step 2 talked to the scanner on the main channel and verified it.
    EXPECT_EQ(scanner.record().count("M"), 1);
    EXPECT_EQ(outcome(), Outcome::Verified);
    EXPECT_TRUE(window.isControlEnabled(control::kStep3));
}

// After Cancel the GUI chains into Step 2 as well, which meets the closed channel and says so.
// A front end that cannot wait for a manual choice ends there instead.
TEST_F(Step1, SilentModeChainsOnAfterCancelUnlessTheFrontEndEndsThere) {
    deafScanner("/dev/ttyUSB0");
    start({"/dev/ttyUSB0"});
    window.setChecked(control::kSilentMode, true);

    const std::uint32_t took = runStep1();

    EXPECT_EQ(window.portDialogRuns, 1);
    EXPECT_LT(took, 1100u); // the probe; Step 2 says at once that no port is open
    EXPECT_TRUE(window.sawBox(kNoPortOpenText));
    EXPECT_TRUE(window.isControlEnabled(control::kStep2));
    EXPECT_EQ(outcome(), Outcome::NotVerified);

    app->steps().endWhenNoPortAnswered = true;
    const std::uint32_t second = runStep1();
    EXPECT_GE(second, 1000u);
    EXPECT_LT(second, 1100u);
    EXPECT_EQ(outcome(), Outcome::PortNotFound);
}

TEST_F(Step1, FailedOpenShowsItsMessageWithTheHintAndEnablesNothing) {
    hub.attachScanner("/dev/ttyUSB0");
    start({"/dev/ttyUSB0"}, {}, true);
    window.setChecked(control::kSilentMode, true);

    runStep1();

    EXPECT_TRUE(
        onlyBox(window, "Can't open ttyUSB0!!! Please try other port\r\nhint for ttyUSB0: busy", box::kOk));
    EXPECT_EQ(window.controlText(control::kPortResult), "");
    EXPECT_FALSE(window.isControlEnabled(control::kStep2));
    EXPECT_TRUE(window.isControlEnabled(control::kPortResult));
    EXPECT_EQ(window.repaints, 0); // no Silent chain
    EXPECT_EQ(outcome(), Outcome::PortOpenFailed);
}

TEST_F(Step1, WhenNothingAnswersThePortDialogOffersTheFoundPortsForAManualChoice) {
    deafScanner("/dev/ttyUSB0");
    deafScanner("/dev/ttyS4");
    start({"/dev/ttyUSB0", "/dev/ttyS4"}, {kIdYes});
    window.choosePort(1);

    runStep1();

    ASSERT_EQ(window.portDialogOffered.size(), 2u);
    EXPECT_EQ(window.portDialogOffered[1].path, "/dev/ttyS4");
    EXPECT_EQ(main->portName(), "/dev/ttyS4");
    EXPECT_EQ(window.controlText(control::kPortResult), "ttyS4: Open Done!!!");
    EXPECT_EQ(app->records().selectedPort.path, "/dev/ttyS4");
    EXPECT_EQ(outcome(), Outcome::PortOpened);
}

TEST_F(Step1, ScannerAnsweringOnlyAfterTheProbeSecondIsNotFound) {
    hub.attachScanner("/dev/ttyUSB0", {}, faults::commands({{"W", {ReplyFault::None, 1100}}}));
    start({"/dev/ttyUSB0"}, {kIdYes});

    runStep1();

    EXPECT_EQ(window.portDialogRuns, 1);
    EXPECT_FALSE(main->isOpen());
}
