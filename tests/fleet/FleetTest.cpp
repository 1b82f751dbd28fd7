// Fleets of simulated scanners on the virtual clock, one clock per worker as on a real machine each worker
// has its own line: what each scanner ends up holding, the row and the exit code a script reads.
#include "ChildProcess.h"
#include "FleetDesk.h"

#include "app/ExitCodes.h"
#include "cli/FleetBoard.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <sstream>

namespace orvexa {
namespace {

TEST(Fleet, EachScannerEndsItsOwnWayAndOneFailureStopsNoOther) {
    FleetDesk desk;
    SimulatedScanner& old = desk.scanner("/dev/ttyUSB0");
    SimulatedScanner& current = desk.scanner("/dev/ttyUSB1", runningCarried());
    desk.silentPort("/dev/ttyUSB2");
    SimulatedScanner& vanishing =
        desk.scanner("/dev/ttyUSB3", {}, faults::vanishAt(FaultPoint::Kind::Frame, 300));
    SimulatedScanner& refusing = desk.scanner("/dev/ttyUSB4", scannerWith([](auto& p) { p.gps = true; }));

    std::FILE* json = std::tmpfile();
    desk.run({}, json);
    std::istringstream events(streamText(json));
    std::fclose(json);

    const Verdict expected[] = {Verdict::Written, Verdict::AlreadyCurrent, Verdict::NoScanner,
                                Verdict::Failed, Verdict::Failed};
    ASSERT_EQ(desk.results.size(), std::size(expected));
    for (std::size_t i = 0; i < desk.results.size(); ++i) {
        SCOPED_TRACE(desk.results[i].port.path);
        EXPECT_EQ(desk.results[i].verdict, expected[i]);
    }
    EXPECT_TRUE(old.record().upgradeFinished);
    EXPECT_EQ(desk.results[0].firmwareBefore, "3.05");
    EXPECT_EQ(desk.results[0].firmwareAfter, "3.07");
    EXPECT_TRUE(current.record().frames.empty()) << "an already current scanner is not written";
    EXPECT_TRUE(vanishing.vanished());
    EXPECT_EQ(desk.results[3].exitCode, exitcode::kTransferError);
    EXPECT_TRUE(refusing.record().frames.empty());
    EXPECT_EQ(desk.results[4].exitCode, exitcode::kNotDone);
    EXPECT_EQ(desk.exitCode(), exitcode::kTransferError);

    // Every event is one JSON object; each scanner's result is among them with its verdict.
    std::map<std::string, std::string> verdictOf;
    std::size_t lines = 0;
    for (std::string line; std::getline(events, line); ++lines) {
        const auto event = nlohmann::json::parse(line);
        EXPECT_EQ(event.at("schema"), EventLog::kSchemaVersion);
        if (event.at("event") == "result") {
            verdictOf[event.at("port")] = event.at("verdict");
        }
    }
    EXPECT_GT(lines, desk.results.size());
    EXPECT_EQ(verdictOf["/dev/ttyUSB1"], "already current");
    EXPECT_EQ(verdictOf["/dev/ttyUSB3"], "failed");
}

TEST(Fleet, TheTwoPortsOfOneBluetoothScannerAreTriedInTurnAndItIsWrittenOnce) {
    FleetDesk desk;
    // The incoming port of a pair never answers; the outgoing one reaches the scanner.
    desk.silentPort("/dev/rfcomm0", "00:11:22:33:44:55");
    SimulatedScanner& paired = desk.scanner("/dev/rfcomm1", {}, {}, "00:11:22:33:44:55");
    desk.secondPort("/dev/rfcomm2", "/dev/rfcomm1", "00:11:22:33:44:55");
    SimulatedScanner& other = desk.scanner("/dev/ttyACM0");
    desk.run();

    EXPECT_EQ(desk.results[0].verdict, Verdict::NoScanner);
    EXPECT_EQ(desk.results[1].verdict, Verdict::Written);
    EXPECT_EQ(desk.results[2].verdict, Verdict::Skipped);
    EXPECT_EQ(desk.results[2].why, "same scanner as rfcomm1");
    EXPECT_EQ(timesWritten(paired), 1) << "the scanner was written through one port only";
    EXPECT_TRUE(other.record().upgradeFinished);
    EXPECT_EQ(desk.exitCode(), exitcode::kDone);
}

TEST(Fleet, CheckWritesNothingButSaysWhatWouldBeWrittenAndForceWritesEvenACurrentScanner) {
    struct Case {
        const char* name;
        bool current;
        FleetSettings settings;
        Verdict verdict;
        bool written;
        bool wouldWrite;
    } cases[] = {
        {"--check, current", true, {true, false, false, false}, Verdict::Verified, false, false},
        {"--check, old", false, {true, false, false, false}, Verdict::Verified, false, true},
        {"--check --force, current", true, {true, true, false, false}, Verdict::Verified, false, true},
        {"--force, current", true, {false, true, false, true}, Verdict::Written, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FleetDesk desk;
        SimulatedScanner& scanner =
            desk.scanner("/dev/ttyUSB0", c.current ? runningCarried() : ScannerPersonality{});
        std::FILE* json = std::tmpfile();
        desk.run(c.settings, json);
        const std::string events = streamText(json);
        std::fclose(json);
        EXPECT_EQ(desk.results[0].verdict, c.verdict);
        EXPECT_EQ(scanner.record().upgradeFinished, c.written);
        EXPECT_TRUE(c.written || scanner.record().frames.empty()) << "--check sends no frame";
        EXPECT_EQ(desk.exitCode(), exitcode::kDone);
        const std::string key = "\"would_write\":" + std::string(c.wouldWrite ? "true" : "false");
        EXPECT_EQ(events.find(key) != std::string::npos, c.verdict == Verdict::Verified) << events;
        if (c.verdict == Verdict::Verified) {
            const std::string summary = summaryLines(desk.results, 80).back();
            EXPECT_NE(summary.find(c.wouldWrite ? "verified: would write" : "verified: already current"),
                      std::string::npos)
                << summary;
        }
    }
}

TEST(Fleet, ExitCodeIsTheWorstInTheOrderInterruptedTransferNotDoneCancelled) {
    auto scanner = [](int code) {
        ScannerResult result;
        result.verdict = code == exitcode::kDone ? Verdict::Written : Verdict::Failed;
        result.exitCode = code;
        return result;
    };
    ScannerResult nothing;
    nothing.verdict = Verdict::NoScanner;
    nothing.exitCode = exitcode::kNotDone;
    ScannerResult skipped;
    skipped.verdict = Verdict::Skipped;
    const struct {
        std::vector<ScannerResult> results;
        int exitCode;
    } cases[] = {
        {{}, exitcode::kNotDone},
        {{nothing, nothing}, exitcode::kNotDone},
        {{scanner(0), nothing, skipped}, exitcode::kDone},
        {{scanner(4), scanner(0)}, exitcode::kCancelled},
        {{scanner(4), scanner(1)}, exitcode::kNotDone},
        {{scanner(1), scanner(3), scanner(4)}, exitcode::kTransferError},
        {{scanner(3), scanner(130)}, exitcode::kInterrupted},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fleetExitCode(cases[i].results), cases[i].exitCode);
    }
}

} // namespace
} // namespace orvexa
