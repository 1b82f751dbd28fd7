#include "Faults.h"
#include "FirmwareDownloadTest.h"

#include "app/ExitCodes.h"
#include "fonts/FlashWriter.h"

#include <gtest/gtest.h>

using namespace orvexa;
using namespace orvexa::test;

namespace {

// What the scanner must hold for each item of the layout: the packed page, or the font.
std::vector<std::uint8_t> expectedItem(const FlashLayout& layout, FlashItem item) {
    const LanguageData& data = carriedLanguages();
    if (item == FlashItem::KoreanFont) {
        return data.koreanFont;
    }
    if (item == FlashItem::JapaneseFont) {
        return data.japaneseFont;
    }
    LanguagePage page;
    packLanguagePage(page, data.table(kLanguages[static_cast<std::size_t>(item)]), layout.pageSize);
    return std::vector<std::uint8_t>(page.begin(), page.begin() + layout.pageSize);
}

int chunksOf(const ScannerRecord& record, const FlashLayout& layout, FlashItem item) {
    const std::uint32_t from = layout.targetOf(item);
    const std::uint32_t to = from + (expectedItem(layout, item).size() + 4095) / 4096 * 4096;
    return static_cast<int>(std::count_if(record.chunks.begin(), record.chunks.end(), [&](const auto& chunk) {
        return chunk.address >= from && chunk.address < to && (chunk.address - from) % 4096 == 0;
    }));
}

// Every item the layout holds is in the scanner's flash, byte for byte, and what lies past a font up to
// its last chunk's end is erased flash.
void expectScannerHolds(const ScannerRecord& record, const FlashLayout& layout) {
    for (std::size_t i = 0; i < kFlashItemCount; ++i) {
        const auto item = static_cast<FlashItem>(i);
        if (!layout.holds(item)) {
            continue;
        }
        auto expected = expectedItem(layout, item);
        if (item == FlashItem::KoreanFont || item == FlashItem::JapaneseFont) {
            expected.resize((expected.size() + 4095) / 4096 * 4096, 0xFF);
        }
        EXPECT_EQ(record.flash(layout.targetOf(item), static_cast<std::uint32_t>(expected.size())), expected)
            << flashItemName(item);
    }
}

std::string firstChunkCommand(const ScannerRecord& record) {
    const auto texts = record.commandTexts();
    const auto chunk =
        std::find_if(texts.begin(), texts.end(), [](auto& t) { return t.rfind("GFw", 0) == 0; });
    return chunk == texts.end() ? "" : *chunk;
}

} // namespace

TEST(LanguageDownload, NotModel18WritesSixPagesAndTwoFontsLoweredForFlashType4) {
    ClassicBench bench; // "3.05...": too old to be asked its flash type, so it stays 4
    bench.window.askForFonts();
    EXPECT_EQ(bench.run(), Outcome::Written);

    const FlashLayout layout = setFlashLayout(bench.package, 4);
    EXPECT_FALSE(bench.sawCommand("GFS"));
    EXPECT_EQ(firstChunkCommand(bench.record()), "GFw300000#");
    EXPECT_TRUE(bench.sawCommand("GFw320000#")); // the Korean font
    EXPECT_TRUE(bench.sawCommand("GFw340000#")); // the Japanese font
    for (FlashItem page : {FlashItem::EnglishPage, FlashItem::FrenchPage, FlashItem::ItalianPage,
                           FlashItem::SpanishPage, FlashItem::KoreanPage, FlashItem::JapanesePage}) {
        EXPECT_EQ(chunksOf(bench.record(), layout, page), 3) << flashItemName(page);
    }
    EXPECT_EQ(chunksOf(bench.record(), layout, FlashItem::KoreanFont), 18);
    EXPECT_EQ(chunksOf(bench.record(), layout, FlashItem::JapaneseFont), 55);
    EXPECT_EQ(bench.record().chunks.size(), 6u * 3 + 18 + 55);
    expectScannerHolds(bench.record(), layout);

    // "GnOFS" brackets the run: once before the first chunk and once after the last.
    const auto texts = bench.record().commandTexts();
    ASSERT_EQ(bench.record().count("GnOFS"), 2);
    const auto first = std::find(texts.begin(), texts.end(), "GnOFS");
    EXPECT_EQ((first + 1)->rfind("GFw", 0), 0u);
    const auto second = std::find(first + 1, texts.end(), "GnOFS");
    EXPECT_EQ((second - 1)->rfind("GFw376000#", 0), 0u);

    // One progress line at a time under the status text, ending with the Japanese font.
    const std::vector<std::string> expectedLines = {
        "English downloading..",     "French downloading..",     "Italian downloading..",
        "Spanish downloading..",     "Korean downloading..",     "Japanese downloading..",
        "Korean font downloading..", "Korean font downloaded..", "Japanese font downloading..",
        "Japanese font downloaded.."};
    std::vector<std::string> lines(bench.window.statusHistory.begin() + 1, bench.window.statusHistory.end());
    ASSERT_EQ(lines.size(), expectedLines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], "Verified\r\n" + expectedLines[i]);
    }
    EXPECT_GE(bench.window.repaints, 8);
    // Pages and fonts come before the firmware.
    EXPECT_LT(bench.record().chunks.back().atUs, bench.record().frames.front().atUs);
    EXPECT_EQ(bench.heldImage(0), bench.imageFrom(0));
}

TEST(LanguageDownload, FlashTypeDecidesTheOffsetOnlyFromAnAcceptedReply) {
    struct Case {
        const char* firmwareText;
        std::uint8_t scannerFlashType;
        ReplyFault fault;
        const char* firstChunk;
        bool asked;
    };
    const Case cases[] = {
        {"3.07_200_A7UG", 8, ReplyFault::None, "GFw700000#", true},
        {"3.07_200_A7UG", 0x38, ReplyFault::None, "GFw300000#", true}, // the character '8' is not 8
        {"3.07_200_A7UG", 8, ReplyFault::Refuse, "GFw300000#", true},
        {"3.07_200_A7UG", 8, ReplyFault::Silent, "GFw300000#", true},
        {"3.0\x87_200_A7UG", 8, ReplyFault::None, "GFw300000#", false}, // signed: 0x87 is below '6'
    };
    for (const Case& c : cases) {
        ClassicBench bench(scannerWith([&](auto& p) { p.flashType = c.scannerFlashType; }),
                           faults::reply("GFS", c.fault));
        bench.setFirmwareText(c.firmwareText);
        bench.window.askForFonts();
        SCOPED_TRACE(c.firstChunk + std::string(" ") + std::to_string(c.scannerFlashType));
        EXPECT_EQ(bench.run(), Outcome::Written);
        EXPECT_EQ(bench.record().count("GFS"), !c.asked ? 0 : c.fault == ReplyFault::Silent ? 2 : 1);
        EXPECT_EQ(firstChunkCommand(bench.record()), c.firstChunk);
    }
}

TEST(LanguageDownload, Model18EditionsWriteTheirItemsWithoutOffsetOrQuestion) {
    struct Edition {
        const char* identity;
        std::vector<std::string> commands; // the first chunk of each item, in order
    };
    const Edition editions[] = {
        {"M307_180J1234", {"GFw43800#", "GFw44800#", "GFw45800#", "GFw46400#", "GFw49000#"}},
        {"M307_180_1234", {"GFw5e400#", "GFw63c00#", "GFw66800#", "GFw69400#", "GFw6c000#", "GFw6ec00#"}},
    };
    for (const Edition& edition : editions) {
        ClassicBench bench({}, {}, FirmwarePackage(edition.identity, imageOfSize(174614)));
        bench.setFirmwareText("3.07_180_1234"); // new enough to be asked, were it not model 18
        bench.window.askForFonts();
        SCOPED_TRACE(edition.identity);
        EXPECT_EQ(bench.run(), Outcome::Written);
        EXPECT_FALSE(bench.sawCommand("GFS"));
        for (const std::string& command : edition.commands) {
            EXPECT_TRUE(bench.sawCommand(command)) << command;
        }
        const FlashLayout layout = setFlashLayout(bench.package, 4);
        EXPECT_EQ(layout.addressOffset, 0u);
        EXPECT_EQ(chunksOf(bench.record(), layout, FlashItem::EnglishPage), 3); // 11264 bytes in three chunks
        const bool j = bench.package.isModel18J();
        EXPECT_EQ(bench.record().chunks.size(), j ? 3u + 3 + 55 : 5u * 3 + 18);
        // An 11264-byte page is sent as 12288: the last 1024 bytes are erased flash.
        const auto& englishLast = bench.record().chunks[2].data;
        EXPECT_TRUE(
            std::all_of(englishLast.begin() + 3072, englishLast.end(), [](auto b) { return b == 0xFF; }));
        expectScannerHolds(bench.record(), layout);
    }
}

TEST(LanguageDownload, GnOFSOnlyForScannersThatTakeFonts) {
    ClassicBench bench(scannerWith([](auto& p) { p.fontSupport = false; }));
    bench.window.askForFonts();
    EXPECT_EQ(bench.run(), Outcome::Written);
    EXPECT_EQ(bench.record().count("GnOFS"), 0);
    EXPECT_EQ(bench.record().chunks.size(), 91u);
}

TEST(LanguageDownload, UnacknowledgedChunkIsReportedAndTheRunGoesOn) {
    // The 20th chunk, the Korean font's second, goes unanswered.
    ClassicBench bench({}, faults::commands({{"GFw", {ReplyFault::Silent, 0, 20, 1}}}));
    bench.window.askForFonts();
    EXPECT_EQ(bench.run(), Outcome::ItemsNotAcknowledged);
    EXPECT_EQ(exitCodeFor(bench.ctx.outcome, false), exitcode::kTransferError);

    EXPECT_EQ(bench.record().chunks.size(), 91u);
    EXPECT_FALSE(bench.record().chunks[19].stored);
    EXPECT_EQ(bench.window.controlText(control::kStatus),
              "Verified\r\nJapanese font downloaded..\r\nKorean font download failed..");
    // The firmware still goes on; its message says what failed, under the warning icon.
    EXPECT_EQ(bench.heldImage(0), bench.imageFrom(0));
    EXPECT_TRUE(onlyBox(bench.window, std::string(kSuccess) + "\r\n\r\nKorean font download failed..",
                        box::kOk | box::kIconExclamation));
}

TEST(LanguageDownload, ScannerThatTakesNoFontsGetsTheFirmwareButNotASuccessExit) {
    // It refuses "GnOLG": Step 2 takes "Download Font" off.
    ClassicBench bench(scannerWith([](auto& p) { p.fontSupport = false; }));
    bench.window.askForFonts();
    verifyDevice(bench.ctx); // Silent mode chains Step 3
    EXPECT_EQ(bench.ctx.outcome, Outcome::ItemsNotAcknowledged);
    EXPECT_EQ(exitCodeFor(bench.ctx.outcome, false), exitcode::kTransferError);
    EXPECT_TRUE(bench.record().chunks.empty());
    EXPECT_EQ(bench.heldImage(0), bench.imageFrom(0));
    EXPECT_TRUE(
        contains(bench.window.controlText(control::kStatus), "\r\nPages and fonts were not written.."));
    ASSERT_EQ(bench.window.boxes.size(), 2u); // Step 2's font message, then the final one
    EXPECT_EQ(bench.window.boxes[1].text,
              std::string(kSuccess) + "\r\n\r\nPages and fonts were not written..");
    EXPECT_EQ(bench.window.boxes[1].type, box::kOk | box::kIconExclamation);
}

TEST(LanguageDownload, TableThatCannotBeStoredIsRefusedBeforeAnythingIsSent) {
    LanguageData languages = carriedLanguages();
    languages.tables[1][7] = "Sixteen bytes!!!";
    ClassicBench bench({}, {}, carriedPackage(), languages);
    bench.setFirmwareText("3.07_200_A7UG");
    bench.window.askForFonts();
    EXPECT_EQ(bench.run(), Outcome::Refused);
    EXPECT_TRUE(onlyBox(bench.window,
                        "The French language table can't be downloaded: text 7 is 16 bytes long, and a text "
                        "may have at most 15.",
                        box::kError));
    const auto texts = bench.record().commandTexts();
    EXPECT_EQ(texts.back(), "IB"); // nothing after the bootloader question: no "GFS", "GnOFS" or chunk
    EXPECT_TRUE(bench.record().chunks.empty());
}

// The flash writer on a link to a scanner that answers with these faults.
struct WriterBench : ScannerSession<> {
    explicit WriterBench(ScannerFaults faults) : ScannerSession({{}, std::move(faults)}) {}
    CommandLink link{channel, clock, records.deviceInfo};
    FlashWriter writer{link};
};

TEST(FlashWriter, ChunkAcknowledgementWaitIsBounded) {
    WriterBench s(faults::reply("GFw", ReplyFault::Silent));
    const std::vector<std::uint8_t> blob(5000, 0x11);
    EXPECT_EQ(s.writer.writeBlob(blob.data(), 5000, 0x1000), 2);
    EXPECT_GE(s.clock.nowUs(), 4'000'000u);
    EXPECT_LT(s.clock.nowUs(), 4'200'000u);
    const auto& chunks = s.scanner.record().chunks;
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].address, 0x2000u);
    EXPECT_EQ(chunks[1].data[903], 0x11);
    EXPECT_EQ(chunks[1].data[904], 0xFF); // 5000 - 4096 = 904 bytes of the blob

    s.channel.close();
    const std::uint64_t closedAt = s.clock.nowUs();
    EXPECT_FALSE(s.writer.writeFlashChunk(blob.data(), 5000, 0x1000, 0));
    EXPECT_LT(s.clock.nowUs() - closedAt, 2'200'000u);
}

TEST(FlashWriter, FlashTypeQueryIsBoundedAgainstABabblingScanner) {
    WriterBench s(faults::reply("W", ReplyFault::Babble));
    setText(s.records.deviceInfo.firmwareText, "3.07_200_A7UG");
    s.link.pingDevice(); // answered, then bytes without end
    const std::uint64_t before = s.clock.nowUs();
    queryFlashType(s.link);
    // The drain's bound, then two attempts of three letters and 2000 ms each.
    EXPECT_LE(s.clock.nowUs() - before, (CommandLink::kDrainLimitMs + 2 * (300 + 2000) + 100) * 1000u);
    EXPECT_EQ(s.records.deviceInfo.flashType, 4);
}
