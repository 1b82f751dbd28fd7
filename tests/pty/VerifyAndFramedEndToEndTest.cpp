// orvexa-cli against rdq-sim over a real pseudo-terminal, in real time: Step 2 for both families, and a
// whole framed-family upgrade. Which cases apply depends on what this build carries: the carried classic
// image, or a test "UPDATE" container (ORVEXA_FIRMWARE_IMAGE, see FramedContainer.sh).
#include "ChildProcess.h"
#include "Sha256.h"
#include "firmware/FirmwarePackage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

using namespace orvexa;

namespace {

const std::string kCli = ORVEXA_BINARY_DIR "/src/cli/orvexa-cli";
const std::string kSim = ORVEXA_BINARY_DIR "/sim/rdq-sim";
// Far beyond a normal run (Step 1 to 3 of a framed upgrade take about 15 s on an idle machine), short of
// hanging the suite when something waits that should not.
constexpr int kCliLimitMs = 90000;

// rdq-sim's options with a record of what it received, for takeRecord() at the test's end.
std::vector<std::string> recorded(std::vector<std::string> options) {
    options.insert(options.begin(),
                   {"--record", "/tmp/orvexa-e2e-record-" + std::to_string(getpid()) + ".json"});
    return options;
}

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

CliRun runCli(const std::vector<std::string>& options) {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    const ChildExit exit = waitChild(spawnChild(kCli, options, {-1, fileno(out), fileno(err)}), kCliLimitMs);
    if (exit.killed) {
        ADD_FAILURE() << "orvexa-cli did not end within " << kCliLimitMs << " ms";
    }
    CliRun run;
    run.exitCode = exit.code;
    lseek(fileno(out), 0, SEEK_SET);
    lseek(fileno(err), 0, SEEK_SET);
    run.out = drain(fileno(out));
    run.err = drain(fileno(err));
    std::fclose(out);
    std::fclose(err);
    return run;
}

bool carriesContainer() {
    return FirmwarePackage::carried().isUpdateContainer();
}

// The two programs are built by the same tree; a partial build (only the test targets) may lack them.
#define REQUIRE_PROGRAMS()                                                                                   \
    if (access(kCli.c_str(), X_OK) != 0 || access(kSim.c_str(), X_OK) != 0) {                                \
        GTEST_SKIP() << "orvexa-cli and rdq-sim are not built";                                              \
    }

} // namespace

TEST(VerifyAndFramedEndToEnd, ClassicScannerIsVerifiedAndCheckStopsThere) {
    REQUIRE_PROGRAMS();
    if (carriesContainer()) {
        GTEST_SKIP() << "this build carries a framed-family container";
    }
    RdqSimProcess sim(kSim, recorded({}));
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("RDQ is verified[00A7UG] !!"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3.05_200_A7UG RDQ200 BT Imager A7UG"), std::string::npos) << run.out;
    const std::string record = sim.takeRecord();
    EXPECT_EQ(record.find("\"HH\""), std::string::npos); // no download was started
}

TEST(VerifyAndFramedEndToEnd, FramedScannerMeetingTheClassicImageIsToldWrongFirmware) {
    REQUIRE_PROGRAMS();
    if (carriesContainer()) {
        GTEST_SKIP() << "this build carries a framed-family container";
    }
    RdqSimProcess sim(kSim, recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--yes", "--port", sim.path()});
    EXPECT_NE(run.out.find("Wrong RDQ500 Firmware!!!"), std::string::npos) << run.out;
    EXPECT_EQ(run.exitCode, 1); // a refusal for a script, where the GUI exits 0
    EXPECT_NE(sim.takeRecord().find("\"framedBlocksStored\": 0"), std::string::npos);
}

TEST(VerifyAndFramedEndToEnd, FramedScannerIsUpgradedWithTheCarriedContainer) {
    REQUIRE_PROGRAMS();
    if (!carriesContainer()) {
        GTEST_SKIP() << "needs a build that carries an UPDATE container (scripts/test builds one)";
    }
    const FirmwarePackage package = FirmwarePackage::carried();
    RdqSimProcess sim(kSim, recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--yes", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Loader:       L500_01_0A00 => "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Firmware updated sucessfully!!!"), std::string::npos) << run.out;

    // The default framed scanner takes 1024-byte blocks; the last one is filled with 0xFF.
    constexpr std::size_t kBlock = 1024;
    const std::size_t size = static_cast<std::size_t>(package.imageSize());
    std::vector<std::uint8_t> expected(package.image(), package.image() + size);
    expected.resize((size + kBlock - 1) / kBlock * kBlock, 0xFF);
    const std::string record = sim.takeRecord();
    EXPECT_NE(record.find("\"framedImage\": {\"length\": " + std::to_string(expected.size()) +
                          ", \"sha256\": \"" + sha256Hex(expected) + "\""),
              std::string::npos)
        << record.substr(record.find("framedImage"), 200);
}

TEST(VerifyAndFramedEndToEnd, FramedScannerIsVerifiedAndCheckStopsThere) {
    REQUIRE_PROGRAMS();
    if (!carriesContainer()) {
        GTEST_SKIP() << "needs a build that carries an UPDATE container (scripts/test builds one)";
    }
    RdqSimProcess sim(kSim, recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("RDQ is verified[00B2WW] !!"), std::string::npos) << run.out;
    EXPECT_NE(sim.takeRecord().find("\"framedBlocksStored\": 0"), std::string::npos);
}
