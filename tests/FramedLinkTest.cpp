// The framed link on the wire, against a scripted line on the virtual clock: exact bytes out, replies of
// chosen lengths back, and the time each wait costs.
#include "firmware/FramedLink.h"
#include "ScriptedLine.h"
#include "firmware/FramedPacket.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

const Bytes kVersionRequest{0x02, 0x51, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x46, 0x20, 0xE8, 0xED};
const Bytes kStartRequest{0x02, 0x51, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x44, 0x01, 0xBA, 0xCC};

// A version reply of `length` bytes with the three 12-character texts at 22, 34 and 46.
Bytes versionReply(std::size_t length, const char* application = "AP01.02.0B.z") {
    Bytes reply(length, '#');
    auto put = [&reply](std::size_t at, const char* text) {
        for (std::size_t i = 0; i < 12 && at + i < reply.size(); ++i) {
            reply[at + i] = static_cast<std::uint8_t>(text[i]);
        }
    };
    put(22, "LD01.02.03.x");
    put(34, "FW05.06.07.y");
    put(46, application);
    return reply;
}

struct FramedLinkTest : ::testing::Test {
    VirtualClock clock;
    ScriptedLine line{clock};
    DeviceInfo device;
    FramedLink link{line, clock, device};

    void replyToVersionRequest(Bytes reply) {
        line.answer = [reply](const Bytes& written) { return written == kVersionRequest ? reply : Bytes{}; };
    }
};

} // namespace

TEST_F(FramedLinkTest, VersionReplyFillsTheThreeTextsAndReadsNoMoreThan109Bytes) {
    Bytes reply = versionReply(109);
    reply.push_back('!'); // one byte too many: it stays on the line
    replyToVersionRequest(reply);

    EXPECT_EQ(link.queryFramedVersions(), kLargeFramedBlock);
    EXPECT_EQ(line.writes, std::vector<Bytes>{kVersionRequest});
    EXPECT_EQ(textOf(device.loaderText), "LD01.02.03.x");
    EXPECT_EQ(textOf(device.firmwareText), "FW05.06.07.y");
    EXPECT_EQ(textOf(device.applicationText), "AP01.02.0B.z");
    EXPECT_EQ(line.pending, std::deque<std::uint8_t>{'!'});
}

TEST_F(FramedLinkTest, VersionReplyOf100BytesCountsAnd99DoesNotAndEmptiesTheTexts) {
    replyToVersionRequest(versionReply(100, "AP01.10.20.0B"));
    EXPECT_EQ(link.queryFramedVersions(), kSmallFramedBlock); // character 5 '1' asks for 512
    EXPECT_EQ(textOf(device.firmwareText), "FW05.06.07.y");

    replyToVersionRequest(versionReply(99, "AP01.10.20.0B"));
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.queryFramedVersions(), kLargeFramedBlock);
    EXPECT_GE(clock.tickMs() - before, 2000u); // waited its whole limit for the rest
    EXPECT_LE(clock.tickMs() - before, 2100u);
    EXPECT_EQ(textOf(device.loaderText), "");
    EXPECT_EQ(textOf(device.firmwareText), "");
    EXPECT_EQ(textOf(device.applicationText), "");
}

TEST_F(FramedLinkTest, EachOfTheFourApplicationCharactersAloneSelects512ByteBlocks) {
    // Positions 5, 6, 8, 9 at "0", "2", "0", "B" take 1024-byte blocks; one character higher at any of
    // them asks for 512, whatever the others hold.
    const std::string base = "AP01.02.0B.x";
    replyToVersionRequest(versionReply(109, base.c_str()));
    EXPECT_EQ(link.queryFramedVersions(), kLargeFramedBlock);
    for (std::size_t position : {5u, 6u, 8u, 9u}) {
        std::string text = base;
        ++text[position];
        replyToVersionRequest(versionReply(109, text.c_str()));
        EXPECT_EQ(link.queryFramedVersions(), kSmallFramedBlock) << text;
    }
    // Lower characters never do: this is no comparison of version numbers.
    replyToVersionRequest(versionReply(109, "AP01.0/.0A.x"));
    EXPECT_EQ(link.queryFramedVersions(), kLargeFramedBlock);
    replyToVersionRequest(versionReply(109, "AP01.01.1A.x")); // "1" at 8 whatever 6 holds
    EXPECT_EQ(link.queryFramedVersions(), kSmallFramedBlock);
}

TEST_F(FramedLinkTest, ShortWriteOfTheVersionRequestSelects512ByteBlocksWithoutWaiting) {
    line.writeLimit = 11;
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.queryFramedVersions(), kSmallFramedBlock);
    EXPECT_LT(clock.tickMs() - before, 100u);
}

TEST_F(FramedLinkTest, StaleBytesAreDrainedBeforeTheVersionRequest) {
    line.pending = {'x', 'y', 'z'};
    replyToVersionRequest(versionReply(109));
    link.queryFramedVersions();
    EXPECT_EQ(textOf(device.loaderText), "LD01.02.03.x");
}

// A line that never falls silent (ten minutes of bytes, a millisecond each, stand for "never"): the drain
// gives up after its three seconds and the request goes out anyway.
TEST_F(FramedLinkTest, LineThatNeverFallsSilentCannotHoldTheDrainBeforeTheVersionRequest) {
    line.pending.assign(600'000, 'z');
    link.queryFramedVersions();
    EXPECT_EQ(line.writes, std::vector<Bytes>{kVersionRequest});
    // 3000 ms of drain, then the 109 babbled bytes taken for the version reply.
    EXPECT_LE(clock.nowUs(), (3000u + 109u + 20u) * 1000u);
}

TEST_F(FramedLinkTest, StartRequestWakesTheScannerWithPingsForThreeSecondsThenSendsItsPacket) {
    line.answer = [](const Bytes& written) {
        if (written == Bytes{'W'}) {
            return Bytes{'@'};
        }
        return written == kStartRequest ? Bytes(14, 0x06) : Bytes{};
    };
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.sendStartRequest(), FramedLink::Sent::Done);
    EXPECT_EQ(line.packets(), std::vector<Bytes>{kStartRequest});
    EXPECT_EQ(line.writes.back(), kStartRequest);
    // A ping answered at once costs about 700 ms with its pause: five fit into 3000 ms.
    EXPECT_EQ(line.writes.size() - 1, 5u);
    EXPECT_TRUE(line.pending.empty());
    EXPECT_GE(clock.tickMs() - before, 3500u);
}

TEST_F(FramedLinkTest, StartRequestCarriesOnWhenTheReplyNeverComesButFailsOnAShortWrite) {
    line.answer = [](const Bytes& written) { return written == Bytes{'W'} ? Bytes{'@'} : Bytes{}; };
    std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.sendStartRequest(), FramedLink::Sent::Done);
    EXPECT_GE(clock.tickMs() - before, 3000u + 5000u + 500u);

    line.writes.clear();
    line.writeLimit = 6;
    EXPECT_EQ(link.sendStartRequest(), FramedLink::Sent::NotWritten);
    EXPECT_EQ(line.packets().size(), 1u);
}

TEST_F(FramedLinkTest, BlockPacketCarriesItsNumberHighByteFirstAndWaitsForTheReply) {
    line.answer = [](const Bytes& written) { return written.size() > 1 ? Bytes(14, 0x06) : Bytes{}; };
    Bytes data(1024);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i);
    }
    line.pending = {'o', 'l', 'd'};
    EXPECT_EQ(link.sendBlock(256, data.data(), 1024), FramedLink::Sent::Done);

    ASSERT_EQ(line.writes.size(), 1u);
    const Bytes& packet = line.writes[0];
    EXPECT_EQ(packet, buildFramedPacket(kFramedDownload, kSubBlock, [&] {
                  Bytes body{0x01, 0x00};
                  body.insert(body.end(), data.begin(), data.end());
                  return body;
              }()));
    EXPECT_EQ(packet.size(), 1038u);
    EXPECT_TRUE(line.pending.empty());
}

TEST_F(FramedLinkTest, BlockFailsOnAShortWriteOrWhenTheScannerDoesNotAnswerWithinFiveSeconds) {
    Bytes data(512, 0xAB);
    line.writeLimit = 100;
    EXPECT_EQ(link.sendBlock(0, data.data(), 512), FramedLink::Sent::NotWritten);

    line.writeLimit = -1;
    line.answer = [](const Bytes&) { return Bytes(13, 0x06); }; // one byte short
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(link.sendBlock(1, data.data(), 512), FramedLink::Sent::Unanswered);
    EXPECT_GE(clock.tickMs() - before, 5000u);
    EXPECT_LE(clock.tickMs() - before, 5100u);
}

TEST_F(FramedLinkTest, BlockLongerThan1024BytesIsNotSent) {
    Bytes data(1025);
    EXPECT_EQ(link.sendBlock(0, data.data(), 1025), FramedLink::Sent::NotWritten);
    EXPECT_TRUE(line.writes.empty());
}
