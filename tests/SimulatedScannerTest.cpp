// The simulated scanner driven with raw bytes through a SimulatedChannel, on the virtual clock: every
// exchange the tool relies on, for both families, and what the scanner keeps of it.
#include "SimulatedScanner.h"
#include "Faults.h"
#include "ScannerSession.h"
#include "TextChecks.h"
#include "firmware/Sha256.h"

#include "device/CommandLink.h"
#include "device/Family.h"
#include "firmware/BlockFrame.h"
#include "firmware/Crc16.h"
#include "firmware/FramedPacket.h"

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

// As the download waits for a frame's answer: reads again after every read that got nothing.
char awaitLetter(SimulatedChannel& channel, int reads = 100) {
    for (int i = 0; i < reads; ++i) {
        std::uint8_t byte = 0;
        if (channel.read(&byte, 1) == 1) {
            return static_cast<char>(byte);
        }
    }
    return 0;
}

Bytes blockFrame(char kind, std::uint16_t block, std::uint8_t fill, bool spoilCrc = false) {
    Bytes frame(BlockFrame::kFrameSize, fill);
    frame[2] = static_cast<std::uint8_t>(kind);
    frame[3] = static_cast<std::uint8_t>(block);
    frame[4] = static_cast<std::uint8_t>(block >> 8);
    std::uint16_t crc = crc16Kermit(frame.data() + 2, BlockFrame::kFrameSize - 2);
    if (spoilCrc) {
        crc ^= 0x0101;
    }
    frame[0] = static_cast<std::uint8_t>(crc);
    frame[1] = static_cast<std::uint8_t>(crc >> 8);
    return frame;
}

using Bench = ScannerSession<>;

// The tool's way of asking: the letters, then up to n bytes of the reply.
Bytes ask(Bench& b, std::string_view letters, std::size_t n, std::uint32_t pauseMs = 100) {
    sendLetters(b.channel, b.clock, letters, pauseMs);
    return readReply(b.channel, n);
}
Bytes sendAndRead(Bench& b, const Bytes& block, std::size_t n) {
    sendBlock(b.channel, block);
    return readReply(b.channel, n);
}

// The start letters, the wait for the scanner to get ready, its "X", then "H","H": frames may follow.
void enterDownload(Bench& b, std::string_view start = "IEIT", std::uint32_t waitMs = 1000) {
    sendLetters(b.channel, b.clock, start);
    b.clock.sleepMs(waitMs);
    ASSERT_EQ(readReply(b.channel, 1), bytes("X"));
    sendLetters(b.channel, b.clock, "HH");
}

// Download mode entered and block 0 written, as far as a stopped tool gets.
void writeFirstBlock(Bench& b) {
    enterDownload(b, "IEIT", b.scanner.personality().readyDelayMs);
    ASSERT_EQ(sendAndRead(b, blockFrame('W', 0, 0x11), 1), bytes("X"));
}

} // namespace

TEST(SimulatedScanner, HealthyClassicScannerAnswersEveryQueryOfStepTwo) {
    Bench b;
    EXPECT_EQ(ask(b, "W", 1, 0), bytes("@"));

    EXPECT_EQ(ask(b, "Gs", 5), bytes("s000@")); // byte 3 '0': bit 0 clear, no GPS

    EXPECT_EQ(ask(b, "V", 32), bytes("3.05_200_A7UG\r"));
    EXPECT_EQ(ask(b, "Iv", 32), bytes("RDQ200 BT Imager A7UG\r"));

    EXPECT_EQ(ask(b, "M", 10, 0), bytes("RDQ200A7UG"));

    for (const char* query : {"GwQ", "It", "GFQ"}) {
        EXPECT_EQ(ask(b, query, 1), bytes("@")) << query;
    }
    EXPECT_EQ(ask(b, "GnOLG", 5), bytes("LG01@"));
    EXPECT_EQ(ask(b, "IB", 16), bytes("v00\r"));
    EXPECT_EQ(ask(b, "GFS", 5), Bytes({'F', 'S', '0', 8, '@'}));
    EXPECT_TRUE(ask(b, "GnOFS", 1).empty());

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
    Bench b({p, {}});
    EXPECT_EQ(ask(b, "Gs", 5)[3] & 1, 1);
    EXPECT_EQ(ask(b, "GnOLG", 5), bytes("!"));
    EXPECT_EQ(ask(b, "It", 1), bytes("!"));
    EXPECT_EQ(ask(b, "IB", 16), bytes("!"));
    EXPECT_EQ(ask(b, "V", 32), bytes("Bootloader v00\r"));
    EXPECT_EQ(ask(b, "GFQ", 1), bytes("!"));

    // Silence for "G","F","Q", and a "T" that a scanner refusing "I","t" does not understand.
    b.scanner.personality().externalMemoryAnswer = 0;
    EXPECT_TRUE(ask(b, "GFQIEIT", 1).empty());
}

TEST(SimulatedScanner, NoiseBetweenCommandsIsIgnored) {
    Bench b;
    // A half command abandoned, stray bytes, then a ping: only the ping is answered.
    EXPECT_EQ(ask(b, "Gn\x01zW", 2, 0), bytes("@"));
    EXPECT_EQ(b.scanner.record().commandTexts(), std::vector<std::string>{"W"});
}

TEST(SimulatedScanner, ClassicDownloadKeepsTheImageByBlockNumber) {
    Bench b;
    EXPECT_EQ(ask(b, "IEIT", 1), Bytes{}); // getting ready: no "X" within one read
    b.clock.sleepMs(b.scanner.personality().readyDelayMs);
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    sendLetters(b.channel, b.clock, "HH");

    EXPECT_EQ(sendAndRead(b, blockFrame('W', 0, 0x11), 1), bytes("X"));
    EXPECT_EQ(sendAndRead(b, blockFrame('W', 1, 0x22, true), 1), bytes("C"));
    EXPECT_EQ(sendAndRead(b, blockFrame('W', 1, 0x22), 1), bytes("X"));
    EXPECT_TRUE(sendAndRead(b, blockFrame('R', 2, 0x00), 1).empty());

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
    EXPECT_EQ(ask(b, "W", 1, 0), bytes("@"));
}

TEST(SimulatedScanner, StartSequenceFallbackAndFramesStartingWithH) {
    Bench b({scannerWith([](auto& p) { p.itAccepted = false; }), {}});
    sendLetters(b.channel, b.clock, "IEIu");
    b.clock.sleepMs(1000);
    EXPECT_EQ(readReply(b.channel, 1), bytes("X"));
    // A ping before the "H","H" is still a command.
    EXPECT_EQ(ask(b, "W", 1, 0), bytes("@"));
    sendLetters(b.channel, b.clock, "HH");
    // Whatever the frame's first bytes are, after "H","H" they are frame bytes.
    EXPECT_EQ(sendAndRead(b, blockFrame('W', 7, 'H'), 1), bytes("X"));
    EXPECT_EQ(b.scanner.record().blocks.count(7), 1u);
}

TEST(SimulatedScanner, FlashChunkIsStoredAtItsAddress) {
    Bench b;
    sendLetters(b.channel, b.clock, "GFw70a000#", 0);
    Bytes data(4096);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    EXPECT_EQ(sendAndRead(b, data, 1), bytes("@"));

    const ScannerRecord& r = b.scanner.record();
    ASSERT_EQ(r.chunks.size(), 1u);
    EXPECT_EQ(r.chunks[0].address, 0x70a000u);
    EXPECT_EQ(r.flash(0x70a000, 4096), data);
    EXPECT_EQ(r.flash(0x709ffe, 4), (Bytes{0xFF, 0xFF, data[0], data[1]}));
    EXPECT_EQ(r.count("GFw70a000#"), 1);
}

TEST(SimulatedScanner, FramedScannerAnswersVersionStartAndBlocks) {
    Bench b({ScannerPersonality::framed(), {}});
    EXPECT_EQ(ask(b, "M", 10, 0)[2], 'a');

    const Bytes versionRequest = buildFramedPacket(kFramedQuery, kSubVersions);
    EXPECT_EQ(versionRequest, Bytes({0x02, 0x51, 0x00, 0x0C, 0, 0, 0, 0, 0x46, 0x20, 0xE8, 0xED}));
    const Bytes reply = sendAndRead(b, versionRequest, 109);
    ASSERT_EQ(reply.size(), 104u);
    EXPECT_EQ(std::string(reply.begin() + 22, reply.begin() + 34), "L500_01_0A00");
    EXPECT_EQ(std::string(reply.begin() + 34, reply.begin() + 46), "F500_03_0C00");
    EXPECT_EQ(std::string(reply.begin() + 46, reply.begin() + 58), "A500_02_0B00");

    EXPECT_EQ(sendAndRead(b, buildFramedPacket(kFramedDownload, kSubStart), 14).size(), 14u);

    Bytes body = {0x01, 0x00}; // block 256
    body.insert(body.end(), 512, 0x5A);
    EXPECT_EQ(sendAndRead(b, buildFramedPacket(kFramedDownload, kSubBlock, body), 14).size(), 14u);
    Bytes spoilt = buildFramedPacket(kFramedDownload, kSubBlock, body);
    spoilt[100] ^= 0xFF;
    EXPECT_EQ(sendAndRead(b, spoilt, 14)[10], 0x01); // status: bad CRC

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
    EXPECT_TRUE(sendAndRead(b, buildFramedPacket(kFramedQuery, kSubVersions), 1).empty());
    EXPECT_TRUE(b.scanner.record().packets.empty());
}

// ---- fault switches ---------------------------------------------------------------------------------

TEST(SimulatedScannerFaults, SilentFromAGivenCommandOn) {
    Bench b({{}, faults::silentOn("M", 2)});
    EXPECT_EQ(ask(b, "M", 10, 0).size(), 10u);
    EXPECT_EQ(ask(b, "W", 1, 0), bytes("@"));
    EXPECT_TRUE(ask(b, "M", 1, 0).empty());
    EXPECT_TRUE(ask(b, "W", 1, 0).empty()); // silent for good, and still listening
    EXPECT_EQ(b.scanner.record().count("W"), 2);
}

TEST(SimulatedScannerFaults, SilentFromAFrameABlockOrAChunk) {
    Bench frames({{}, faults::silentFrom(FaultPoint::Kind::Frame, 3)});
    enterDownload(frames, "IU");
    std::string replies;
    for (std::uint16_t block = 0; block < 4; ++block) {
        const Bytes reply = sendAndRead(frames, blockFrame('W', block, 1), 1);
        replies += reply.empty() ? '-' : static_cast<char>(reply[0]);
    }
    EXPECT_EQ(replies, "XX--");
    EXPECT_EQ(frames.scanner.record().blocks.size(), 2u); // a silent scanner keeps nothing
    EXPECT_EQ(frames.scanner.record().frames.size(), 4u); // but every frame is on record

    Bench blocks({{}, faults::silentFrom(FaultPoint::Kind::Block, 20)});
    enterDownload(blocks, "IU");
    EXPECT_EQ(sendAndRead(blocks, blockFrame('W', 19, 1), 1), bytes("X"));
    EXPECT_TRUE(sendAndRead(blocks, blockFrame('W', 20, 1), 1).empty());

    Bench chunks({{}, faults::silentFrom(FaultPoint::Kind::Chunk, 2)});
    const Bytes data(4096, 0x33);
    sendLetters(chunks.channel, chunks.clock, "GFw300000#", 0);
    EXPECT_EQ(sendAndRead(chunks, data, 1), bytes("@"));
    sendLetters(chunks.channel, chunks.clock, "GFw301000#", 0);
    EXPECT_TRUE(sendAndRead(chunks, data, 1).empty());
    ASSERT_EQ(chunks.scanner.record().chunks.size(), 2u);
    EXPECT_FALSE(chunks.scanner.record().chunks[1].stored);
    EXPECT_EQ(chunks.scanner.record().flash(0x301000, 1)[0], 0xFF);
}

TEST(SimulatedScannerFaults, BentRepliesToOneCommand) {
    auto replyTo = [](ReplyFault kind, std::string_view command, std::size_t n) {
        Bench b({{}, faults::reply(std::string(command), kind)});
        sendLetters(b.channel, b.clock, command, 0);
        return readReply(b.channel, n);
    };
    EXPECT_EQ(replyTo(ReplyFault::Refuse, "M", 10), bytes("!"));
    EXPECT_EQ(replyTo(ReplyFault::UnknownLetter, "W", 1), bytes("?"));
    EXPECT_TRUE(replyTo(ReplyFault::Silent, "Gs", 5).empty());

    const Bytes garbage = replyTo(ReplyFault::Garbage, "Gs", 100);
    EXPECT_EQ(garbage.size(), 5u);
    EXPECT_EQ(std::string(garbage.begin(), garbage.end()).find_first_of("@!XCOv"), std::string::npos);
    const Bytes overlong = replyTo(ReplyFault::Overlong, "V", 1000);
    EXPECT_GT(overlong.size(), 300u);
    EXPECT_EQ(std::string(overlong.begin(), overlong.begin() + 13), "3.05_200_A7UG");
}

TEST(SimulatedScannerFaults, LateRepliesAndFaultsOnSomeOccurrencesOnly) {
    // "W" answered late, and only the second "M" refused.
    Bench b({{}, faults::commands({{"W", {ReplyFault::None, 1500}}, {"M", {ReplyFault::Refuse, 0, 2, 1}}})});
    sendLetters(b.channel, b.clock, "W", 0);
    std::uint8_t buffer[100];
    EXPECT_EQ(b.channel.read(buffer, 100), 0); // gives up after 10 * 100 + 10 ms
    EXPECT_EQ(b.clock.nowUs(), 1010 * 1000u);
    EXPECT_EQ(b.channel.read(buffer, 100), 1); // "@" at 1500 ms, then 200 ms of silence
    EXPECT_EQ(b.clock.nowUs(), 1700 * 1000u);

    std::string firstLetters;
    for (int i = 0; i < 3; ++i) {
        firstLetters += static_cast<char>(ask(b, "M", 10, 0).at(0));
    }
    EXPECT_EQ(firstLetters, "R!R");
}

TEST(SimulatedScannerFaults, NakABlockAGivenNumberOfTimes) {
    Bench b({{}, faults::naks({{3, 'O', 2}})});
    enterDownload(b);
    std::string replies;
    for (int i = 0; i < 3; ++i) {
        replies += static_cast<char>(sendAndRead(b, blockFrame('W', 3, 0x44), 1).at(0));
        EXPECT_EQ(b.scanner.record().blocks.count(3), i < 2 ? 0u : 1u);
    }
    EXPECT_EQ(replies, "OOX");
}

TEST(SimulatedScannerFaults, VanishedScannerLosesTheLine) {
    HubSession session;
    session.hub.attachScanner("/dev/rfcomm0", {}, faults::vanishOn("V"));
    VirtualClock& clock = session.clock;
    SimulatedChannel& channel = session.channel;
    ASSERT_TRUE(channel.openDefault("/dev/rfcomm0"));
    sendLetters(channel, clock, "W", 0);
    EXPECT_EQ(readReply(channel, 1), bytes("@"));
    EXPECT_EQ(channel.lastError(), ChannelError::None);

    sendLetters(channel, clock, "V", 0);
    const std::uint64_t before = clock.nowUs();
    std::uint8_t buffer[4];
    EXPECT_EQ(channel.read(buffer, 4), 0);
    EXPECT_EQ(clock.nowUs() - before, 50 * 1000u); // waits out its time-out like a silent line
    EXPECT_EQ(channel.lastError(), ChannelError::LineLost);
    EXPECT_EQ(channel.write(buffer, 1), 0);
    EXPECT_TRUE(channel.isOpen()); // still open until the tool closes it

    channel.close();
    EXPECT_FALSE(channel.openDefault("/dev/rfcomm0"));
    EXPECT_EQ(channel.lastError(), ChannelError::NoSuchPort);
}

TEST(SimulatedScannerFaults, BabblingScannerNeverFallsSilent) {
    Bench b({{}, faults::reply("V", ReplyFault::Babble)});
    Bytes heard = ask(b, "V", 5000, 0);
    EXPECT_EQ(heard.size(), 5000u);
    EXPECT_EQ(heard[20], '~');
    // A port purge does not stop it either.
    ASSERT_TRUE(b.channel.openDefault("again"));
    EXPECT_EQ(readReply(b.channel, 10).size(), 10u);
}

// ---- the line model ---------------------------------------------------------------------------------

TEST(SimulatedScannerLine, FrameAndAnswerCostTheirLineTimeAt115200) {
    Bench b({scannerWith([](auto& p) { p.baudRate = 115200; }), {}});
    // 10 bits a byte: one byte takes 86.8 us, a 261-byte frame 22.66 ms.
    EXPECT_EQ(b.scanner.lineTimeUs(1), 87u);
    EXPECT_EQ(b.scanner.lineTimeUs(261), 22657u);

    EXPECT_EQ(ask(b, "W", 1, 0), bytes("@"));
    EXPECT_EQ(b.clock.nowUs(), 2 * 87u); // the letter there, the answer back

    enterDownload(b, "IU");
    const std::uint64_t start = b.clock.nowUs();
    sendBlock(b.channel, blockFrame('W', 0, 0));
    EXPECT_EQ(awaitLetter(b.channel), 'X'); // one 20 ms read is not enough at this speed
    EXPECT_EQ(b.clock.nowUs() - start, 22657u + 87u);

    // The whole carried image, 683 frames and their answers: about 15.5 s on the wire.
    const std::uint64_t imageStart = b.clock.nowUs();
    for (std::uint16_t block = 0; block < 683; ++block) {
        sendBlock(b.channel, blockFrame('W', block, 0));
        ASSERT_EQ(awaitLetter(b.channel), 'X');
    }
    EXPECT_NEAR(static_cast<double>(b.clock.nowUs() - imageStart) / 1e6, 683 * 262 * 10 / 115200.0, 0.01);
}

TEST(SimulatedScannerLine, LatencyDelaysEveryReplyAndPacingSpreadsItsBytes) {
    Bench b({scannerWith([](auto& p) {
                 p.latencyMs = 5;
                 p.baudRate = 9600;
             }),
             {}});
    sendLetters(b.channel, b.clock, "M", 0);
    std::uint8_t buffer[10];
    EXPECT_EQ(b.channel.read(buffer, 10), 10);
    // "M" there (1042 us), 5 ms of thought, ten bytes back (10417 us).
    EXPECT_EQ(b.clock.nowUs(), 1042u + 5000u + 10417u);
}

// ---- the real command link against the simulated scanner --------------------------------------------

TEST(SimulatedScannerWithCommandLink, StepTwoQueriesFillTheDeviceRecord) {
    Bench b;
    DeviceInfo device;
    CommandLink link(b.channel, b.clock, device);
    EXPECT_EQ(link.pingDevice(), CommandLink::Ping::Answered);
    EXPECT_FALSE(link.queryGps());
    link.queryVersion();
    link.queryModel();
    EXPECT_TRUE(link.queryIt());
    EXPECT_TRUE(link.queryFontSupport());
    EXPECT_TRUE(link.queryBootloader());
    EXPECT_EQ(textOf(device.firmwareText), "3.05_200_A7UG");
    EXPECT_EQ(textOf(device.firmwareInfoText), "RDQ200 BT Imager A7UG");
    EXPECT_EQ(textOf(device.modelText), "RDQ200A7UG");
    EXPECT_EQ(textOf(device.bootloaderText), "v00");
    EXPECT_FALSE(isFramedFamily(device));
    EXPECT_EQ(b.scanner.record().count("Gs"), 2);
}

TEST(SimulatedScannerWithCommandLink, FaultsCostWhatTheLinkAllows) {
    Bench b({{}, faults::commands({{"M", {ReplyFault::Silent}}, {"V", {ReplyFault::Babble}}})});
    DeviceInfo device;
    CommandLink link(b.channel, b.clock, device);

    link.queryModel(); // the drain's one empty read, two attempts of 2000 ms, each followed by 1000 ms
    EXPECT_EQ(b.clock.nowUs() / 1000, 20u + 2 * (2000 + 1000));
    EXPECT_EQ(textOf(device.modelText), "");

    const std::uint64_t before = b.clock.nowUs();
    link.queryVersion(); // a text that never ends is cut at the link's bound
    EXPECT_LT(b.clock.nowUs() - before, 10'000'000u);
    EXPECT_EQ(textOf(device.firmwareText).substr(0, 13), "3.05_200_A7UG");
}

// ---- the record as rdq-sim writes it ------------------------------------------------------------------

TEST(ScannerRecord, JsonNamesWhatWasReceivedAndDigestsTheData) {
    EXPECT_EQ(sha256Hex(bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex(Bytes(1000, 'a')),
              "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");

    Bench b;
    sendLetters(b.channel, b.clock, "W", 0);
    sendLetters(b.channel, b.clock, "GFw300000#", 0);
    sendAndRead(b, Bytes(4096, 0), 1);
    const std::string json = b.scanner.record().toJson();
    EXPECT_TRUE(contains(json, "{\"text\": \"W\", \"atUs\": 0}"));
    EXPECT_TRUE(contains(json, "{\"address\": 3145728, \"stored\": true, \"sha256\": \"" +
                                   sha256Hex(Bytes(4096, 0))));
    EXPECT_TRUE(lacks(json, "\"data\""));
    EXPECT_TRUE(contains(b.scanner.record().toJson(true), "\"data\": \"0000"));
}

TEST(SimulatedScanner, AbortedDownloadRestartsInTheBootloaderUntilAClosingFrame) {
    Bench probed;
    writeFirstBlock(probed);
    // A new run's probe, at once: no frame follows it, so it is answered after 200 ms.
    const std::uint64_t probeUs = probed.clock.nowUs();
    sendLetters(probed.channel, probed.clock, "W", 0);
    EXPECT_EQ(awaitLetter(probed.channel), '@');
    EXPECT_LT(probed.clock.nowUs() - probeUs, 300'000u);
    EXPECT_EQ(ask(probed, "V", 32), bytes("Bootloader v00\r"));

    writeFirstBlock(probed);
    probed.clock.sleepMs(1000);
    sendBlock(probed.channel, blockFrame('R', 1, 0x00));
    EXPECT_EQ(ask(probed, "V", 32), bytes("3.05_200_A7UG\r"));

    // A probe sent again and again, as Step 1 sends it: its first five bytes are no frame's header.
    Bench reprobed;
    writeFirstBlock(reprobed);
    char answer = 0;
    for (int i = 0; i < 10 && answer == 0; ++i) {
        const Bytes reply = ask(reprobed, "W", 1, 0);
        answer = reply.empty() ? 0 : static_cast<char>(reply[0]);
    }
    EXPECT_EQ(answer, '@');
    EXPECT_EQ(reprobed.scanner.record().frames.size(), 1u);

    Bench leftAlone;
    writeFirstBlock(leftAlone);
    leftAlone.clock.sleepMs(10001);
    EXPECT_EQ(ask(leftAlone, "V", 32), bytes("Bootloader v00\r"));
}
