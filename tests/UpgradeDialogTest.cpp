// The main dialog's logic: the state of the controls at start, the keys and buttons that run the steps,
// and the About box.
#include "app/UpgradeDialog.h"
#include "ScriptedWindow.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "serial/ExtraPorts.h"

#include <gtest/gtest.h>

#include <memory>

using namespace orvexa;

namespace {

struct Dialog : ::testing::Test {
    VirtualClock clock;
    SimulatedPortHub hub;
    ScriptedWindow window;
    FixedPortDiscovery discovery{{}};
    std::unique_ptr<AppContext> app;
    std::unique_ptr<UpgradeDialog> dialog;

    void start(FirmwarePackage package = FirmwarePackage::carried()) {
        app = std::make_unique<AppContext>(
            window, clock, discovery, std::make_unique<SimulatedChannel>(clock, hub),
            [this] { return std::make_unique<SimulatedChannel>(clock, hub); }, std::move(package));
        dialog = std::make_unique<UpgradeDialog>(*app);
        dialog->initDialog();
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
    EXPECT_EQ(app->steps().outcome, Outcome::Cancelled);

    // Step 2 at start: the closed channel never answers the 20-second ping.
    ASSERT_FALSE(window.isControlEnabled(control::kStep2));
    std::uint32_t before = clock.tickMs();
    EXPECT_TRUE(dialog->onKey('2'));
    EXPECT_GE(clock.tickMs() - before, 20000u);
    EXPECT_EQ(app->steps().outcome, Outcome::NotVerified);

    // Step 3 before any verification: the empty model reply counts as the framed family, whose download
    // tells the user it cannot go on.
    const std::size_t boxesBefore = window.boxes.size();
    EXPECT_TRUE(dialog->onKey('3'));
    EXPECT_EQ(window.boxes.size(), boxesBefore + 1);

    const std::size_t logSize = window.log.size();
    EXPECT_FALSE(dialog->onKey('4'));
    EXPECT_FALSE(dialog->onKey('a'));
    EXPECT_EQ(window.log.size(), logSize);
}

TEST_F(Dialog, AboutFromItsButtonAndFromTheSystemMenuEntryOnly) {
    start();
    dialog->onButton(control::kAbout);
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
    dialog->onButton(control::kStep1);
    EXPECT_EQ(window.portDialogRuns, 1); // nothing to probe on this machine
    EXPECT_TRUE(window.isControlEnabled(control::kStep2));
}
