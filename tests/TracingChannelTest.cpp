// The wire trace: every byte that crosses a channel, stamped and directed, and nothing that did not.
#include "serial/TracingChannel.h"
#include "SimulatedChannel.h"
#include "SimulatedPortHub.h"
#include "TextChecks.h"
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
    EXPECT_TRUE(contains(lines[2], "probe  <  40 "));
    EXPECT_EQ(lines[2].substr(lines[2].size() - 2), " @");
    EXPECT_TRUE(contains(lines[3], "probe  close"));
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
    EXPECT_TRUE(contains(lines[1], "main   write: 0 of 1 bytes sent"));
    EXPECT_TRUE(contains(lines[2], "main   open /dev/ttyUSB1"));
    std::size_t written = 0;
    for (const std::string& line : lines) {
        EXPECT_TRUE(lacks(line, " <  "));
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

    const std::string frame = std::string("\x02Q\x00\x0C", 4) + "ABCDEFGHIJKLMNOP";
    EXPECT_EQ(t.channel.write(reinterpret_cast<const std::uint8_t*>(frame.data()), 20), 20);

    const auto lines = t.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(contains(lines[1], ">  02 51 00 0C 41 42 43 44 45 46 47 48 49 4A 4B 4C  .Q..ABCDEFGHIJKL"));
    EXPECT_TRUE(contains(lines[2], ">  4D 4E 4F 50" + std::string(38, ' ') + "MNOP"));
}
