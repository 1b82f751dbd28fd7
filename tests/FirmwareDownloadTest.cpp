#include "FirmwareDownloadTest.h"
#include "Faults.h"

#include "app/ExitCodes.h"
#include "firmware/Crc16.h"
#include "steps/ClassicDownload.h"

#include <gtest/gtest.h>

using namespace orvexa;
using namespace orvexa::test;

namespace {

// Everything the scanner received after the "I","B" of the bootloader question.
std::vector<std::string> commandsAfterBootloaderQuestion(const ScannerRecord& record) {
    const auto texts = record.commandTexts();
    const auto ib = std::find(texts.begin(), texts.end(), "IB");
    return ib == texts.end() ? texts : std::vector<std::string>(ib + 1, texts.end());
}

} // namespace

TEST(ClassicPathTable, SixRowsChooseTheStartOrEndTheStep) {
    struct Row {
        bool header;
        ScannerPersonality scanner;
        int answer; // to the one question of the row, if any
        const char* shown;
        Outcome outcome;
        int firstBlock; // -1: nothing sent after the bootloader question
    };
    const ScannerPersonality noLoader = scannerWith([](auto& p) { p.bootloaderText = ""; });
    const ScannerPersonality inLoader = scannerWith([](auto& p) { p.inBootloader = true; });
    const Row rows[] = {
        {true, noLoader, 0, nullptr, Outcome::Written, 0},
        {true, inLoader, 0, nullptr, Outcome::Written, 20},
        {true, {}, 0, nullptr, Outcome::Written, 0}, // "v00" against "00": no downgrade question
        {false, noLoader, 0, nullptr, Outcome::Written, 0},
        {false, inLoader, 0, "This firmware can't be upgraded!!!\nPlease use a new firmware after A5",
         Outcome::Refused, -1},
        {false, {}, kIdYes, "Do you want to remove bootloader?", Outcome::Written, 0},
        {false, {}, kIdNo, "Do you want to remove bootloader?", Outcome::Cancelled, -1},
    };
    for (const Row& row : rows) {
        ClassicBench bench(
            row.scanner, {},
            FirmwarePackage("M307_200_A7UG", row.header ? imageOfSize(174614) : imageWithoutHeader()));
        if (row.answer != 0) {
            bench.window.answer({row.answer});
        }
        SCOPED_TRACE(std::string(row.header ? "header, " : "no header, ") + row.scanner.bootloaderText +
                     (row.scanner.inBootloader ? ", in bootloader" : ""));
        EXPECT_EQ(bench.run(), row.outcome);
        if (row.shown == nullptr) {
            EXPECT_EQ(bench.window.boxes.size(), 1u); // only the final message
        } else {
            ASSERT_GE(bench.window.boxes.size(), 1u);
            EXPECT_EQ(bench.window.boxes[0].text, row.shown);
            EXPECT_EQ(bench.window.boxes[0].type, row.answer != 0 ? box::kQuestion : box::kOk);
        }
        if (row.firstBlock < 0) {
            EXPECT_TRUE(commandsAfterBootloaderQuestion(bench.record()).empty());
            EXPECT_TRUE(bench.channel.isOpen());
            continue;
        }
        const auto frames = bench.dataFrames();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.front()->block, row.firstBlock);
        EXPECT_EQ(bench.heldImage(row.firstBlock * 256), bench.imageFrom(row.firstBlock * 256));
    }
}

TEST(ClassicPathTable, DowngradeIsAskedOnlyWhenTheImageBootloaderIsOlder) {
    // The carried header says "00".
    for (const auto& [scannerLoader, asked] : std::vector<std::pair<std::string, bool>>{
             {"v01", true}, {"v00", false}, {"v", false}, {"v0/", false}}) {
        ClassicBench bench(scannerWith([&](auto& p) { p.bootloaderText = scannerLoader; }));
        bench.window.answer({kIdNo});
        SCOPED_TRACE(scannerLoader);
        EXPECT_EQ(bench.run(), asked ? Outcome::Cancelled : Outcome::Written);
        EXPECT_EQ(bench.window.sawBox("Do you want to downgrade bootloader?"), asked);
        if (asked) {
            EXPECT_EQ(bench.window.boxes[0].caption, "Downgrade bootloader?");
            EXPECT_TRUE(commandsAfterBootloaderQuestion(bench.record()).empty());
        }
    }
}

TEST(ClassicTransfer, FromOffsetZeroSends683FramesAndClosesWithBlock683) {
    ClassicBench bench;
    EXPECT_EQ(bench.run(), Outcome::Written);

    const auto frames = bench.dataFrames();
    ASSERT_EQ(frames.size(), 683u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i]->block, i);
        ASSERT_TRUE(frames[i]->crcOk);
    }
    EXPECT_TRUE(bench.record().upgradeFinished);
    EXPECT_EQ(bench.record().closingBlock, 683);
    EXPECT_EQ(bench.record().frames.back().kind, BlockFrame::kClosingKind);
    // The scanner holds the patched image; the last block's 234 bytes past the image are erased flash.
    EXPECT_EQ(bench.heldImage(0), bench.imageFrom(0));
    const auto tail = bench.record().image(682);
    EXPECT_TRUE(std::all_of(tail.begin() + 22, tail.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(bench.package.bodyCrc(), crc16Kermit(bench.package.image() + kImageBodyOffset, 174614 - 5136));

    EXPECT_EQ(bench.window.progressUpper, 683);
    EXPECT_EQ(bench.window.progressPosition, 683);
    EXPECT_TRUE(onlyBox(bench.window, kSuccess, box::kOk));
    EXPECT_FALSE(bench.channel.isOpen());
    EXPECT_EQ(bench.window.waitCursorDepth, 0);
    EXPECT_EQ(bench.window.unscriptedQuestions(), 0u);
    // The wire order: the bootloader question, the start sequence, "H","H", frames.
    const auto texts = bench.record().commandTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "IEIT"), texts.end());
    EXPECT_EQ(texts.back(), "HH");
}

TEST(ClassicTransfer, InTheBootloaderSends663FramesFromBlock20) {
    ClassicBench bench(scannerWith([](auto& p) { p.inBootloader = true; }));
    bench.window.askForFonts(); // not written in the bootloader: unchecked, told, and the firmware goes on
    EXPECT_EQ(bench.run(), Outcome::ItemsNotAcknowledged); // but what was asked for is not all done

    const auto frames = bench.dataFrames();
    ASSERT_EQ(frames.size(), 663u);
    EXPECT_EQ(frames.front()->block, 20);
    EXPECT_EQ(frames.back()->block, 682);
    EXPECT_EQ(bench.record().closingBlock, 683);
    EXPECT_EQ(bench.heldImage(5120), bench.imageFrom(5120));
    EXPECT_EQ(bench.record().blocks.count(19), 0u);
    EXPECT_EQ(bench.window.progressPosition, 663);

    EXPECT_FALSE(bench.window.isChecked(control::kDownloadFont));
    ASSERT_EQ(bench.window.boxes.size(), 2u);
    EXPECT_EQ(bench.window.boxes[0].text,
              "Font can't be downloaded in the bootloader!!!\nPlease download font after "
              "firmware is recovered");
    EXPECT_EQ(bench.window.boxes[1].text,
              std::string(kSuccess) + "\r\n\r\nPages and fonts were not written..");
    EXPECT_EQ(bench.window.boxes[1].type, box::kOk | box::kIconExclamation);
    EXPECT_EQ(bench.window.controlText(control::kStatus), "Verified\r\nPages and fonts were not written..");
    EXPECT_TRUE(bench.record().chunks.empty());
    EXPECT_FALSE(bench.sawCommand("GnOFS"));
}

TEST(ClassicTransfer, ImageSizesAtTheEdges) {
    ClassicBench multiple({}, {}, FirmwarePackage("M307_200_A7UG", imageOfSize(40 * 256)));
    EXPECT_EQ(multiple.run(), Outcome::Written);
    EXPECT_EQ(multiple.dataFrames().size(), 40u);
    EXPECT_EQ(multiple.window.progressUpper, 41);
    EXPECT_EQ(multiple.window.progressPosition, 40);
    EXPECT_EQ(multiple.record().closingBlock, 40);
    EXPECT_EQ(multiple.heldImage(0), multiple.imageFrom(0));

    // No longer than the start offset: the closing frame follows the start sequence.
    ClassicBench empty(scannerWith([](auto& p) { p.bootloaderText = ""; }), {},
                       FirmwarePackage("M307_200_A7UG", {}));
    EXPECT_EQ(empty.run(), Outcome::Written);
    EXPECT_TRUE(empty.dataFrames().empty());
    ASSERT_EQ(empty.record().frames.size(), 1u);
    EXPECT_EQ(empty.record().frames[0].kind, BlockFrame::kClosingKind);
    EXPECT_EQ(empty.record().closingBlock, 0);
    EXPECT_TRUE(empty.window.sawBox(kSuccess));
}

TEST(ClassicStartSequence, XOnTheThirtyFirstReadNeedsNoFallback) {
    // Each read of the first wait lasts 20 ms on a silent line and is followed by 100 ms: the 31st read
    // runs from 3600 to 3620 ms after the "T".
    for (const auto& [delayMs, fallback] :
         std::vector<std::pair<std::uint32_t, bool>>{{3610, false}, {3630, true}}) {
        ClassicBench bench(scannerWith([&](auto& p) { p.readyDelayMs = delayMs; }));
        SCOPED_TRACE(delayMs);
        EXPECT_EQ(bench.run(), Outcome::Written);
        EXPECT_EQ(bench.sawCommand("IU"), fallback);
        EXPECT_EQ(bench.dataFrames().size(), 683u);
    }
}

TEST(ClassicStartSequence, FallbackIUAndTheLetterAfterIEI) {
    // A scanner that refuses "I","t" gets "u" rather than "T".
    ClassicBench bench(scannerWith([](auto& p) { p.itAccepted = false; }),
                       faults::reply("IEIu", ReplyFault::Silent));
    EXPECT_EQ(bench.run(), Outcome::Written);
    const auto texts = bench.record().commandTexts();
    const auto iei = std::find(texts.begin(), texts.end(), "IEIu");
    ASSERT_NE(iei, texts.end());
    EXPECT_NE(std::find(iei, texts.end(), "IU"), texts.end());
    EXPECT_EQ(bench.dataFrames().size(), 683u);
}

TEST(ClassicStartSequence, NoDownloadModeShowsNoBoxButAddsAStatusLine) {
    ClassicBench bench({}, faults::commands({{"IEIT", {ReplyFault::Silent}}, {"IU", {ReplyFault::Silent}}}));
    const std::uint64_t before = bench.clock.nowUs();
    EXPECT_EQ(bench.run(), Outcome::NoDownloadMode);
    EXPECT_EQ(exitCodeFor(bench.ctx.outcome, false), exitcode::kNotDone); // orvexa-cli says so
    EXPECT_TRUE(bench.window.boxes.empty());
    EXPECT_EQ(bench.window.controlText(control::kStatus), "Verified\r\nRDQ did not enter download mode..");
    EXPECT_TRUE(bench.record().frames.empty());
    EXPECT_FALSE(bench.sawCommand("HH"));
    EXPECT_TRUE(bench.channel.isOpen());
    EXPECT_EQ(bench.window.waitCursorDepth, 0);
    EXPECT_LT(bench.clock.nowUs() - before, 60'000'000u); // bounded: two pings, 81 reads and their pauses
}

TEST(ClassicTransfer, RefusedBlockGetsTenResendsThenIsPassedOver) {
    ClassicBench bench({}, faults::naks({{0, 'C', 11}, {1, 'O', 1}}));
    EXPECT_EQ(bench.run(), Outcome::TransferError);

    const auto frames = bench.dataFrames();
    const auto framesOf = [&frames](int block) {
        return std::count_if(frames.begin(), frames.end(), [block](auto* f) { return f->block == block; });
    };
    // The spent count is restored only by "X": block 1, refused straight after, is passed over at once.
    EXPECT_EQ((std::vector<std::ptrdiff_t>{framesOf(0), framesOf(1), framesOf(2)}),
              (std::vector<std::ptrdiff_t>{11, 1, 1}));
    EXPECT_EQ(frames.size(), 683u + 10u);
    EXPECT_EQ(bench.record().blocks.count(0), 0u);
    EXPECT_EQ(bench.record().blocks.count(1), 0u);
    EXPECT_EQ(bench.window.progressPosition, 683);
    EXPECT_EQ(bench.record().closingBlock, 683); // the transfer runs to the end of the image
    EXPECT_TRUE(onlyBox(bench.window, kFailure, box::kError));
    // Still there once the box is closed.
    EXPECT_EQ(bench.window.controlText(control::kStatus), "Verified\r\nFirmware download failed..");
}

TEST(ClassicTransfer, UnknownReplyLetterMovesOnButEndsInTheError) {
    ClassicBench bench({}, faults::commands({{"frame", {ReplyFault::UnknownLetter, 0, 5, 1}}}));
    EXPECT_EQ(bench.run(), Outcome::TransferError);
    EXPECT_EQ(bench.dataFrames().size(), 683u); // no resend: the wire is as it always was
    EXPECT_EQ(bench.record().frames[4].reply, '?');
    EXPECT_EQ(bench.record().closingBlock, 683);
    EXPECT_TRUE(bench.window.sawBox(kFailure));
    EXPECT_FALSE(bench.window.sawBox(kSuccess));
}

TEST(ClassicTransfer, ScannerSilentAfterAFrameEndsWithoutTheClosingFrame) {
    ClassicBench bench({}, faults::silentFrom(FaultPoint::Kind::Frame, 101));
    EXPECT_EQ(bench.run(), Outcome::TransferError);
    ASSERT_EQ(bench.record().frames.size(), 101u);
    const std::uint64_t silentAtUs = bench.record().frames.back().atUs;
    EXPECT_EQ(bench.record().frames.back().kind, BlockFrame::kDataKind);
    EXPECT_FALSE(bench.record().upgradeFinished);
    // Given up on once the reply limit passed, not before.
    EXPECT_GE(bench.clock.nowUs() - silentAtUs, classic::kFrameReplyLimitMs * 1000u);
    EXPECT_LT(bench.clock.nowUs() - silentAtUs, (classic::kFrameReplyLimitMs + 100) * 1000u);
    EXPECT_FALSE(bench.channel.isOpen());
    EXPECT_EQ(bench.window.progressPosition, 100);
    EXPECT_TRUE(onlyBox(bench.window, kFailure, box::kError));
    EXPECT_EQ(bench.window.waitCursorDepth, 0);
}

TEST(ClassicTransfer, ScannerThatErasesOnTheFirstFrameGetsThrough) {
    // Eight seconds of erasing before the first frame's answer.
    ClassicBench bench({}, faults::commands({{"frame", {ReplyFault::None, 8000, 1, 1}}}));
    EXPECT_EQ(bench.run(), Outcome::Written);
    EXPECT_EQ(bench.heldImage(0), bench.imageFrom(0));
}

TEST(ClassicConfirmations, AskedWithoutSilentModeAndNoEndsTheStep) {
    for (const auto& answers : std::vector<std::vector<int>>{{kIdNo}, {kIdYes, kIdNo}, {kIdYes, kIdYes}}) {
        ClassicBench bench;
        bench.window.setChecked(control::kSilentMode, false);
        for (int a : answers) {
            bench.window.answer({a});
        }
        const bool goOn = answers.back() == kIdYes;
        EXPECT_EQ(bench.run(), goOn ? Outcome::Written : Outcome::Cancelled);
        ASSERT_GE(bench.window.boxes.size(), answers.size());
        EXPECT_EQ(bench.window.boxes[0].caption, "Are you READY?");
        EXPECT_EQ(bench.window.boxes[0].type, box::kWarningQuestion);
        if (answers.size() > 1) {
            EXPECT_EQ(bench.window.boxes[1].caption, "FINAL WARNING");
        }
        EXPECT_EQ(bench.sawCommand("IEIT"), goOn);
        EXPECT_EQ(bench.window.progressRangeSets, goOn ? 1 : 0);
    }
}

TEST(ClassicInterruption, StopBetweenFramesOrChunksSendsNothingMoreAndClosesThePort) {
    ClassicBench frames;
    int told = 0;
    frames.ctx.beforeWriting = [&] {
        ++told;
        EXPECT_FALSE(frames.sawCommand("IEIT")); // said before the first letter that changes the scanner
    };
    frames.stopAfterSteps(100);
    EXPECT_EQ(frames.run(), Outcome::Interrupted);
    EXPECT_EQ(exitCodeFor(frames.ctx.outcome, false), exitcode::kInterrupted);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(frames.dataFrames().size(), 100u);
    EXPECT_EQ(frames.record().frames.size(), 100u); // no closing frame
    EXPECT_FALSE(frames.channel.isOpen());
    EXPECT_TRUE(frames.window.boxes.empty());
    EXPECT_EQ(frames.window.controlText(control::kStatus),
              "Verified\r\nStopped before the firmware was complete..");
    EXPECT_FALSE(frames.interruption.writing);
    EXPECT_EQ(frames.window.waitCursorDepth, 0);

    // With pages and fonts, the front end is told before the first of them, and a stop comes between
    // two chunks: no closing "GnOFS", no firmware.
    ClassicBench fonts;
    fonts.window.askForFonts();
    fonts.ctx.beforeWriting = [&] {
        EXPECT_TRUE(fonts.record().chunks.empty());
        EXPECT_FALSE(fonts.sawCommand("GnOFS"));
    };
    fonts.stopAfterSteps(10);
    EXPECT_EQ(fonts.run(), Outcome::Interrupted);
    EXPECT_EQ(fonts.record().chunks.size(), 10u);
    EXPECT_EQ(fonts.record().count("GnOFS"), 1);
    EXPECT_FALSE(fonts.sawCommand("IEIT"));
    EXPECT_FALSE(fonts.channel.isOpen());
    EXPECT_FALSE(fonts.interruption.writing);
}

TEST(ClassicProgress, PagesAndFontsMoveTheBarChunkByChunkBeforeTheFirmware) {
    ClassicBench bench;
    bench.window.askForFonts();
    EXPECT_EQ(bench.run(), Outcome::Written);
    EXPECT_EQ(bench.window.progressUnits, (std::vector<std::string>{"pages and fonts 4096", "firmware 256"}));
    const auto& log = bench.window.log;
    const auto pages = std::find(log.begin(), log.end(), "progressSetRange 0 91");
    const auto firmware = std::find(log.begin(), log.end(), "progressSetRange 0 683");
    ASSERT_NE(pages, log.end());
    EXPECT_LT(pages, firmware);
    EXPECT_EQ(bench.window.steps, 91 + 683);
    // Each range starts from empty: the firmware's bar ends full instead of wrapping 91 steps early.
    EXPECT_EQ(bench.window.progressPosition, 683);
}
