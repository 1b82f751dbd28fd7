// The classic link on the wire, against a scripted line on the virtual clock: the letters in their
// order, the replies handed back as they came, and the time each wait costs.
#include "firmware/ClassicLink.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

Bytes letters(const char* text) {
    Bytes bytes;
    for (const char* c = text; *c != '\0'; ++c) {
        bytes.push_back(static_cast<std::uint8_t>(*c));
    }
    return bytes;
}

// Every write of one byte, in order, as one string of letters.
Bytes singleLetters(const std::vector<Bytes>& writes) {
    Bytes result;
    for (const Bytes& w : writes) {
        if (w.size() == 1) {
            result.push_back(w[0]);
        }
    }
    return result;
}

struct ClassicLinkTest : ::testing::Test {
    VirtualClock clock;
    ScriptedLine line{clock};
    DeviceInfo device;
    CommandLink commands{line, clock, device};
    ClassicLink link{commands};

    // The scanner answers the ping, and `accepted` (when given) with "X".
    void answerX(const Bytes& accepted) {
        line.answer = [accepted](const Bytes& written) {
            if (written == Bytes{'W'}) {
                return Bytes{'@'};
            }
            return written == accepted ? Bytes{'X'} : Bytes{};
        };
    }
};

} // namespace

TEST_F(ClassicLinkTest, StartSequenceAsksWithTOrUAndEndsAtTheFirstX) {
    answerX(letters("T"));
    ASSERT_TRUE(link.wake());
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::Ready);
    EXPECT_EQ(singleLetters(line.writes), letters("WIEIT"));
    // Ping 200 ms + its reply, three 100 ms pauses, then the "X" read at once.
    EXPECT_EQ(clock.tickMs(), 502u);

    line.writes.clear();
    answerX(letters("u"));
    EXPECT_EQ(link.enterDownloadMode(false), ClassicLink::Start::Ready);
    EXPECT_EQ(singleLetters(line.writes), letters("IEIu"));
}

TEST_F(ClassicLinkTest, NoXRunsTheFallbackOnceAndCountsBothWaits) {
    answerX(letters("U"));
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::Ready);
    EXPECT_EQ(singleLetters(line.writes), letters("IEITWIU"));

    line.writes.clear();
    answerX({});
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.enterDownloadMode(true), ClassicLink::Start::NoX);
    EXPECT_EQ(singleLetters(line.writes), letters("IEITWIU"));
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

TEST_F(ClassicLinkTest, HoldLettersArePacedAndTheFirstFrameFollowsAtOnce) {
    link.beginFrames();
    EXPECT_EQ(singleLetters(line.writes), letters("HH"));
    EXPECT_EQ(clock.tickMs(), 100u);
}

TEST_F(ClassicLinkTest, FrameReplyIsHandedBackAsItCameAndSilenceEndsAfterTwentySeconds) {
    const std::uint8_t image[256] = {};
    const BlockFrame frame = BlockFrame::data(7, image, 256, 0);
    line.answer = [](const Bytes& written) { return written.size() == 261 ? Bytes{'C'} : Bytes{}; };
    std::uint8_t reply = 0;
    EXPECT_EQ(link.sendFrame(frame, reply), ClassicLink::Reply::Arrived);
    EXPECT_EQ(reply, 'C');
    EXPECT_EQ(line.writes.back(), Bytes(frame.bytes(), frame.bytes() + 261));

    line.answer = [](const Bytes&) { return Bytes{}; };
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.sendFrame(frame, reply), ClassicLink::Reply::Silent);
    EXPECT_GE(clock.tickMs() - before, 20000u);
    EXPECT_LT(clock.tickMs() - before, 20040u);
}

TEST_F(ClassicLinkTest, ClosingFrameFollowsASecondOfQuietAndCarriesTheNextBlockNumber) {
    link.sendClosingFrame(683);
    EXPECT_EQ(clock.tickMs(), 1000u);
    ASSERT_EQ(line.writes.size(), 1u);
    const Bytes& closing = line.writes[0];
    ASSERT_EQ(closing.size(), 261u);
    EXPECT_EQ(closing[2], 'R');
    EXPECT_EQ(closing[3] | closing[4] << 8, 683);
    EXPECT_EQ(std::count(closing.begin() + 5, closing.end(), 0), 256);
}
