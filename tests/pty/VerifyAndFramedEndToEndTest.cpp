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

// rdq-sim's options with a record of what it received, for takeRecord() at the test's end.
std::vector<std::string> recorded(std::vector<std::string> options) {
    options.insert(options.begin(),
                   {"--record", "/tmp/orvexa-e2e-record-" + std::to_string(getpid()) + ".json"});
    return options;
}

bool carriesContainer() {
    return FirmwarePackage::carried().isUpdateContainer();
}

#define REQUIRE_PROGRAMS()                                                                                   \
    if (!programsBuilt()) {                                                                                  \
        GTEST_SKIP() << "orvexa-cli and rdq-sim are not built";                                              \
    }

} // namespace

TEST(VerifyAndFramedEndToEnd, ClassicScannerIsVerifiedAndCheckStopsThere) {
    REQUIRE_PROGRAMS();
    if (carriesContainer()) {
        GTEST_SKIP() << "this build carries a framed-family container";
    }
    RdqSimProcess sim(rdqSimProgram(), recorded({}));
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
    RdqSimProcess sim(rdqSimProgram(), recorded({"--family", "framed"}));
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
    RdqSimProcess sim(rdqSimProgram(), recorded({"--family", "framed"}));
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
    RdqSimProcess sim(rdqSimProgram(), recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("RDQ is verified[00B2WW] !!"), std::string::npos) << run.out;
    EXPECT_NE(sim.takeRecord().find("\"framedBlocksStored\": 0"), std::string::npos);
}
