// The command link against a scripted line: replies queued at virtual times, or a scanner that never
// stops sending. These cases need control over the bytes that the simulated scanner does not give:
// exact arrival times, endless babble, replies of any length, a closed channel.
#include "device/CommandLink.h"
#include "DeviceFields.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace orvexa;

namespace {

// One byte at 115200 baud, 10 bits.
constexpr std::uint64_t kByteAt115200Us = 87;

// The link on a scripted line, with the tool's record of the scanner.
struct LinkOnLine {
    VirtualClock clock;
    ScriptedLine line{clock};
    DeviceInfo device;
    CommandLink link{line, clock, device};

    std::uint64_t nowMs() const { return clock.nowUs() / 1000; }
};

struct LinkFixture : ::testing::Test, LinkOnLine {};

} // namespace

TEST_F(LinkFixture, PingSendsWEvery220MsUntilAnAtArrives) {
    line.arriveAtMs(450, "@");
    EXPECT_EQ(link.pingDevice(), CommandLink::Ping::Answered);
    EXPECT_EQ(line.sentText(), "WWW");
    EXPECT_EQ(line.writeTimesUs, (std::vector<std::uint64_t>{0, 220'000, 440'000}));
    EXPECT_EQ(nowMs(), 640u); // the 200 ms after the last "W" are not shortened
}

TEST_F(LinkFixture, PingAnsweredOnlyAfterTwentySecondsFails) {
    line.arriveAtMs(20100, "@");
    EXPECT_EQ(link.pingDevice(), CommandLink::Ping::Unanswered);
    // 91 passes of "W", 200 ms, a 20 ms silent read: the first pass to end past the limit.
    EXPECT_EQ(nowMs(), 20020u);
    EXPECT_EQ(line.sentText().size(), 91u);
}

TEST_F(LinkFixture, PingIgnoresOtherBytes) {
    line.arriveAtMs(10, "x!");
    line.arriveAtMs(500, "@");
    EXPECT_EQ(link.pingDevice(), CommandLink::Ping::Answered);
    EXPECT_EQ(line.sentText(), "WWW");
}

TEST_F(LinkFixture, ProbeSendsWWithoutPauseForOneSecond) {
    EXPECT_FALSE(probeDevice(line, clock));
    EXPECT_EQ(nowMs(), 1000u);
    EXPECT_EQ(line.sentText(), std::string(50, 'W'));

    LinkOnLine answering;
    answering.line.replyAfter("W", "@", 5);
    EXPECT_TRUE(probeDevice(answering.line, answering.clock));
    EXPECT_EQ(answering.clock.nowUs(), 5000u);
}

TEST_F(LinkFixture, CollectedTextLosesItsLastByte) {
    line.replyAfter("V", "M307_200_A", 1, 1);
    line.replyAfter("Iv", "v1.2.3", 1);
    line.replyAfter("W", "@", 1);
    link.queryVersion();
    EXPECT_EQ(textOf(device.firmwareText), "M307_200_");
    EXPECT_EQ(textOf(device.firmwareInfoText), "v1.2.");

    // A reply of one byte leaves an empty text; four bytes "v" and three more keep "v" and two.
    line.replyAfter("IB", "v12x", 1);
    EXPECT_TRUE(link.queryBootloader());
    EXPECT_EQ(textOf(device.bootloaderText), "v12");
    device.firmwareText.fill('Q');
    line.writes.clear();
    line.replyAfter("V", "7", 1);
    link.queryVersion();
    EXPECT_EQ(device.firmwareText[0], '\0');
    EXPECT_EQ(device.firmwareText[1], 'Q'); // only the one received byte was written
}

TEST_F(LinkFixture, CollectTextTimesSilenceAndTheQuietEnd) {
    std::array<char, 16> field{};
    std::strcpy(field.data(), "old text");
    link.collectText(field);
    EXPECT_EQ(nowMs(), 3000u); // 100 polls of a 20 ms read and a 10 ms pause
    EXPECT_EQ(textOf(field), "old text");

    // Three bytes at once from 100 ms on: they come in three polls, then 20 quiet polls follow.
    const std::uint64_t start = nowMs();
    line.arriveAtMs(start + 100, "abc");
    link.collectText(field);
    EXPECT_EQ(textOf(field), "ab");
    // 3 silent polls (90 ms), a poll that waits 10 ms for "a" (20 ms), two 10 ms polls, 20 quiet polls.
    EXPECT_EQ(nowMs() - start, 90u + 20u + 20u + 600u);
}

TEST_F(LinkFixture, OverLongAndGarbageTextsStayInsideTheirFields) {
    device = patternedDevice();
    DeviceInfo before = device;
    std::string garbage;
    for (int i = 0; i < 300; ++i) {
        garbage.push_back(static_cast<char>(i * 37 + 11));
    }
    line.replyAfter("V", garbage, 1);
    line.replyAfter("Iv", garbage, 1);
    line.replyAfter("W", "@", 1);
    line.replyAfter("IB", garbage, 1);
    link.queryVersion();
    link.queryBootloader();

    // Each field holds as much of the reply as fits before its terminator (no zero in the first 31).
    EXPECT_EQ(textOf(device.firmwareText), garbage.substr(0, 15));
    EXPECT_EQ(textOf(device.firmwareInfoText), garbage.substr(0, 31));
    EXPECT_EQ(textOf(device.bootloaderText), garbage.substr(0, 13));

    EXPECT_TRUE(onlyFieldsChanged(before, device, &DeviceInfo::firmwareText, &DeviceInfo::firmwareInfoText,
                                  &DeviceInfo::bootloaderText));
}

TEST_F(LinkFixture, OverLongFixedRepliesStayInsideTheirFields) {
    device = patternedDevice();
    const std::string longReply(200, '@');
    std::string gpsReplies;        // a GPS reply (byte 3 has bit 0 set) forty times over: the second attempt
    for (int i = 0; i < 40; ++i) { // reads the rest of the first one, which holds the same
        gpsReplies += "GPS\x01@";
    }
    line.replyAfter("Gs", gpsReplies, 1);
    line.replyAfter("M", "0123456789ABCDEFGHIJ", 1);
    line.replyAfter("GnOLG", "abcd?" + longReply, 1); // a fifth byte that is not '@', then a flood of '@'

    DeviceInfo before = device;
    EXPECT_TRUE(link.queryGps());
    EXPECT_TRUE(onlyFieldsChanged(before, device, &DeviceInfo::shortReply));
    EXPECT_EQ(device.shortReply[4], '@');

    before = device;
    link.queryModel();
    EXPECT_EQ(textOf(device.modelText), "0123456789");
    EXPECT_TRUE(onlyFieldsChanged(before, device, &DeviceInfo::modelText));

    before = device;
    const std::uint64_t start = nowMs();
    EXPECT_FALSE(link.queryFontSupport());
    EXPECT_TRUE(onlyFieldsChanged(before, device));
    // Drains (first reads of nothing), "GnOLG" paced, then the full 1000 ms: the flood did not end it.
    EXPECT_GE(nowMs() - start, 20u + 20u + 500u + 1000u);
}

TEST_F(LinkFixture, BabblingScannerCannotHoldADrain) {
    line.babbleFromUs(0, kByteAt115200Us);
    link.drainWithoutPauses();
    // At line speed the byte bound comes first, long before the time bound.
    EXPECT_EQ(line.reads, static_cast<int>(CommandLink::kDrainMaxBytes));
    EXPECT_LT(nowMs(), 100u);

    const std::uint64_t start = nowMs();
    link.drainWithPauses();
    EXPECT_GE(nowMs() - start, CommandLink::kDrainLimitMs);
    EXPECT_LE(nowMs() - start, CommandLink::kDrainLimitMs + CommandLink::kDrainPauseMs);

    // A slower babbler (a byte every 15 ms, just inside a one-byte read's 20 ms) hits the time bound.
    LinkOnLine slow;
    slow.line.babbleFromUs(0, 15'000);
    slow.link.drainWithoutPauses();
    EXPECT_GE(slow.nowMs(), CommandLink::kDrainLimitMs);
    EXPECT_LE(slow.nowMs(), CommandLink::kDrainLimitMs + 15);
}

TEST_F(LinkFixture, BabblingScannerCannotHoldCollectText) {
    line.babbleFromUs(500 * 1000, kByteAt115200Us);
    std::array<char, 14> field{};
    link.collectText(field);
    EXPECT_EQ(textOf(field), std::string(13, 'z'));
    // The first byte comes at 500 ms; the text ends at the first poll past the bound after it.
    EXPECT_GE(nowMs(), 500u + CommandLink::kCollectTextLimitMs);
    EXPECT_LE(nowMs(), 500u + CommandLink::kCollectTextLimitMs + 30u);
}

TEST_F(LinkFixture, BoundsLeaveANormalReplyAlone) {
    // A long text with slow bytes (one every 150 ms) still ends on its quiet polls, not on the bound.
    for (int i = 0; i < 15; ++i) {
        line.arriveAtMs(100 + 150 * i, std::string(1, static_cast<char>('a' + i)));
    }
    std::array<char, 32> field{};
    link.collectText(field);
    EXPECT_EQ(textOf(field), "abcdefghijklmn");
    EXPECT_LT(nowMs(), 100u + CommandLink::kCollectTextLimitMs);
}

TEST_F(LinkFixture, ClosedChannelRunsEveryWaitToItsLimit) {
    line.close();
    // Waits without a pause of their own are paced like a silent line, so they end on a virtual clock.
    EXPECT_FALSE(probeDevice(line, clock));
    EXPECT_EQ(nowMs(), 1000u);

    std::uint64_t start = nowMs();
    link.queryModel();
    EXPECT_EQ(nowMs() - start, 2u * (2000u + 1000u));
    EXPECT_EQ(textOf(device.modelText), "");

    device.firmwareText[5] = '3';
    device.firmwareText[6] = '5';
    start = nowMs();
    EXPECT_FALSE(link.queryGwQ());
    EXPECT_EQ(nowMs() - start, 300u + 1000u);

    start = nowMs();
    EXPECT_FALSE(link.queryGps());
    EXPECT_EQ(nowMs() - start, 2u * (200u + 2000u));

    // Waits with their own pauses keep their original length.
    start = nowMs();
    EXPECT_EQ(link.pingDevice(), CommandLink::Ping::Unanswered);
    EXPECT_EQ(nowMs() - start, 20000u);
    EXPECT_TRUE(line.writes.empty());
}

TEST_F(LinkFixture, OnlyTheFirstByteOfAGwQReplyDecides) {
    std::strcpy(device.firmwareText.data(), "3.05_350");
    line.replyAfter("GwQ", "?@", 1);
    EXPECT_FALSE(link.queryGwQ());
    // Two silent drains, "GwQ" paced, then the whole 1000 ms although an "@" came second.
    EXPECT_EQ(nowMs(), 20u + 20u + 300u + 1000u);
}
