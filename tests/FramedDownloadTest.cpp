// Step 3 for a framed-family scanner, on the virtual clock: what the scanner ends up holding, what the
// user sees, and that every way it can end closes the channel within a bounded time.
#include "steps/FramedDownload.h"
#include "FakePorts.h"
#include "FirmwareDownloadTest.h"
#include "ScriptedLine.h"
#include "ScriptedWindow.h"
#include "TestContainer.h"
#include "firmware/FramedPacket.h"

#include <gtest/gtest.h>

#include <map>

using namespace orvexa;

namespace {

// A framed scanner at the far end of a scripted line, and everything Step 3 works on.
struct FramedBench {
    FramedBench() {
        records.deviceInfo.framedBlockSize = 1024;
        line.answer = [this](const Bytes& w) {
            if (w == Bytes{'W'}) {
                return Bytes{'@'};
            }
            if (w.size() > kFramedRequestSize && w[8] == kFramedDownload && w[9] == kSubBlock) {
                const int block = (w[10] << 8) | w[11];
                stored[block] =
                    Bytes(w.begin() + kFramedHeaderSize + kBlockNumberSize, w.end() - kFramedCrcSize);
                return block <= lastAnswered ? Bytes(14, 0x06) : Bytes{};
            }
            return w.size() > 1 ? Bytes(14, 0x06) : Bytes{};
        };
    }

    VirtualClock clock;
    ScriptedLine line{clock};
    test::FrontEndWindow window;
    FakePorts discovery;
    FirmwarePackage package{"U500_500_TEST", testContainer()};
    LanguageData languages = LanguageData::carried();
    ProcessRecords records;
    StepContext ctx{window, line, clock, discovery, nullptr, package, languages, records};

    // What the scanner stored, by block number; it answers every packet with 14 bytes until it falls
    // silent after block `lastAnswered`.
    std::map<int, Bytes> stored;
    int lastAnswered = 1 << 20;

    std::size_t blockPackets() const { return line.packets().size() - 1; } // less the start request
};

struct FramedDownloadTest : ::testing::Test, FramedBench {};

} // namespace

TEST_F(FramedDownloadTest, ContainerIsWrittenWholeInFullLengthBlocksOfEitherSize) {
    for (std::uint32_t blockSize : {1024u, 512u}) {
        SCOPED_TRACE(blockSize);
        FramedBench b; // a fresh scanner and dialog for each size
        b.records.deviceInfo.framedBlockSize = blockSize;

        downloadFramed(b.ctx);

        const std::size_t blocks = blockSize == 1024 ? 171 : 342;
        ASSERT_EQ(b.stored.size(), blocks);
        EXPECT_EQ(b.stored.rbegin()->first, static_cast<int>(blocks - 1)); // numbered 0.. without a gap
        Bytes image;
        for (const auto& [number, data] : b.stored) {
            ASSERT_EQ(data.size(), blockSize) << "block " << number;
            image.insert(image.end(), data.begin(), data.end());
        }
        Bytes container = testContainer(); // then erased flash to the end of the last block
        container.resize(blocks * blockSize, 0xFF);
        EXPECT_EQ(image, container);

        EXPECT_EQ(b.window.progressUnits, std::vector<std::string>{"firmware " + std::to_string(blockSize)});
        EXPECT_EQ(b.window.progressStep, 1);
        EXPECT_EQ(b.window.progressUpper, blocks); // 174614 is no whole multiple: the bar ends full
        EXPECT_EQ(b.window.progressPosition, static_cast<int>(blocks));
        EXPECT_FALSE(b.line.isOpen());
        EXPECT_TRUE(onlyBox(b.window, test::kSuccess, box::kOk));
        EXPECT_EQ(b.ctx.outcome, Outcome::Written);
    }
}

TEST_F(FramedDownloadTest, ShortWriteOfTheStartPacketSendsNoBlockAndLeavesTheProgressBarAlone) {
    line.writeLimit = 11;
    window.progressSetStep(1);
    window.progressSetRange(0, 40);
    window.progressStepIt();
    window.progressStepIt();

    downloadFramed(ctx);

    EXPECT_EQ(line.packets().size(), 1u); // the start request, cut short
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(window.progressRangeSets, 1);
    EXPECT_EQ(window.progressUpper, 40);
    EXPECT_EQ(window.progressPosition, 2);
    EXPECT_FALSE(line.isOpen());
    EXPECT_TRUE(onlyBox(window, test::kFailure, box::kError));
    EXPECT_EQ(ctx.outcome, Outcome::TransferError);
}

TEST_F(FramedDownloadTest, ScannerSilentAfterBlockKEndsWithTheErrorWithinBoundedTime) {
    lastAnswered = 40;
    downloadFramed(ctx);
    const std::uint32_t failedAt = clock.tickMs();

    EXPECT_EQ(blockPackets(), 42u); // blocks 0 to 41; nothing after the unanswered one
    EXPECT_EQ(window.progressPosition, 41);
    EXPECT_FALSE(line.isOpen());
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].type, box::kError);
    EXPECT_EQ(ctx.outcome, Outcome::TransferError);

    // The unanswered block costs its 5000 ms limit and not much more: measure against a healthy run.
    FramedBench healthy;
    downloadFramed(healthy.ctx);
    ASSERT_EQ(healthy.ctx.outcome, Outcome::Written);
    EXPECT_LT(failedAt, healthy.clock.tickMs() + 5000);
}

TEST_F(FramedDownloadTest, WithoutABlockSizeOrAnUpdateContainerNothingIsSent) {
    // Step 3 by its key before any Step 2: no block size yet.
    records.deviceInfo.framedBlockSize = 0;
    downloadFramed(ctx);
    EXPECT_TRUE(line.writes.empty());
    EXPECT_FALSE(line.isOpen());
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].type, box::kError);
    EXPECT_EQ(window.progressRangeSets, 0);
    EXPECT_EQ(ctx.outcome, Outcome::NotVerified);

    // The classic image carried for another family is never streamed as framed blocks.
    package = FirmwarePackage::carried();
    line.open("", 0, 0, 0, 0, 0);
    records.deviceInfo.framedBlockSize = 1024;
    downloadFramed(ctx);
    EXPECT_TRUE(line.writes.empty());
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(window.boxes.size(), 2u);
    EXPECT_EQ(ctx.outcome, Outcome::Refused);
}

TEST_F(FramedDownloadTest, StopBetweenBlocksSendsNoMoreAndClosesThePort) {
    Interruption interruption;
    ctx.interruption = &interruption;
    window.interruption = &interruption;
    window.stopAt = 40;
    int told = 0;
    ctx.beforeWriting = [&] {
        ++told;
        EXPECT_TRUE(line.packets().empty()); // before the start request
    };

    downloadFramed(ctx);

    EXPECT_EQ(told, 1);
    EXPECT_EQ(stored.size(), 40u);
    EXPECT_FALSE(line.isOpen());
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(ctx.outcome, Outcome::Interrupted);
    EXPECT_FALSE(interruption.writing);
    EXPECT_NE(window.controlText(control::kStatus).find("Stopped before the firmware was complete.."),
              std::string::npos);
}
