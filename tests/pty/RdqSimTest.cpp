// rdq-sim over a real pseudo-terminal, in real time, driven by the real termios channel and the real
// command link. Kept short: every exchange here is one the tool makes within a second or two.
#include "ChildProcess.h"
#include "TextChecks.h"

#include "device/CommandLink.h"
#include "serial/Clock.h"
#include "serial/posix/PosixSerialChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvexa;

namespace {

const std::string& kRdqSim = rdqSimProgram();

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A connection to a --listen scanner: writes `command`, then reads for up to limitMs or until the other end
// closes; what came back.
std::string exchangeOnSocket(const std::string& path, const std::string& command, int limitMs) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    std::string reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::write(fd, command.data(), command.size()) == static_cast<ssize_t>(command.size())) {
        pollfd pfd{fd, POLLIN, 0};
        char buffer[64];
        for (ssize_t got = 1; got > 0 && ::poll(&pfd, 1, limitMs) == 1;) {
            got = ::read(fd, buffer, sizeof buffer);
            reply.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    return reply;
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

// One connection after the other, the scanner's state running on: the third "M" is the one the fault counts.
TEST(RdqSim, ListeningScannerServesEachConnectionAndHangsUpForGood) {
    const std::string socketPath = scratchPath("rdq-sim-listen.sock");
    RdqSimProcess sim(kRdqSim, {"--listen", socketPath, "--vanish-at", "M:3"});
    ASSERT_EQ(sim.path(), socketPath);
    EXPECT_EQ(exchangeOnSocket(socketPath, "M", 300), "RDQ200A7UG");
    EXPECT_EQ(exchangeOnSocket(socketPath, "M", 300), "RDQ200A7UG");
    EXPECT_EQ(exchangeOnSocket(socketPath, "M", 2000), ""); // closed at once, not after the 2 s
    EXPECT_EQ(sim.wait(), 0);
    struct stat gone {};
    EXPECT_NE(::lstat(socketPath.c_str(), &gone), 0);
}

TEST(RdqSim, HelpNamesEveryOptionAndBadOptionsAreRefused) {
    const CliRun help = runProgram(kRdqSim, {"--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    std::istringstream options(
        "--family --model-text --firmware-text --info-text --bootloader-text --no-bootloader --in-bootloader "
        "--gps --no-font-support --refuse-it --refuse-gwq --flash-type --external-memory --framed-texts "
        "--framed-reply-length --ready-delay --baud --latency --silent-from --silent-after --vanish-at "
        "--vanish-after --nak --silent --refuse --garbage --overlong --unknown-letter --babble --late --link "
        "--listen --record --record-data --help");
    for (std::string option; options >> option;) {
        EXPECT_TRUE(contains(help.out, std::string("  ") + option + " "));
    }
    for (const char* bad : {"--family serial", "--nak 3", "--flash-type x", "--bogus 1",
                            "--silent-from frame", "--listen /tmp/s --link /tmp/l"}) {
        std::istringstream words(bad);
        EXPECT_EQ(runProgram(kRdqSim, {std::istream_iterator<std::string>(words), {}}).exitCode, 2) << bad;
    }
}
