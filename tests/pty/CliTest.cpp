// orvexa-cli as a script runs it: a real process, real pseudo-terminals, rdq-sim as the scanner. What is
// asserted is what a script sees: the printed lines, the exit code, the trace file, and whether anything
// reached the far end.
#include "ChildProcess.h"
#include "PseudoTerminal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include <poll.h>
#include <unistd.h>

using namespace orvexa;
using namespace orvexa::test;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "orvexa-cli-" + std::to_string(::getpid()) + "-" + name;
}

bool hasLine(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string candidate; std::getline(in, candidate);) {
        if (candidate == line) {
            return true;
        }
    }
    return false;
}

bool rdqSimBuilt() {
    return ::access(rdqSimProgram().c_str(), X_OK) == 0;
}

// A far end played by the test on a pseudo-terminal: "@" to every "W", and to "G","s" a reply that says the
// scanner has GPS, which Step 2 refuses at once. Enough of a scanner for Step 1 without rdq-sim.
class GpsScannerEnd {
public:
    GpsScannerEnd() : thread_([this] { serve(); }) {}
    ~GpsScannerEnd() {
        stop_ = true;
        thread_.join();
    }
    const std::string& path() const { return pty_.slavePath(); }

private:
    void serve() {
        std::uint8_t previous = 0;
        while (!stop_) {
            pollfd pfd{pty_.master(), POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0 || (pfd.revents & POLLIN) == 0) {
                continue;
            }
            std::uint8_t buffer[256];
            const ssize_t got = ::read(pty_.master(), buffer, sizeof buffer);
            for (ssize_t i = 0; i < got; ++i) {
                if (buffer[i] == 'W') {
                    pty_.send({'@'});
                } else if (buffer[i] == 's' && previous == 'G') {
                    pty_.send({'G', 's', 0, 0x01, '@'});
                }
                previous = buffer[i];
            }
        }
    }

    PseudoTerminal pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

TEST(Cli, SilentRunFindsAFarEndOnATerminalAndAGpsRefusalEndsWithOne) {
    GpsScannerEnd scanner;
    const std::string trace = tempPath("gps-trace");

    const CliRun run = runCli({"--silent", "--port", scanner.path(), "--trace", trace});

    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, scanner.path().substr(5) + ": Open Done!!!")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "This firmware doesn't support GPS.")) << run.out;
    const std::string transcript = readFile(trace);
    ::unlink(trace.c_str());
    EXPECT_NE(transcript.find("probe  >  57 "), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("probe  <  40 "), std::string::npos);
    EXPECT_NE(transcript.find("main   >  73 "), std::string::npos); // Step 2's "G","s" on the main channel
    EXPECT_LT(run.ms, 10000);
}

// The README's own example: Silent mode finds the scanner on the simulator's terminal, verifies it and
// stops there; the trace holds the probe's bytes.
TEST(Cli, SilentCheckFindsTheScannerOnRdqSimAndTracesTheProbe) {
    if (!rdqSimBuilt()) {
        GTEST_SKIP() << "rdq-sim is not built";
    }
    RdqSimProcess sim(rdqSimProgram(), {});
    ASSERT_FALSE(sim.path().empty());
    const std::string name = sim.path().substr(std::string("/dev/").size());
    const std::string trace = tempPath("trace");

    const CliRun run = runCli({"--silent", "--check", "--port", sim.path(), "--trace", trace});

    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, name + ": Open Done!!!")) << run.out;
    EXPECT_EQ(run.out.find("Are you ready?"), std::string::npos);
    const std::string transcript = readFile(trace);
    ::unlink(trace.c_str());
    EXPECT_NE(transcript.find("probe  open " + sim.path()), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("probe  >  57 "), std::string::npos);
    EXPECT_NE(transcript.find("probe  <  40 "), std::string::npos);
    EXPECT_NE(transcript.find("main   open " + sim.path()), std::string::npos);
    EXPECT_LT(run.ms, 15000);
}

// A bare run from a script asks the readiness question, gets the default No, and sends nothing.
TEST(Cli, WithoutSilentOrYesAndNoTerminalTheQuestionGetsNoAndNothingIsSent) {
    PseudoTerminal scanner;
    const CliRun run = runCli({"--port", scanner.slavePath()});

    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(hasLine(run.out, "[question] Are you ready?")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Did you close all other applications?"));
    EXPECT_TRUE(hasLine(run.out, "Is RDQ properly connected?"));
    EXPECT_TRUE(scanner.receive(0, 200).empty());
}

// On a terminal the question is asked there; "y" goes on to the probe. Nothing answers on either port:
// the CLI says what it tried and why, and ends with 1 instead of waiting for a manual choice.
TEST(Cli, AnswerFromTheTerminalThenNoScannerAnswersListsThePortsTried) {
    PseudoTerminal keyboard;
    keyboard.send({'y', '\n'});
    PseudoTerminal silent;

    CliSetup fromKeyboard;
    fromKeyboard.input = keyboard.slavePath();
    const CliRun run =
        runCli({"--port", silent.slavePath(), "--port", "/dev/orvexa-no-such-port"}, fromKeyboard);

    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "Yes or No? [y/N] ")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "-> Yes"));
    EXPECT_TRUE(hasLine(run.out, "No scanner answered on any port. Ports tried:")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "  " + silent.slavePath() + " (named): no answer")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "  /dev/orvexa-no-such-port (named): cannot open (no such port)"))
        << run.out;
    const std::vector<std::uint8_t> probes = silent.receive(0, 100);
    EXPECT_GE(probes.size(), 20u); // the second-long probe, about fifty "W"
    EXPECT_EQ(run.out.find("Open Done"), std::string::npos);
    EXPECT_GE(run.ms, 1000);
}

TEST(Cli, ListPortsShowsTheExtraPortsAndBadUsageEndsWithTwo) {
    PseudoTerminal extra;
    CliSetup withExtra;
    withExtra.extraPorts = "::" + extra.slavePath() + ":";
    const CliRun list = runCli({"--list-ports"}, withExtra);
    EXPECT_EQ(list.exitCode, 0);
    const std::string name = extra.slavePath().substr(std::string("/dev/").size());
    EXPECT_NE(list.out.find(extra.slavePath()), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(name), std::string::npos);

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--bogus"}, {"--port"}, {"--port", "--silent"}, {"--trace"}}) {
        const CliRun run = runCli(bad);
        EXPECT_EQ(run.exitCode, 2) << bad[0];
        EXPECT_NE(run.err.find("Usage: orvexa-cli"), std::string::npos);
    }
    const CliRun unwritable = runCli({"--trace", "/nonexistent/dir/trace.txt", "--port", "/dev/null"});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_NE(unwritable.err.find("cannot write the trace file"), std::string::npos);
}
