// The main dialog's logic: the state of the controls at start, the keys and buttons that run the steps,
// and the About box.
#include "app/UpgradeDialog.h"
#include "DialogSession.h"
#include "steps/StepTexts.h"
#include "steps/Verification.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

constexpr char kPort[] = "/dev/ttyUSB0";

struct Dialog : ::testing::Test, DialogSession {
    void start(FirmwarePackage package = FirmwarePackage::carried()) {
        DialogSession::start({}, std::move(package));
    }

    // A scanner on the machine's one port, and the dialog started; each later attach swaps the scanner.
    SimulatedScanner& startWithScanner(ScannerPersonality personality = {}) {
        DialogSession::start({kPort});
        return hub.attachScanner(kPort, std::move(personality));
    }

    std::string enabledControls() const {
        std::string text;
        for (int id :
             {control::kExit, control::kAbout, control::kStep1, control::kPortResult, control::kStep2,
              control::kStatus, control::kStep3, control::kSilentMode, control::kDownloadFont}) {
            text += window.isControlEnabled(id) ? '1' : '0';
        }
        return text;
    }
};

} // namespace

TEST_F(Dialog, StartsWithStepOneOnlyAndOffersFontsWhenTheCarriedFirmwareDoes) {
    window.enableControl(control::kStep3, true); // whatever a front end had before
    window.setChecked(control::kSilentMode, true);
    start();
    // Exit, About, Step 1, 1022, Step 2, 1023, Step 3, Silent mode, Download Font.
    EXPECT_EQ(enabledControls(), "111101011");
    EXPECT_FALSE(window.isChecked(control::kSilentMode));
    EXPECT_FALSE(window.isChecked(control::kDownloadFont));
    EXPECT_EQ(dialog->caption(), "RDQ200 3.07 A7UG");
}

TEST_F(Dialog, FirmwareThatOffersNoFontsLeavesDownloadFontDisabled) {
    start(FirmwarePackage("M306_200_A7UG", std::vector<std::uint8_t>(6000, 0xFF)));
    EXPECT_FALSE(window.isControlEnabled(control::kDownloadFont));
    EXPECT_EQ(dialog->caption(), "RDQ200 3.06 A7UG");
}

TEST_F(Dialog, KeysRunTheirStepEvenWhenItsButtonIsDisabled) {
    start();
    window.answer({kIdNo});
    EXPECT_TRUE(dialog->onKey('1'));
    EXPECT_TRUE(window.sawBox("Did you close all other applications?\r\nIs RDQ properly connected?"));
    EXPECT_EQ(outcome(), Outcome::Cancelled);

    // Steps 2 and 3 at start run, and say at once that Step 1 comes first.
    ASSERT_FALSE(window.isControlEnabled(control::kStep2));
    for (char key : {'2', '3'}) {
        EXPECT_EQ(press(key), 0u);
        EXPECT_TRUE(lastBoxSays(kNoPortOpenText));
        EXPECT_EQ(outcome(), Outcome::NotVerified);
    }

    const std::size_t logSize = window.log.size();
    EXPECT_FALSE(dialog->onKey('4'));
    EXPECT_FALSE(dialog->onKey('a'));
    EXPECT_EQ(window.log.size(), logSize);
}

TEST_F(Dialog, AboutFromItsButtonAndFromTheSystemMenuEntryOnly) {
    start();
    click(control::kAbout);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].caption, "About Orvexa");
    EXPECT_EQ(window.boxes[0].text.substr(0, 33), "Tevanor RDQ F/W upgrade program\r\n");

    EXPECT_TRUE(dialog->onSystemCommand(kSysCommandAbout));
    EXPECT_TRUE(dialog->onSystemCommand(kSysCommandAbout | 0x3)); // the low four bits are the system's
    EXPECT_FALSE(dialog->onSystemCommand(0xF060));                // SC_CLOSE: default handling
    EXPECT_EQ(window.boxes.size(), 3u);
}

TEST_F(Dialog, StepOneButtonRunsStepOne) {
    start();
    window.answer({kIdYes});
    click(control::kStep1);
    EXPECT_EQ(window.portDialogRuns, 1); // nothing to probe on this machine
    EXPECT_TRUE(window.isControlEnabled(control::kStep2));
}

TEST_F(Dialog, StepThreeWritesOnlyTheScannerTheLastStepTwoVerifiedOnTheOpenPort) {
    SimulatedScanner& first = startWithScanner();
    window.answer({kIdYes});
    click(control::kStep1);
    click(control::kStep2);
    ASSERT_TRUE(window.isControlEnabled(control::kStep3));

    // Step 1 again (its probe cannot open the port the dialog holds, and the port dialog is cancelled):
    // the port stays open, but no scanner on it is verified any more.
    window.answer({kIdYes});
    click(control::kStep1);
    EXPECT_FALSE(window.isControlEnabled(control::kStep3));
    EXPECT_EQ(press('3'), 0u);
    EXPECT_TRUE(lastBoxSays(kNotVerifiedText));
    EXPECT_TRUE(first.record().frames.empty());

    // In Silent mode: the first scanner is verified and written; a second one that does not fit takes its
    // place, and Step 1 with Step 2 refuses it. "3" then writes nothing and asks nothing.
    window.setChecked(control::kSilentMode, true);
    click(control::kStep1);
    ASSERT_TRUE(first.record().upgradeFinished);
    ScannerPersonality misfit;
    misfit.versionText = "3.05_300_A7UG";
    SimulatedScanner& second = hub.attachScanner(kPort, misfit);
    click(control::kStep1);
    ASSERT_TRUE(lastBoxSays(kMisfitText));
    EXPECT_FALSE(window.isControlEnabled(control::kStep3));
    const std::size_t received = second.record().bytesIn.size();
    EXPECT_EQ(press('3'), 0u);
    EXPECT_TRUE(lastBoxSays(kNotVerifiedText));
    EXPECT_EQ(outcome(), Outcome::NotVerified);
    EXPECT_EQ(second.record().bytesIn.size(), received);
}

TEST_F(Dialog, StepsThatNeedThePortSayAtOnceWhenStepThreeOrACancelledSearchLeftNoneOpen) {
    SimulatedScanner& scanner = startWithScanner();
    window.setChecked(control::kSilentMode, true);
    click(control::kStep1);
    ASSERT_EQ(outcome(), Outcome::Written);
    const std::size_t received = scanner.record().bytesIn.size();

    // Step 3 closed the port: a second Step 3 neither waits nor asks.
    window.setChecked(control::kSilentMode, false);
    EXPECT_EQ(press('3'), 0u);
    EXPECT_TRUE(lastBoxSays(kNoPortOpenText));
    EXPECT_EQ(scanner.record().bytesIn.size(), received);

    // No port answers the search and its dialog is cancelled: Step 2 says the same, at once.
    hub.removePort(kPort);
    window.answer({kIdYes});
    click(control::kStep1);
    EXPECT_EQ(press('2'), 0u);
    EXPECT_TRUE(lastBoxSays(kNoPortOpenText));
    EXPECT_EQ(window.controlText(control::kStatus), kVerificationFailedText);
}
