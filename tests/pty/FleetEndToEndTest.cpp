// orvexa-cli --all --json against rdq-sim --scanners over real pseudo-terminals, in real time: what a script
// that drives a fleet reads, and what each scanner holds afterwards.
#include "ChildProcess.h"
#include "SimFleet.h"
#include "TextChecks.h"
#include "firmware/FirmwarePackage.h"
#include "firmware/Sha256.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <map>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

using namespace orvexa;

namespace {

constexpr int kScanners = 4;
constexpr int kAlreadyCurrent = 3; // of the scanners, counted from 1

std::string recordPath(int scanner) {
    return scratchPath("fleet-e2e-" + std::to_string(scanner) + ".json");
}

// Each case needs the programs, and a build that carries the classic image.
#define SKIP_WITHOUT_THE_CLASSIC_IMAGE()                                                                     \
    if (!programsBuilt() || FirmwarePackage::carried().isUpdateContainer()) {                                \
        GTEST_SKIP() << "needs orvexa-cli and rdq-sim with the carried classic image";                       \
    }

} // namespace

TEST(FleetEndToEnd, EveryEventParsesAndEachScannerHoldsTheCarriedFirmware) {
    SKIP_WITHOUT_THE_CLASSIC_IMAGE();
    std::vector<std::string> options = {"--scanners", std::to_string(kScanners)};
    for (int scanner = 1; scanner <= kScanners; ++scanner) {
        options.insert(options.end(),
                       {"--scanner", std::to_string(scanner), "--record", recordPath(scanner)});
        if (scanner == kAlreadyCurrent) {
            options.insert(options.end(), {"--firmware-text", "3.07_200_A7UG"});
        }
    }
    SimFleet sim(options, kScanners);
    ASSERT_EQ(sim.paths.size(), static_cast<std::size_t>(kScanners));
    std::vector<std::string> args = {"--all", "--yes", "--json"};
    for (const std::string& path : sim.paths) {
        args.insert(args.end(), {"--port", path});
    }
    const CliRun run = runCli(args);
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(run.exitCode, 0) << run.err;

    std::map<std::string, std::string> verdictOf;
    std::istringstream lines(run.out);
    std::string last;
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(event.is_discarded()) << line;
        EXPECT_EQ(event.value("schema", 0), 1) << line;
        if (event.value("event", "") == "result") {
            verdictOf[event.at("port")] = event.at("verdict");
        }
        last = event.value("event", "");
    }
    EXPECT_EQ(last, "run_end");

    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::vector<std::uint8_t> image(package.image(), package.image() + package.imageSize());
    image.resize((image.size() + 255) / 256 * 256, 0xFF); // the last block's tail is erased flash
    for (int scanner = 1; scanner <= kScanners; ++scanner) {
        SCOPED_TRACE(scanner);
        const auto record = nlohmann::json::parse(readFile(recordPath(scanner)), nullptr, false);
        ASSERT_FALSE(record.is_discarded());
        const std::string& port = sim.paths[static_cast<std::size_t>(scanner - 1)];
        if (scanner == kAlreadyCurrent) {
            EXPECT_EQ(verdictOf[port], "already current");
            EXPECT_TRUE(record.at("frames").empty());
        } else {
            EXPECT_EQ(verdictOf[port], "written");
            EXPECT_TRUE(record.at("upgradeFinished").get<bool>());
            EXPECT_EQ(record.at("image").at("sha256"), sha256Hex(image));
        }
        std::remove(recordPath(scanner).c_str());
    }
}

// A station waiting on a port that is not there yet: the scanner appears behind it (rdq-sim's link), is
// written, and Ctrl-C ends the watch with the day's results.
TEST(FleetEndToEnd, StationWritesTheScannerWhosePortAppearsAndCtrlCEndsTheWatch) {
    SKIP_WITHOUT_THE_CLASSIC_IMAGE();
    constexpr int kLimitMs = 60000;
    const std::string port = scratchPath("station-port");
    const std::string output = scratchPath("station.jsonl");
    std::remove(port.c_str());
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t station =
        spawnChild(cliProgram(), {"--watch", "--yes", "--json", "--port", port}, {-1, fd, -1});
    ::close(fd);
    ASSERT_TRUE(waitForText(output, "\"run_start\"", kLimitMs));
    RdqSimProcess sim(rdqSimProgram(), {"--link", port});
    const bool written = waitForText(output, "\"verdict\":\"written\"", kLimitMs);
    ::kill(station, SIGINT);
    EXPECT_EQ(waitChild(station, kLimitMs).code, 0);
    EXPECT_TRUE(written) << readFile(output);
    EXPECT_TRUE(contains(readFile(output), "\"event\":\"run_end\""));
    std::remove(output.c_str());
}

TEST(FleetEndToEnd, AllWithoutYesOrCheckIsBadUsage) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    const CliRun run = runCli({"--all", "--port", "/dev/null"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(contains(run.err, "--all needs --yes"));
}
