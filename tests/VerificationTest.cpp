// Step 2 against the simulated scanner on the virtual clock: what the user sees (boxes, the status box,
// the controls), what crossed the wire, and what the scanner ends up holding when Silent mode chains
// into Step 3.
#include "steps/Verification.h"
#include "Faults.h"
#include "ScannerSession.h"
#include "TestContainer.h"
#include "TextChecks.h"
#include "steps/StepTexts.h"
#include "steps/Steps.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvexa;

namespace {

const char* kFailed = "RDQ Verification Failed!!!";

struct Step2 : ::testing::Test, ScannerSession<> {
    // A fresh scanner on the line, as when the user swaps scanners between two runs of Step 2; the
    // process records and the dialog stay.
    void connect(ScannerPersonality personality = {}, ScannerFaults faults = {}) {
        scanner = SimulatedScanner(std::move(personality), std::move(faults));
        channel.openDefault("cable");
        ctx.outcome = Outcome::None;
    }

    std::uint32_t run() {
        const std::uint32_t before = clock.tickMs();
        verifyDevice(ctx);
        return clock.tickMs() - before;
    }

    // The controls that Step 2 may change, as one comparable text.
    std::string controls() const {
        return window.controlText(control::kStatus) + "|" +
               std::to_string(window.isControlEnabled(control::kStatus)) +
               std::to_string(window.isControlEnabled(control::kStep3)) +
               std::to_string(window.isControlEnabled(control::kDownloadFont)) +
               std::to_string(window.isChecked(control::kDownloadFont));
    }

    // Application characters 5, 6, 8, 9 at "0", "2", "0", "B": 1024-byte blocks.
    static ScannerPersonality framed(const char* application = "AP98_02_0B00") {
        ScannerPersonality p = ScannerPersonality::framed();
        p.framedFirmwareText = "FW12_34_5678";
        p.framedApplicationText = application;
        return p;
    }

    void carryContainer() { package = FirmwarePackage("U500_500_TEST", testContainer()); }
};

} // namespace

TEST_F(Step2, SilentScannerGetsTheFailedMessageAfterTwentySecondsAndNothingElseChanges) {
    connect({}, faults::silentOn(""));
    records.statusText = "earlier";
    window.enableControl(control::kDownloadFont, true);
    const std::string before = controls();

    const std::uint32_t took = run();

    EXPECT_GE(took, 20000u);
    EXPECT_LT(took, 20500u);
    EXPECT_EQ(window.controlText(control::kStatus), kFailed);
    EXPECT_EQ(controls(), kFailed + before.substr(before.find('|')));
    EXPECT_EQ(records.statusText, "earlier");
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(ctx.outcome, Outcome::NotVerified);

    // Step 2 before Step 1: no ping into a closed channel, but at once the reason and what to do.
    channel.close();
    EXPECT_EQ(run(), 0u);
    EXPECT_TRUE(onlyBox(window, kNoPortOpenText, box::kError));
    EXPECT_EQ(window.controlText(control::kStatus), kFailed);
    EXPECT_FALSE(window.isControlEnabled(control::kStep3));
}

TEST_F(Step2, GpsScannerIsRefusedWithTheStopIcon) {
    connect(scannerWith([](auto& p) { p.gps = true; }));
    const std::string before = controls();
    run();
    EXPECT_TRUE(onlyBox(window, "This firmware doesn't support GPS.\r\nPlease keep using current version.",
                        box::kError));
    EXPECT_EQ(controls(), before);
    EXPECT_EQ(scanner.record().count("V"), 0);
    EXPECT_EQ(ctx.outcome, Outcome::Refused);
}

TEST_F(Step2, ClassicScannerIsVerifiedWithModelFirmwareAndInfoTexts) {
    connect();
    run();
    const std::string expected =
        "RDQ is verified[00A7UG] !!\r\nFirmware: [3.05_200_A7UG RDQ200 BT Imager A7UG]";
    EXPECT_EQ(records.statusText, expected);
    // The status box read-only, Step 3 and Download Font enabled (and not ticked for the user).
    EXPECT_EQ(controls(), expected + "|0110");
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_TRUE(records.deviceInfo.itAccepted);
    EXPECT_TRUE(records.deviceInfo.fontCapable);
    EXPECT_EQ(records.deviceInfo.framedBlockSize, 512u);
    EXPECT_EQ(ctx.outcome, Outcome::Verified);
    // Firmware text "3...": no question about external memory.
    EXPECT_EQ(scanner.record().count("GFQ"), 0);
    EXPECT_EQ(scanner.record().count("It"), 1);
    EXPECT_EQ(scanner.record().count("GnOLG"), 1);
}

TEST_F(Step2, FirmwareForAnotherVersionOrModelGetsTheVerdictOneMessage) {
    for (const char* version : {"3.15_200_A7UG", "3.05_300_A7UG", "3.05_210_A7UG"}) {
        SCOPED_TRACE(version);
        connect();
        run(); // a scanner verified before this one took its place
        window = ScriptedWindow();
        connect(scannerWith([&](auto& p) { p.versionText = version; }));
        run();
        EXPECT_TRUE(onlyBox(
            window, "This firmware can't run properly on this RDQ.\r\nPlease use correct firmware version.",
            box::kError));
        EXPECT_FALSE(window.isControlEnabled(control::kStep3));
        EXPECT_EQ(ctx.outcome, Outcome::Refused);
        // Step 3 no longer takes the earlier verification for this scanner's.
        firmwareDownload(ctx);
        EXPECT_EQ(window.boxes.back().text, kNotVerifiedText);
        EXPECT_TRUE(scanner.record().frames.empty());
    }
}

TEST_F(Step2, VersionTwoScannerIsAskedAboutExternalMemory) {
    const std::string verdict2 =
        "Can't identify if this RDQ has external memory.\r\nPlease try again after upgrade "
        "to the latest 2.8x version.";
    for (char answer : {'@', '!', '\0'}) {
        SCOPED_TRACE(answer);
        window = ScriptedWindow();
        connect(scannerWith([&](auto& p) {
            p.versionText = "2.05_200_A7UG";
            p.externalMemoryAnswer = answer;
        }));
        run();
        EXPECT_GE(scanner.record().count("GFQ"), 1);
        if (answer == '@') {
            EXPECT_TRUE(window.boxes.empty());
            EXPECT_EQ(ctx.outcome, Outcome::Verified);
            EXPECT_TRUE(channel.isOpen());
        } else {
            EXPECT_TRUE(onlyBox(window, verdict2, box::kError));
            EXPECT_EQ(ctx.outcome, Outcome::Refused);
            EXPECT_EQ(channel.isOpen(), answer == '!'); // silence closes the channel
        }
    }
}

TEST_F(Step2, ScannerInItsBootloaderIsVerifiedWhateverTheIdentity) {
    connect(scannerWith([](auto& p) {
        p.inBootloader = true;
        p.inBootloaderText = "Bootloader 9.99_900";
    }));
    run();
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(ctx.outcome, Outcome::Verified);
    EXPECT_TRUE(window.isControlEnabled(control::kStep3));
}

TEST_F(Step2, ScannerThatRefusesModelIsFramedAndTheCarriedFirmwareEndsTheProcess) {
    connect({}, faults::reply("M", ReplyFault::Refuse));
    records.statusText = "kept";
    run();
    EXPECT_TRUE(onlyBox(window, "Wrong RDQ500 Firmware!!!", box::kOk));
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(window.exitCode, 0);
    // The exit was the last thing asked of the dialog: nothing ran after it.
    EXPECT_EQ(window.log.back(), "exit 0");
    EXPECT_EQ(records.statusText, "kept");
    EXPECT_FALSE(window.isControlEnabled(control::kStep3));
    EXPECT_EQ(scanner.record().count("It"), 0);
    EXPECT_EQ(ctx.outcome, Outcome::Refused);
    // The framed version request was the last thing sent.
    const auto& in = scanner.record().bytesIn;
    ASSERT_GE(in.size(), 12u);
    EXPECT_EQ(std::vector<std::uint8_t>(in.end() - 12, in.end()),
              (std::vector<std::uint8_t>{0x02, 0x51, 0x00, 0x0C, 0, 0, 0, 0, 0x46, 0x20, 0xE8, 0xED}));
}

TEST_F(Step2, FontOptionForAScannerWithoutFontsIsExplainedUncheckedAndDisabled) {
    const ScannerPersonality noFonts = scannerWith([](auto& p) { p.fontSupport = false; });
    connect(noFonts);
    window.enableControl(control::kDownloadFont, true);
    window.setChecked(control::kDownloadFont, true);
    window.log.clear();
    run();
    EXPECT_TRUE(onlyBox(window, "Please download font after supported firmware is installed !!!", box::kOk));
    const auto at = [this](const std::string& line) {
        return std::find(window.log.begin(), window.log.end(), line) - window.log.begin();
    };
    EXPECT_LT(at("box 0 Please download font after supported firmware is installed !!!"), at("disable 1026"));
    EXPECT_LT(at("disable 1026"), at("uncheck 1026"));
    EXPECT_FALSE(window.isChecked(control::kDownloadFont));
    EXPECT_EQ(ctx.outcome, Outcome::Verified);

    // Unchecked: no box, still disabled. With font support: enabled, and a check is kept.
    window = ScriptedWindow();
    connect(noFonts);
    run();
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_FALSE(window.isControlEnabled(control::kDownloadFont));
    window = ScriptedWindow();
    window.setChecked(control::kDownloadFont, true);
    connect();
    run();
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_TRUE(window.isControlEnabled(control::kDownloadFont));
    EXPECT_TRUE(window.isChecked(control::kDownloadFont));
}

TEST_F(Step2, TextsAScannerDoesNotSendAreKeptButNoVersionReplyFailsAClassicScanner) {
    connect();
    run();
    ASSERT_EQ(ctx.outcome, Outcome::Verified);

    // The next scanner answers "V" but not "I","v": the earlier info text stays and is shown.
    connect(scannerWith([](auto& p) { p.versionText = "3.06_200_B1"; }),
            faults::reply("Iv", ReplyFault::Silent));
    run();
    EXPECT_EQ(records.statusText,
              "RDQ is verified[00A7UG] !!\r\nFirmware: [3.06_200_B1 RDQ200 BT Imager A7UG]");

    // A scanner that does not answer "V" would be judged by "3.06_200_B1", left by the one before: it
    // fails instead, and nothing is enabled by this run.
    connect(scannerWith([](auto& p) { p.versionText = "9.99_999"; }), faults::reply("V", ReplyFault::Silent));
    const std::string status = records.statusText;
    window.log.clear();
    run();
    EXPECT_EQ(window.controlText(control::kStatus), kFailed);
    EXPECT_EQ(records.statusText, status);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_TRUE(std::none_of(window.log.begin(), window.log.end(),
                             [](const std::string& line) { return line.rfind("enable", 0) == 0; }));
    EXPECT_EQ(textOf(records.deviceInfo.firmwareText), "3.06_200_B1"); // kept, never cleared as a whole
    EXPECT_EQ(ctx.outcome, Outcome::NotVerified);
}

TEST_F(Step2, FramedScannerIsVerifiedWithEachVersionBesideThePackageVersion) {
    carryContainer();
    // The classic "V" is not what the framed family is judged by.
    connect(framed(), faults::reply("V", ReplyFault::Silent));
    run();
    EXPECT_EQ(records.statusText, "RDQ is verified[00B2WW] !!\r\n"
                                  "Loader:       L500_01_0A00 => 01.02.03\r\n"
                                  "Firmware:    FW12_34_5678 => 12.04.05\r\n"
                                  "Application: AP98_02_0B00 => 98.06.07");
    EXPECT_EQ(window.controlText(control::kStatus), records.statusText);
    EXPECT_TRUE(window.isControlEnabled(control::kStep3));
    EXPECT_EQ(records.deviceInfo.framedBlockSize, 1024u);
    EXPECT_EQ(scanner.record().count("It"), 0); // no classic queries in the framed branch
    EXPECT_EQ(ctx.outcome, Outcome::Verified);

    connect(framed("AP98_02_1B00"));
    run();
    EXPECT_EQ(records.deviceInfo.framedBlockSize, 512u);
}

TEST_F(Step2, SilentModeChainsAVerifiedFramedScannerIntoTheFramedDownload) {
    carryContainer();
    window.setChecked(control::kSilentMode, true);
    for (const char* application : {"AP98_02_0B00", "AP98_02_0C00"}) { // 1024-byte blocks, then 512
        SCOPED_TRACE(application);
        connect(framed(application));
        window.boxes.clear();
        window.repaints = 0;
        run();

        EXPECT_EQ(window.repaints, 1);
        const std::size_t blockSize = records.deviceInfo.framedBlockSize;
        EXPECT_EQ(blockSize, application[9] == 'B' ? 1024u : 512u);
        std::vector<std::uint8_t> container =
            testContainer(); // then erased flash to the end of the last block
        container.resize((blockSize == 1024 ? 171u : 342u) * blockSize, 0xFF);
        EXPECT_EQ(scanner.record().framedImage(), container);
        EXPECT_TRUE(onlyBox(
            window,
            "Firmware updated sucessfully!!!\r\n\nPlease make sure to set factory default after restart RDQ",
            box::kOk));
        EXPECT_FALSE(channel.isOpen());
        EXPECT_EQ(ctx.outcome, Outcome::Written);
    }

    // A front end that stops after Step 2 gets no Step 3, Silent mode or not.
    connect(framed());
    ctx.stopAfterVerification = true;
    window.boxes.clear();
    run();
    EXPECT_TRUE(scanner.record().framedBlocks.empty());
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(ctx.outcome, Outcome::Verified);
}

// No reply at all to "M" is a scanner that fell silent, not one of the framed family.
TEST_F(Step2, ScannerSilentFromTheModelQueryOnFailsAndTheDialogStays) {
    connect({}, faults::silentOn("M"));
    run();
    EXPECT_EQ(window.controlText(control::kStatus), kFailed);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_FALSE(window.exitCode.has_value());
    EXPECT_TRUE(channel.isOpen());
    EXPECT_TRUE(scanner.record().packets.empty());
    EXPECT_EQ(ctx.outcome, Outcome::NotVerified);
}

TEST_F(Step2, LineLostAnywhereEndsTheStepAtOnceSayingTheScannerWasDisconnected) {
    carryContainer(); // so that the framed branch goes on past the package check
    const std::pair<const char*, bool> points[] = {
        {"W", false},     {"Gs", false},           {"V", false}, {"M", false}, {"It", false},
        {"GnOLG", false}, {"framed-version", true}};
    for (const auto& [key, framedScanner] : points) {
        SCOPED_TRACE(key);
        window = ScriptedWindow();
        window.enableControl(control::kStep3, true); // left by an earlier verification
        connect(framedScanner ? framed() : ScannerPersonality{}, faults::vanishOn(key));
        run();
        ASSERT_TRUE(scanner.vanishedAtUs().has_value());
        // One read and one pause after the loss at most, where the waits would run for seconds.
        EXPECT_LE(clock.nowUs() - *scanner.vanishedAtUs(), 300'000u);
        EXPECT_EQ(window.controlText(control::kStatus), std::string(kFailed) + "\r\n" + kDisconnectedLine);
        EXPECT_TRUE(window.boxes.empty());
        EXPECT_FALSE(window.isControlEnabled(control::kStep3));
        EXPECT_EQ(ctx.outcome, Outcome::NotVerified);
    }
}
