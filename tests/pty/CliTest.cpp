// orvexa-cli as a script runs it: a real process, real pseudo-terminals, rdq-sim as the scanner. What is
// asserted is what a script sees: the printed lines, the exit code, the trace file, and whether anything
// reached the far end.
#include "ChildProcess.h"
#include "PseudoTerminal.h"
#include "ScannerSession.h"
#include "TextChecks.h"

#include "app/ExitCodes.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace orvexa;
using namespace orvexa::test;

TEST(Cli, SilentRunFindsAFarEndOnATerminalAndAGpsRefusalEndsWithOne) {
    PseudoTerminal pty;
    // A scanner that says it has GPS, which Step 2 refuses at once: enough for Step 1 without rdq-sim.
    PtyScanner scanner(pty, scannerWith([](auto& p) { p.gps = true; }));
    const std::string trace = scratchPath("gps-trace");

    const CliRun run = runCli({"--silent", "--port", pty.slavePath(), "--trace", trace});

    EXPECT_EQ(run.exitCode, exitcode::kNotDone) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, pty.slavePath().substr(5) + ": Open Done!!!")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "This firmware doesn't support GPS.")) << run.out;
    const std::string transcript = readFile(trace);
    ::unlink(trace.c_str());
    EXPECT_TRUE(contains(transcript, "probe  >  57 "));
    EXPECT_TRUE(contains(transcript, "probe  <  40 "));
    EXPECT_TRUE(contains(transcript, "main   >  73 ")); // Step 2's "G","s" on the main channel
    EXPECT_LT(run.ms, 10000);
}

// The README's own example: Silent mode finds the scanner on the simulator's terminal, verifies it and
// stops there; the trace holds the probe's bytes.
TEST(Cli, SilentCheckFindsTheScannerOnRdqSimAndTracesTheProbe) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    RdqSimProcess sim(rdqSimProgram(), {});
    ASSERT_FALSE(sim.path().empty());
    const std::string name = sim.path().substr(std::string("/dev/").size());
    const std::string trace = scratchPath("trace");

    const CliRun run = runCli({"--silent", "--check", "--port", sim.path(), "--trace", trace});

    EXPECT_EQ(run.exitCode, exitcode::kDone) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, name + ": Open Done!!!")) << run.out;
    EXPECT_TRUE(lacks(run.out, "Are you ready?"));
    const std::string transcript = readFile(trace);
    ::unlink(trace.c_str());
    EXPECT_TRUE(contains(transcript, "probe  open " + sim.path()));
    EXPECT_TRUE(contains(transcript, "probe  >  57 "));
    EXPECT_TRUE(contains(transcript, "probe  <  40 "));
    EXPECT_TRUE(contains(transcript, "main   open " + sim.path()));
    EXPECT_LT(run.ms, 15000);
}

// A bare run from a script asks the readiness question, gets the default No, and sends nothing.
TEST(Cli, WithoutSilentOrYesAndNoTerminalTheQuestionGetsNoAndNothingIsSent) {
    PseudoTerminal scanner;
    const CliRun run = runCli({"--port", scanner.slavePath()});

    EXPECT_EQ(run.exitCode, exitcode::kCancelled);
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

    EXPECT_EQ(run.exitCode, exitcode::kNotDone) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "Yes or No? [y/N] ")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "-> Yes"));
    EXPECT_TRUE(hasLine(run.out, "No scanner answered on any port. Ports tried:")) << run.out;
    EXPECT_TRUE(contains(run.out, "orvexa-cli --doctor tells"));
    EXPECT_TRUE(hasLine(run.out, "  " + silent.slavePath() + " (named): no answer")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "  /dev/orvexa-no-such-port (named): cannot open (no such port)"))
        << run.out;
    const std::vector<std::uint8_t> probes = silent.receive(0, 100);
    EXPECT_GE(probes.size(), 20u); // the second-long probe, about fifty "W"
    EXPECT_TRUE(lacks(run.out, "Open Done"));
    EXPECT_GE(run.ms, 1000);
}

TEST(Cli, ListPortsShowsTheExtraPortsAndBadUsageEndsWithTwo) {
    PseudoTerminal extra;
    CliSetup withExtra;
    withExtra.extraPorts = "::" + extra.slavePath() + ":";
    const CliRun list = runCli({"--list-ports"}, withExtra);
    EXPECT_EQ(list.exitCode, exitcode::kDone);
    const std::string name = extra.slavePath().substr(std::string("/dev/").size());
    EXPECT_TRUE(contains(list.out, extra.slavePath()));
    EXPECT_TRUE(contains(list.out, name));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--bogus"}, {"--port"}, {"--port", "--silent"}, {"--trace"}}) {
        const CliRun run = runCli(bad);
        EXPECT_EQ(run.exitCode, exitcode::kUsage) << bad[0];
        EXPECT_TRUE(contains(run.err, "Usage: orvexa-cli"));
    }
    const CliRun unwritable = runCli({"--trace", "/nonexistent/dir/trace.txt", "--port", "/dev/null"});
    EXPECT_EQ(unwritable.exitCode, exitcode::kUsage);
    EXPECT_TRUE(contains(unwritable.err, "cannot write the trace file"));
}
