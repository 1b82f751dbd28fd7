// The simulated channel keeps the real channel's time-outs in virtual time, and the port hub keeps
// ports exclusive and fails opens the way real ports fail.
#include "ScannerSession.h"

#include "serial/Deadline.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace orvexa;

namespace {

constexpr std::uint64_t kMs = 1000; // microseconds

void put(SimulatedChannel& channel, char letter) {
    const auto byte = static_cast<std::uint8_t>(letter);
    channel.write(&byte, 1);
}

// The hub's main channel, opened on a silent port.
struct SilentPort : HubSession {
    explicit SilentPort(const std::string& port) {
        hub.addSilentPort(port);
        EXPECT_TRUE(channel.openDefault(port));
    }
};

} // namespace

TEST(SimulatedChannel, ReadsKeepTheRealTimeOuts) {
    SilentPort s("/dev/ttyUSB0");
    std::uint8_t buffer[100];
    EXPECT_EQ(s.channel.read(buffer, 1), 0);
    EXPECT_EQ(s.clock.nowUs(), 20 * kMs); // 10 * 1 + 10
    EXPECT_EQ(s.channel.read(buffer, 100), 0);
    EXPECT_EQ(s.clock.nowUs(), (20 + 1010) * kMs);
    EXPECT_EQ(s.channel.write(buffer, 5), 5); // nobody listens, but the bytes go out
}

TEST(SimulatedChannel, ReadOfManyEndsTwoHundredMsAfterTheLastByte) {
    ScannerSession<> s;
    put(s.channel, 'V');
    std::uint8_t buffer[100];
    EXPECT_EQ(s.channel.read(buffer, 100), 14); // "3.05_200_A7UG\r", then 200 ms of silence
    EXPECT_EQ(s.clock.nowUs(), 200 * kMs);
    put(s.channel, 'W');
    EXPECT_EQ(s.channel.read(buffer, 1), 1); // all there: returns at once
    EXPECT_EQ(s.clock.nowUs(), 200 * kMs);
}

TEST(SimulatedChannel, UnansweredTwentySecondPingCostsNoRealTime) {
    SilentPort s("COM3");
    const auto realStart = std::chrono::steady_clock::now();
    Deadline limit(s.clock);
    limit.start(20000);
    int passes = 0;
    do {
        put(s.channel, 'W');
        s.clock.sleepMs(200);
        std::uint8_t byte = 0;
        EXPECT_EQ(s.channel.read(&byte, 1), 0);
        ++passes;
    } while (!limit.expired());
    EXPECT_EQ(passes, 91); // 220 ms a pass
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(50));
}

TEST(SimulatedChannel, ClosedChannelReturnsZeroAtOnce) {
    ScannerSession<> s;
    s.channel.close();
    std::uint8_t byte = 'W';
    EXPECT_EQ(s.channel.write(&byte, 1), 0);
    EXPECT_EQ(s.channel.read(&byte, 1), 0);
    EXPECT_EQ(s.clock.nowUs(), 0u);
    EXPECT_TRUE(s.scanner.record().commands.empty());
}

TEST(SimulatedChannel, OpeningPurgesRepliesNotYetRead) {
    HubSession s;
    s.hub.attachScanner("/dev/ttyUSB1");
    ASSERT_TRUE(s.channel.openDefault("/dev/ttyUSB1"));
    put(s.channel, 'W');
    ASSERT_TRUE(s.channel.openDefault("/dev/ttyUSB1"));
    std::uint8_t byte = 0;
    EXPECT_EQ(s.channel.read(&byte, 1), 0);
}

TEST(SimulatedPortHub, OpensAreExclusiveAndFailLikeRealPorts) {
    VirtualClock clock;
    SimulatedPortHub hub;
    hub.attachScanner("COM1");
    hub.addSilentPort("COM2");
    hub.denyAccess("COM4");
    hub.holdElsewhere("COM5");
    SimulatedChannel probe(clock, hub);
    SimulatedChannel main(clock, hub);

    ASSERT_TRUE(probe.openDefault("COM1"));
    EXPECT_TRUE(hub.isHeld("COM1"));
    EXPECT_FALSE(main.openDefault("COM1"));
    EXPECT_EQ(main.lastError(), ChannelError::Busy);
    probe.close();
    EXPECT_TRUE(main.openDefault("COM1"));

    // A failed open leaves the channel closed and releases what it held.
    EXPECT_FALSE(main.openDefault("COM9"));
    EXPECT_EQ(main.lastError(), ChannelError::NoSuchPort);
    EXPECT_FALSE(main.isOpen());
    EXPECT_FALSE(hub.isHeld("COM1"));
    EXPECT_FALSE(main.openDefault("COM4"));
    EXPECT_EQ(main.lastError(), ChannelError::PermissionDenied);
    EXPECT_FALSE(main.openDefault("COM5"));
    EXPECT_EQ(main.lastError(), ChannelError::Busy);
    hub.holdElsewhere("COM5", false);
    EXPECT_TRUE(main.openDefault("COM5"));

    {
        SimulatedChannel shortLived(clock, hub);
        ASSERT_TRUE(shortLived.openDefault("COM2"));
    }
    EXPECT_FALSE(hub.isHeld("COM2")); // destruction released it
    EXPECT_EQ(hub.portNames(), (std::vector<std::string>{"COM1", "COM2", "COM4", "COM5"}));
}
