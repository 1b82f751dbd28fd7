// The classic link on the wire, against a scripted line on the virtual clock: the letters in their
// order, the replies handed back as they came, and the time each wait costs.
#include "firmware/ClassicLink.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvexa;

namespace {

struct ClassicLinkTest : ::testing::Test {
    VirtualClock clock;
    ScriptedLine line{clock};
    DeviceInfo device;
    CommandLink commands{line, clock, device};
    ClassicLink link{commands};

    // The scanner answers the ping, and the letter `accepted` (when given) with "X".
    void answerX(char accepted) {
        line.answer = [accepted](const Bytes& written) {
            return written == Bytes{'W'}                           ? Bytes{'@'}
                   : written == Bytes{Bytes::value_type(accepted)} ? Bytes{'X'}
                                                                   : Bytes{};
        };
    }
};

} // namespace

TEST_F(ClassicLinkTest, StartSequenceAsksWithTOrUAndEndsAtTheFirstX) {
    answerX('T');
    ASSERT_TRUE(link.wake());
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::Ready);
    EXPECT_EQ(line.sentText(), "WIEIT");
    EXPECT_EQ(clock.tickMs(), 502u); // ping 200 + its reply, three pauses of 100, the "X" read at once

    line.writes.clear();
    answerX('u');
    EXPECT_EQ(link.enterDownloadMode(false), ClassicLink::Start::Ready);
    EXPECT_EQ(line.sentText(), "IEIu");
}

TEST_F(ClassicLinkTest, NoXRunsTheFallbackOnceAndCountsBothWaits) {
    answerX('U');
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::Ready);
    EXPECT_EQ(line.sentText(), "IEITWIU");

    line.writes.clear();
    answerX('\0');
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::NoX);
    EXPECT_EQ(line.sentText(), "IEITWIU");
    // 300 + 31 x (20 + 100) + ping 201 + 100 + 50 x (20 + 100).
    EXPECT_EQ(clock.tickMs() - before, 10321u);
}

TEST_F(ClassicLinkTest, ClosedChannelCountsAsALostLineAndEndsEveryWait) {
    line.close();
    EXPECT_FALSE(link.wake());
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::LineLost);
    std::uint8_t reply = 0;
    EXPECT_EQ(link.sendFrame(BlockFrame::closing(0), reply), ClassicLink::Reply::LineLost);
}

TEST_F(ClassicLinkTest, FrameReplyIsHandedBackAsItCameAndSilenceEndsAfterTwentySeconds) {
    const BlockFrame frame = BlockFrame::closing(7);
    line.answer = [](const Bytes& written) {
        return written.size() == BlockFrame::kFrameSize ? Bytes{'C'} : Bytes{};
    };
    std::uint8_t reply = 0;
    EXPECT_EQ(link.sendFrame(frame, reply), ClassicLink::Reply::Arrived);
    EXPECT_EQ(reply, 'C');
    EXPECT_EQ(line.writes.back(), Bytes(frame.bytes(), frame.bytes() + frame.size()));

    line.answer = [](const Bytes&) { return Bytes{}; };
    EXPECT_EQ(link.sendFrame(frame, reply), ClassicLink::Reply::Silent);
    EXPECT_GE(clock.tickMs(), 20000u);
    EXPECT_LT(clock.tickMs(), 20040u);
}

TEST_F(ClassicLinkTest, HoldLettersArePacedAndTheClosingFrameFollowsASecondOfQuiet) {
    link.beginFrames();
    EXPECT_EQ(line.sentText(), "HH");
    EXPECT_EQ(clock.tickMs(), 100u);
    link.sendClosingFrame(683);
    EXPECT_EQ(clock.tickMs(), 1100u);
    const Bytes& closing = line.writes.back();
    ASSERT_EQ(closing.size(), static_cast<std::size_t>(BlockFrame::kFrameSize));
    EXPECT_EQ(closing[2], 'R');
    EXPECT_EQ(closing[3] | closing[4] << 8, 683);
    EXPECT_EQ(std::count(closing.begin() + 5, closing.end(), 0), 256);
}
