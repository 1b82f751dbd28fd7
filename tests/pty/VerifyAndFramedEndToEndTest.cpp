// orvexa-cli against rdq-sim over a real pseudo-terminal, in real time: Step 2 for both families, and a
// whole framed-family upgrade. Which cases apply depends on what this build carries: the carried classic
// image, or a test "UPDATE" container (ORVEXA_FIRMWARE_IMAGE, see FramedContainer.sh).
#include "ChildProcess.h"
#include "TextChecks.h"
#include "firmware/Sha256.h"

#include "app/ExitCodes.h"
#include "firmware/FirmwarePackage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvexa;

namespace {

// rdq-sim's options with a record of what it received, for takeRecord() at the test's end.
std::vector<std::string> recorded(std::vector<std::string> options) {
    options.insert(options.begin(), {"--record", scratchPath("e2e-record.json")});
    return options;
}

// Each case needs the programs, and a build that carries the classic image or an UPDATE container
// (scripts/test builds one).
#define SKIP_UNLESS_THE_BUILD_CARRIES(container)                                                             \
    ORVEXA_SKIP_WITHOUT_PROGRAMS();                                                                          \
    if (FirmwarePackage::carried().isUpdateContainer() != (container)) {                                     \
        GTEST_SKIP() << "this build does not carry "                                                         \
                     << ((container) ? "an UPDATE container" : "the classic image");                         \
    }

} // namespace

TEST(VerifyAndFramedEndToEnd, ClassicScannerIsVerifiedAndCheckStopsThere) {
    SKIP_UNLESS_THE_BUILD_CARRIES(false);
    RdqSimProcess sim(rdqSimProgram(), recorded({}));
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, exitcode::kDone) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "RDQ is verified[00A7UG] !!"));
    EXPECT_TRUE(contains(run.out, "3.05_200_A7UG RDQ200 BT Imager A7UG"));
    const std::string record = sim.takeRecord();
    EXPECT_TRUE(lacks(record, "\"HH\"")); // no download was started
}

TEST(VerifyAndFramedEndToEnd, FramedScannerMeetingTheClassicImageIsToldWrongFirmware) {
    SKIP_UNLESS_THE_BUILD_CARRIES(false);
    RdqSimProcess sim(rdqSimProgram(), recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--yes", "--port", sim.path()});
    EXPECT_TRUE(contains(run.out, "Wrong RDQ500 Firmware!!!"));
    EXPECT_EQ(run.exitCode, exitcode::kNotDone); // a refusal for a script, where the GUI exits 0
    EXPECT_TRUE(contains(sim.takeRecord(), "\"framedBlocksStored\": 0"));
}

TEST(VerifyAndFramedEndToEnd, FramedScannerIsUpgradedWithTheCarriedContainer) {
    SKIP_UNLESS_THE_BUILD_CARRIES(true);
    const FirmwarePackage package = FirmwarePackage::carried();
    RdqSimProcess sim(rdqSimProgram(), recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--yes", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, exitcode::kDone) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "Loader:       L500_01_0A00 => "));
    EXPECT_TRUE(contains(run.out, "Firmware updated sucessfully!!!"));

    // The default framed scanner takes 1024-byte blocks; the last one is filled with 0xFF.
    constexpr std::size_t kBlock = 1024;
    const std::size_t size = static_cast<std::size_t>(package.imageSize());
    std::vector<std::uint8_t> expected(package.image(), package.image() + size);
    expected.resize((size + kBlock - 1) / kBlock * kBlock, 0xFF);
    const std::string record = sim.takeRecord();
    EXPECT_TRUE(contains(record, "\"framedImage\": {\"length\": " + std::to_string(expected.size()) +
                                     ", \"sha256\": \"" + sha256Hex(expected) + "\""));
}

TEST(VerifyAndFramedEndToEnd, FramedScannerIsVerifiedAndCheckStopsThere) {
    SKIP_UNLESS_THE_BUILD_CARRIES(true);
    RdqSimProcess sim(rdqSimProgram(), recorded({"--family", "framed"}));
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, exitcode::kDone) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "RDQ is verified[00B2WW] !!"));
    EXPECT_TRUE(contains(sim.takeRecord(), "\"framedBlocksStored\": 0"));
}
