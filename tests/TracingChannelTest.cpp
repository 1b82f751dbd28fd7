// The wire trace: every byte that crosses a channel, stamped and directed, and nothing that did not.
#include "serial/TracingChannel.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "device/CommandLink.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace orvexa;

namespace {

// A channel on the hub, traced under `label` into `out`.
struct Traced {
    explicit Traced(const char* label, std::uint32_t startTickMs = 0)
        : clock(startTickMs), channel(std::make_unique<SimulatedChannel>(clock, hub), trace, label) {}

    std::vector<std::string> lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    VirtualClock clock;
    SimulatedPortHub hub;
    std::ostringstream out;
    WireTrace trace{out, clock};
    TracingChannel channel;
};

} // namespace

TEST(TracingChannel, ProbeOfAnAnsweringScannerIsTranscribedWithStampsAndDirections) {
    Traced t("probe");
    t.hub.attachScanner("/dev/ttyUSB0");
    t.clock.sleepMs(7);
    ASSERT_TRUE(t.channel.openDefault("/dev/ttyUSB0"));
    ASSERT_TRUE(probeDevice(t.channel, t.clock));
    t.channel.close();
    t.channel.close(); // closing a closed channel is not an event

    const auto lines = t.lines();
    ASSERT_EQ(lines.size(), 4u) << t.out.str();
    EXPECT_EQ(lines[0], "        7 ms  probe  open /dev/ttyUSB0");
    EXPECT_EQ(lines[1].substr(0, 29), "        7 ms  probe  >  57   ");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 2), " W");
    EXPECT_NE(lines[2].find("probe  <  40 "), std::string::npos);
    EXPECT_EQ(lines[2].substr(lines[2].size() - 2), " @");
    EXPECT_NE(lines[3].find("probe  close"), std::string::npos);
}

TEST(TracingChannel, SilentReadsAreLeftOutAndFailuresAreSaid) {
    Traced t("main", 0xFFFFFFFFu - 9); // the stamps go on across the tick's wrap
    t.hub.addSilentPort("/dev/ttyUSB1");
    t.hub.holdElsewhere("/dev/ttyUSB2");
    EXPECT_FALSE(t.channel.openDefault("/dev/ttyUSB2"));
    EXPECT_EQ(t.channel.lastError(), ChannelError::Busy);
    const std::uint8_t letter = 'W';
    EXPECT_EQ(t.channel.write(&letter, 1), 0);
    ASSERT_TRUE(t.channel.openDefault("/dev/ttyUSB1"));
    EXPECT_FALSE(probeDevice(t.channel, t.clock));

    const auto lines = t.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "        0 ms  main   open /dev/ttyUSB2 failed: busy");
    EXPECT_NE(lines[1].find("main   write: 0 of 1 bytes sent"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("main   open /dev/ttyUSB1"), std::string::npos) << lines[2];
    std::size_t written = 0;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find(" <  "), std::string::npos) << line;
        written += line.find(" >  57") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(written, 45u); // one line per "W" of the second-long probe
    // The last "W" goes out near the end of the probe's second, stamped from the trace's start although
    // the tick wrapped on the way.
    const unsigned long lastStamp = std::stoul(lines.back());
    EXPECT_GE(lastStamp, 960u);
    EXPECT_LE(lastStamp, 1000u);
}

TEST(TracingChannel, LongWritesWrapAtSixteenBytesWithPrintableCharactersShown) {
    Traced t("main");
    t.hub.addSilentPort("/dev/ttyUSB0");
    ASSERT_TRUE(t.channel.openDefault("/dev/ttyUSB0"));

    std::vector<std::uint8_t> frame = {0x02, 'Q', 0x00, 0x0C};
    for (int i = 0; i < 16; ++i) {
        frame.push_back(static_cast<std::uint8_t>('A' + i));
    }
    EXPECT_EQ(t.channel.write(frame.data(), static_cast<std::int32_t>(frame.size())), 20);

    const auto lines = t.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find(">  02 51 00 0C 41 42 43 44 45 46 47 48 49 4A 4B 4C  .Q..ABCDEFGHIJKL"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find(">  4D 4E 4F 50" + std::string(38, ' ') + "MNOP"), std::string::npos) << lines[2];
}
