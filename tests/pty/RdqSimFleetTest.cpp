// rdq-sim with several scanners in one process: each terminal answers as its own scanner, a fault on one
// line leaves the others answering, and each scanner keeps a record of its own.
#include "ChildProcess.h"
#include "SimFleet.h"

#include "device/CommandLink.h"
#include "serial/Clock.h"
#include "serial/posix/PosixSerialChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace orvexa;

namespace {

constexpr int kLimitMs = 5000;

// The scanner's reply to "M", or to "V", on a line of its own.
std::string reply(const std::string& path, char query) {
    PosixSerialChannel channel;
    if (!channel.openDefault(path)) {
        return "(cannot open " + path + ")";
    }
    SteadyClock clock;
    DeviceInfo device;
    CommandLink link(channel, clock, device);
    if (query == 'M') {
        link.queryModel();
        return textOf(device.modelText);
    }
    link.queryVersion();
    return textOf(device.firmwareText);
}

} // namespace

TEST(RdqSimFleet, EachTerminalAnswersAsItsOwnScannerAndKeepsItsOwnRecord) {
    const std::string record1 = scratchPath("rdq-sim-fleet-1.json");
    const std::string record3 = scratchPath("rdq-sim-fleet-3.json");
    SimFleet sim({"--scanners", "3", "--model-text", "RDQ300A7UG", "--scanner", "1", "--record", record1,
                  "--scanner", "2", "--family", "framed", "--model-text", "RDa500B2WW", "--scanner", "3",
                  "--in-bootloader", "--record", record3},
                 3);
    ASSERT_EQ(sim.paths.size(), 3u);

    // Every scanner takes the common model text unless its own section sets one; the bootloader state
    // of scanner 3 stays its own.
    EXPECT_EQ(reply(sim.paths[0], 'M'), "RDQ300A7UG");
    EXPECT_EQ(reply(sim.paths[0], 'V'), "3.05_200_A7UG");
    EXPECT_EQ(reply(sim.paths[1], 'M'), "RDa500B2WW");
    EXPECT_EQ(reply(sim.paths[2], 'V'), "Bootloader v00");

    EXPECT_EQ(sim.stop(), 0);
    const std::string json1 = readFile(record1);
    const std::string json3 = readFile(record3);
    std::remove(record1.c_str());
    std::remove(record3.c_str());
    EXPECT_NE(json1.find("{\"text\": \"M\""), std::string::npos) << json1;
    EXPECT_NE(json1.find("{\"text\": \"V\""), std::string::npos) << json1;
    EXPECT_NE(json3.find("{\"text\": \"V\""), std::string::npos) << json3;
    EXPECT_EQ(json3.find("{\"text\": \"M\""), std::string::npos) << json3;
}

TEST(RdqSimFleet, VanishingScannerHangsUpOnlyItsOwnLine) {
    SimFleet sim({"--scanners", "2", "--scanner", "1", "--vanish-at", "M"}, 2);
    ASSERT_EQ(sim.paths.size(), 2u);

    PosixSerialChannel channel;
    ASSERT_TRUE(channel.openDefault(sim.paths[0]));
    const std::uint8_t model = 'M';
    channel.write(&model, 1);
    std::uint8_t bytes[10];
    EXPECT_EQ(channel.read(bytes, 10), 0);
    EXPECT_EQ(channel.lastError(), ChannelError::LineLost);

    EXPECT_EQ(reply(sim.paths[1], 'M'), "RDQ200A7UG");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(RdqSimFleet, UsageErrorsSayWhatIsWrongOnOneLineAndHelpNamesTheOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {{"--scanners", "0"}, "--scanners wants a number from 1 to 32"},
        {{"--scanners", "33"}, "--scanners wants a number from 1 to 32"},
        {{"--scanner", "2"}, "--scanner 2 needs --scanners N before it"},
        {{"--scanners", "2", "--scanner", "3"}, "--scanner wants a number from 1 to 2"},
        {{"--scanners", "2", "--scanner", "1", "--scanners", "3"}, "--scanners N comes before the first"},
        {{"--scanners", "2", "--record", "r.json"}, "give each scanner's --record after its --scanner K"},
        {{"--scanners", "2", "--link", "tty"}, "give each scanner's --link after its --scanner K"},
        {{"--scanners", "2", "--scanner", "1", "--record", "r.json", "--scanner", "2", "--record", "r.json"},
         "scanners 1 and 2 have the same --record r.json"},
        {{"--scanners", "2", "--scanner", "2", "--family", "serial"}, "--family is classic or framed"},
    };
    for (const Case& c : cases) {
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        const ChildExit exit =
            waitChild(spawnChild(rdqSimProgram(), c.args, {-1, -1, ::fileno(err)}), kLimitMs);
        std::string text(256, '\0');
        std::rewind(err);
        text.resize(std::fread(text.data(), 1, text.size(), err));
        std::fclose(err);
        const std::string firstLine = text.substr(0, text.find('\n'));
        EXPECT_EQ(exit.code, 2) << c.reason;
        EXPECT_EQ(firstLine.rfind("rdq-sim: ", 0), 0u) << firstLine;
        EXPECT_NE(firstLine.find(c.reason), std::string::npos) << firstLine;
    }

    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(waitChild(spawnChild(rdqSimProgram(), {"--help"}, {-1, ::fileno(out), -1}), kLimitMs).code, 0);
    std::string help(16384, '\0');
    std::rewind(out);
    help.resize(std::fread(help.data(), 1, help.size(), out));
    std::fclose(out);
    EXPECT_NE(help.find("  --scanners N "), std::string::npos);
    EXPECT_NE(help.find("  --scanner K "), std::string::npos);
}
