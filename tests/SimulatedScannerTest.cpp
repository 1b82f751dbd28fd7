// The simulated scanner driven with raw bytes through a SimulatedChannel, on the virtual clock: every
// exchange the tool relies on, for both families, and what the scanner keeps of it.
#include "SimulatedScanner.h"
#include "SimulatedChannel.h"
#include "VirtualClock.h"

#include "firmware/Crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvexa;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// The tool's way: each letter a write of its own, with a pause after it.
void sendLetters(SimulatedChannel& channel, VirtualClock& clock, std::string_view letters,
                 std::uint32_t pauseMs = 100) {
    for (char c : letters) {
        const auto byte = static_cast<std::uint8_t>(c);
        channel.write(&byte, 1);
        clock.sleepMs(pauseMs);
    }
}

void sendBlock(SimulatedChannel& channel, const Bytes& block) {
    channel.write(block.data(), static_cast<std::int32_t>(block.size()));
}

// Reads up to n bytes, one read per byte as the tool does, stopping at the first empty read.
Bytes readReply(SimulatedChannel& channel, std::size_t n) {
    Bytes reply;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t byte = 0;
        if (channel.read(&byte, 1) != 1) {
            break;
        }
        reply.push_back(byte);
    }
    return reply;
}

Bytes blockFrame(char kind, std::uint16_t block, std::uint8_t fill, bool spoilCrc = false) {
    Bytes frame(261, fill);
    frame[2] = static_cast<std::uint8_t>(kind);
    frame[3] = static_cast<std::uint8_t>(block);
    frame[4] = static_cast<std::uint8_t>(block >> 8);
    std::uint16_t crc = crc16Kermit(frame.data() + 2, 259);
    if (spoilCrc) {
        crc ^= 0x0101;
    }
    frame[0] = static_cast<std::uint8_t>(crc);
    frame[1] = static_cast<std::uint8_t>(crc >> 8);
    return frame;
}

Bytes framedPacket(std::uint8_t command, std::uint8_t subCode, const Bytes& body = {}) {
    const std::size_t length = 12 + body.size();
    Bytes packet(length, 0);
    packet[0] = 0x02;
    packet[1] = 'Q';
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
    packet[8] = command;
    packet[9] = subCode;
    std::copy(body.begin(), body.end(), packet.begin() + 10);
    const std::uint16_t crc = crc16Xmodem(packet.data(), static_cast<std::uint16_t>(length - 2));
    packet[length - 2] = static_cast<std::uint8_t>(crc >> 8);
    packet[length - 1] = static_cast<std::uint8_t>(crc);
    return packet;
}

struct Bench {
    explicit Bench(ScannerPersonality personality = {}, ScannerFaults faults = {})
        : scanner(std::move(personality), std::move(faults)), channel(clock, scanner) {}
    VirtualClock clock;
    SimulatedScanner scanner;
    SimulatedChannel channel;
};

} // namespace

TEST(SimulatedScanner, HealthyClassicScannerAnswersEveryQueryOfStepTwo) {
    Bench b;
    sendLetters(b.channel, b.clock, "W", 0);
    EXPECT_EQ(readReply(b.channel, 1), bytes("@"));

    sendLetters(b.channel, b.clock, "Gs");
    EXPECT_EQ(readReply(b.channel, 5), bytes("s000@")); // byte 3 '0': bit 0 clear, no GPS

    sendLetters(b.channel, b.clock, "V");
    EXPECT_EQ(readReply(b.channel, 32), bytes("3.05_200_A7UG\r"));
    sendLetters(b.channel, b.clock, "Iv");
    EXPECT_EQ(readReply(b.channel, 32), bytes("RDQ200 BT Imager A7UG\r"));

    sendLetters(b.channel, b.clock, "M", 0);
    EXPECT_EQ(readReply(b.channel, 10), bytes("RDQ200A7UG"));

    for (const char* query : {"GwQ", "It", "GFQ"}) {
        sendLetters(b.channel, b.clock, query);
        EXPECT_EQ(readReply(b.channel, 1), bytes("@")) << query;
    }
    sendLetters(b.channel, b.clock, "GnOLG");
    EXPECT_EQ(readReply(b.channel, 5), bytes("LG01@"));
    sendLetters(b.channel, b.clock, "IB");
    EXPECT_EQ(readReply(b.channel, 16), bytes("v00\r"));
    sendLetters(b.channel, b.clock, "GFS");
    EXPECT_EQ(readReply(b.channel, 5), Bytes({'F', 'S', '0', 8, '@'}));
    sendLetters(b.channel, b.clock, "GnOFS");
    EXPECT_TRUE(readReply(b.channel, 1).empty());

    EXPECT_EQ(b.scanner.record().commandTexts(),
              (std::vector<std::string>{"W", "Gs", "V", "Iv", "M", "GwQ", "It", "GFQ", "GnOLG", "IB", "GFS",
                                        "GnOFS"}));
}

TEST(SimulatedScanner, PersonalityShapesTheAnswers) {
    ScannerPersonality p;
    p.gps = true;
    p.fontSupport = false;
    p.itAccepted = false;
    p.bootloaderText = "";
    p.inBootloader = true;
    p.externalMemoryAnswer = '!';
    Bench b(p);
    sendLetters(b.channel, b.clock, "Gs");
    EXPECT_EQ(readReply(b.channel, 5)[3] & 1, 1);
    sendLetters(b.channel, b.clock, "GnOLG");
    EXPECT_EQ(readReply(b.channel, 5), bytes("!"));
    sendLetters(b.channel, b.clock, "It");
    EXPECT_EQ(readReply(b.channel, 1), bytes("!"));
    sendLetters(b.channel, b.clock, "IB");
    EXPECT_EQ(readReply(b.channel, 16), bytes("!"));
    sendLetters(b.channel, b.clock, "V");
    EXPECT_EQ(readReply(b.channel, 32), bytes("Bootloader v00\r"));
    sendLetters(b.channel, b.clock, "GFQ");
    EXPECT_EQ(readReply(b.channel, 1), bytes("!"));

    // Silence for "G","F","Q", and a "T" that a scanner refusing "I","t" does not understand.
    b.scanner.personality().externalMemoryAnswer = 0;
    sendLetters(b.channel, b.clock, "GFQIEIT");
    EXPECT_TRUE(readReply(b.channel, 1).empty());
}

TEST(SimulatedScanner, NoiseBetweenCommandsIsIgnored) {
    Bench b;
    // A half command abandoned, stray bytes, then a ping: only the ping is answered.
    sendLetters(b.channel, b.clock, "Gn\x01zW", 0);
    EXPECT_EQ(readReply(b.channel, 2), bytes("@"));
    EXPECT_EQ(b.scanner.record().commandTexts(), std::vector<std::string>{"W"});
}

TEST(SimulatedScanner, ClassicDownloadKeepsTheImageByBlockNumber) {
    Bench b;
    sendLetters(b.channel, b.clock, "IEIT");
    EXPECT_EQ(readReply(b.channel, 1), Bytes{}); // getting ready: no "X" within one read
    b.clock.sleepMs(b.scanner.personality().readyDelayMs);
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    sendLetters(b.channel, b.clock, "HH");

    sendBlock(b.channel, blockFrame('W', 0, 0x11));
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    sendBlock(b.channel, blockFrame('W', 1, 0x22, true));
    EXPECT_EQ(readReply(b.channel, 1), bytes("C"));
    sendBlock(b.channel, blockFrame('W', 1, 0x22));
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    sendBlock(b.channel, blockFrame('R', 2, 0x00));
    EXPECT_TRUE(readReply(b.channel, 1).empty());

    const ScannerRecord& r = b.scanner.record();
    EXPECT_TRUE(r.upgradeFinished);
    EXPECT_EQ(r.closingBlock, 2);
    ASSERT_EQ(r.frames.size(), 4u);
    EXPECT_FALSE(r.frames[1].crcOk);
    EXPECT_EQ(r.frames[1].reply, 'C');
    EXPECT_EQ(r.frames[3].kind, 'R');
    Bytes expected(256, 0x11);
    expected.insert(expected.end(), 256, 0x22);
    EXPECT_EQ(r.image(), expected);
    EXPECT_EQ(r.count("HH"), 1);

    // After the closing frame the scanner restarts and takes commands again.
    sendLetters(b.channel, b.clock, "W", 0);
    EXPECT_EQ(readReply(b.channel, 1), bytes("@"));
}

TEST(SimulatedScanner, StartSequenceFallbackAndFramesStartingWithH) {
    ScannerPersonality p;
    p.itAccepted = false;
    Bench b(p);
    sendLetters(b.channel, b.clock, "IEIu");
    b.clock.sleepMs(1000);
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    // A ping before the "H","H" is still a command.
    sendLetters(b.channel, b.clock, "W", 0);
    EXPECT_EQ(readReply(b.channel, 1), bytes("@"));
    sendLetters(b.channel, b.clock, "HH");
    // Whatever the frame's first bytes are, after "H","H" they are frame bytes.
    Bytes frame = blockFrame('W', 7, 'H');
    sendBlock(b.channel, frame);
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    EXPECT_EQ(b.scanner.record().blocks.count(7), 1u);
}

TEST(SimulatedScanner, FlashChunkIsStoredAtItsAddress) {
    Bench b;
    sendLetters(b.channel, b.clock, "GFw70a000#", 0);
    Bytes data(4096);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    sendBlock(b.channel, data);
    EXPECT_EQ(readReply(b.channel, 1), bytes("@"));

    const ScannerRecord& r = b.scanner.record();
    ASSERT_EQ(r.chunks.size(), 1u);
    EXPECT_EQ(r.chunks[0].address, 0x70a000u);
    EXPECT_EQ(r.flash(0x70a000, 4096), data);
    EXPECT_EQ(r.flash(0x709ffe, 4)[0], 0xFF);
    EXPECT_EQ(r.flash(0x709ffe, 4)[2], data[0]);
    EXPECT_EQ(r.count("GFw70a000#"), 1);
}

TEST(SimulatedScanner, FramedScannerAnswersVersionStartAndBlocks) {
    Bench b(ScannerPersonality::framed());
    sendLetters(b.channel, b.clock, "M", 0);
    EXPECT_EQ(readReply(b.channel, 10)[2], 'a');

    const Bytes versionRequest = framedPacket('F', 0x20);
    EXPECT_EQ(versionRequest, Bytes({0x02, 0x51, 0x00, 0x0C, 0, 0, 0, 0, 0x46, 0x20, 0xE8, 0xED}));
    sendBlock(b.channel, versionRequest);
    const Bytes reply = readReply(b.channel, 109);
    ASSERT_EQ(reply.size(), 104u);
    EXPECT_EQ(std::string(reply.begin() + 22, reply.begin() + 34), "L500_01_0A00");
    EXPECT_EQ(std::string(reply.begin() + 34, reply.begin() + 46), "F500_03_0C00");
    EXPECT_EQ(std::string(reply.begin() + 46, reply.begin() + 58), "A500_02_0B00");

    sendBlock(b.channel, framedPacket('D', 0x01));
    EXPECT_EQ(readReply(b.channel, 14).size(), 14u);

    Bytes body = {0x01, 0x00}; // block 256
    body.insert(body.end(), 512, 0x5A);
    sendBlock(b.channel, framedPacket('D', 0x02, body));
    EXPECT_EQ(readReply(b.channel, 14).size(), 14u);
    Bytes spoilt = framedPacket('D', 0x02, body);
    spoilt[100] ^= 0xFF;
    sendBlock(b.channel, spoilt);
    EXPECT_EQ(readReply(b.channel, 14)[10], 0x01); // status: bad CRC

    const ScannerRecord& r = b.scanner.record();
    ASSERT_EQ(r.packets.size(), 4u);
    EXPECT_EQ(r.packets[2].block, 256);
    EXPECT_TRUE(r.packets[2].crcOk);
    EXPECT_FALSE(r.packets[3].crcOk);
    ASSERT_EQ(r.framedBlocks.count(256), 1u);
    EXPECT_EQ(r.framedBlocks.at(256), Bytes(512, 0x5A));
}

TEST(SimulatedScanner, ClassicScannerIgnoresFramedPackets) {
    Bench b;
    sendBlock(b.channel, framedPacket('F', 0x20));
    EXPECT_TRUE(readReply(b.channel, 1).empty());
    EXPECT_TRUE(b.scanner.record().packets.empty());
}
