// rdq-sim with several scanners in one process: each terminal answers as its own scanner, a fault on one
// line leaves the others answering, and each scanner keeps a record of its own.
#include "ChildProcess.h"
#include "SimFleet.h"
#include "TextChecks.h"

#include "device/CommandLink.h"
#include "serial/Clock.h"
#include "serial/posix/PosixSerialChannel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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
    EXPECT_TRUE(contains(json1, "{\"text\": \"M\""));
    EXPECT_TRUE(contains(json1, "{\"text\": \"V\""));
    EXPECT_TRUE(contains(json3, "{\"text\": \"V\""));
    EXPECT_TRUE(lacks(json3, "{\"text\": \"M\""));
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
        const CliRun run = runProgram(rdqSimProgram(), c.args, kLimitMs);
        const std::string firstLine = run.err.substr(0, run.err.find('\n'));
        EXPECT_EQ(run.exitCode, 2) << c.reason;
        EXPECT_EQ(firstLine.rfind("rdq-sim: ", 0), 0u) << firstLine;
        EXPECT_TRUE(contains(firstLine, c.reason));
    }

    const CliRun help = runProgram(rdqSimProgram(), {"--help"}, kLimitMs);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "  --scanners N "));
    EXPECT_TRUE(contains(help.out, "  --scanner K "));
}
