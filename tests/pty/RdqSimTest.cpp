// rdq-sim over a real pseudo-terminal, in real time, driven by the real termios channel and the real
// command link. Kept short: every exchange here is one the tool makes within a second or two.
#include "ChildProcess.h"
#include "TextChecks.h"

#include "device/CommandLink.h"
#include "serial/Clock.h"
#include "serial/posix/PosixSerialChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using namespace orvexa;

namespace {

const std::string& kRdqSim = rdqSimProgram();

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(RdqSim, AnswersProbePingVersionAndModelInRealTime) {
    const std::string record = scratchPath("rdq-sim-record.json");
    RdqSimProcess sim(kRdqSim, {"--record", record});
    ASSERT_EQ(sim.path().rfind("/dev/pts/", 0), 0u) << sim.path();

    PosixSerialChannel channel;
    ASSERT_TRUE(channel.openDefault(sim.path()));
    SteadyClock clock;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(probeDevice(channel, clock));
    EXPECT_LT(secondsSince(start), 0.2);

    DeviceInfo device;
    CommandLink link(channel, clock, device);
    EXPECT_EQ(link.pingDevice(), CommandLink::Ping::Answered);
    link.queryModel();
    EXPECT_EQ(textOf(device.modelText), "RDQ200A7UG");
    link.queryVersion(); // two texts, each ended by about 0.6 s of quiet
    EXPECT_EQ(textOf(device.firmwareText), "3.05_200_A7UG");
    EXPECT_EQ(textOf(device.firmwareInfoText), "RDQ200 BT Imager A7UG");
    EXPECT_LT(secondsSince(start), 3.0);

    // The tool closes its port between steps; the scanner stays reachable.
    channel.close();
    ASSERT_TRUE(channel.openDefault(sim.path()));
    EXPECT_TRUE(probeDevice(channel, clock));
    channel.close();

    EXPECT_EQ(sim.stop(), 0);
    const std::string json = sim.takeRecord();
    EXPECT_TRUE(contains(json, "{\"text\": \"M\""));
    EXPECT_TRUE(contains(json, "{\"text\": \"Iv\""));
    EXPECT_TRUE(contains(json, "\"upgradeFinished\": false"));
}

TEST(RdqSim, VanishingScannerHangsUpTheLine) {
    RdqSimProcess sim(kRdqSim, {"--vanish-at", "M"});
    PosixSerialChannel channel;
    ASSERT_TRUE(channel.openDefault(sim.path()));
    SteadyClock clock;
    ASSERT_TRUE(probeDevice(channel, clock));
    const std::uint8_t model = 'M';
    channel.write(&model, 1);
    std::uint8_t reply[10];
    EXPECT_EQ(channel.read(reply, 10), 0);
    EXPECT_EQ(channel.lastError(), ChannelError::LineLost);
    EXPECT_EQ(sim.wait(), 0); // it ends by itself once the line is gone
}

TEST(RdqSim, HelpNamesEveryOptionAndBadOptionsAreRefused) {
    const CliRun help = runProgram(kRdqSim, {"--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    std::istringstream options(
        "--family --model-text --firmware-text --info-text --bootloader-text --no-bootloader --in-bootloader "
        "--gps --no-font-support --refuse-it --refuse-gwq --flash-type --external-memory --framed-texts "
        "--framed-reply-length --ready-delay --baud --latency --silent-from --silent-after --vanish-at "
        "--vanish-after --nak --silent --refuse --garbage --overlong --unknown-letter --babble --late --link "
        "--record --record-data --help");
    for (std::string option; options >> option;) {
        EXPECT_TRUE(contains(help.out, std::string("  ") + option + " "));
    }
    for (const char* bad :
         {"--family serial", "--nak 3", "--flash-type x", "--bogus 1", "--silent-from frame"}) {
        std::istringstream words(bad);
        EXPECT_EQ(runProgram(kRdqSim, {std::istream_iterator<std::string>(words), {}}).exitCode, 2) << bad;
    }
}
