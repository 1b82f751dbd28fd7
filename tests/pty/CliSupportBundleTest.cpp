// orvexa-cli --support-bundle as a script runs it, beside a --check against rdq-sim and alone: the bundle
// holds that run (or none), the exit code stays the run's, and the port named as the bundle's file is
// refused, never written into.
#include "ChildProcess.h"
#include "TextChecks.h"

#include "app/ExitCodes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

using namespace orvexa;

namespace {

using json = nlohmann::json;

std::string traceText(const json& run) {
    std::string text;
    for (const json& line : run["trace"]) {
        text += line.get<std::string>() + "\n";
    }
    return text;
}

} // namespace

TEST(CliSupportBundle, BesideACheckItHoldsTheRunAndAloneItHoldsNone) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    RdqSimProcess sim(rdqSimProgram(), {});
    ASSERT_FALSE(sim.path().empty());
    const std::string bundle = scratchPath("cli-bundle.json");

    const CliRun run = runCli({"--silent", "--check", "--port", sim.path(), "--support-bundle", bundle});

    EXPECT_EQ(run.exitCode, exitcode::kDone) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "Support bundle written to " + bundle)) << run.out;
    const json checked = json::parse(readFile(bundle));
    EXPECT_EQ(checked["program"]["name"], "orvexa-cli");
    const json& lastRun = checked["last_run"];
    ASSERT_TRUE(lastRun.is_object()) << checked.dump(2);
    EXPECT_EQ(lastRun["status_lines"],
              json::array({"RDQ is verified[00A7UG] !!", "Firmware: [3.05_200_A7UG RDQ200 BT Imager A7UG]"}));
    EXPECT_TRUE(lastRun["boxes"].empty()); // Silent mode asks nothing, and a check shows no box
    EXPECT_TRUE(contains(traceText(lastRun), "probe  open " + sim.path()));
    EXPECT_TRUE(contains(traceText(lastRun), "main   >  73 ")); // Step 2's "s"
    EXPECT_EQ(checked["ports"][0]["path"], sim.path());

    // With --json the line goes to standard error, and standard output stays events only.
    const CliRun quiet =
        runCli({"--silent", "--check", "--json", "--port", sim.path(), "--support-bundle", bundle});
    EXPECT_EQ(quiet.exitCode, exitcode::kDone) << quiet.err;
    EXPECT_TRUE(hasLine(quiet.err, "Support bundle written to " + bundle)) << quiet.err;
    std::istringstream events(quiet.out);
    for (std::string line; std::getline(events, line);) {
        EXPECT_TRUE(json::accept(line)) << line;
    }

    // Alone: the machine's facts and no run; nothing reaches the scanner.
    const CliRun alone = runCli({"--support-bundle", bundle});
    EXPECT_EQ(alone.exitCode, exitcode::kDone) << alone.err;
    EXPECT_TRUE(json::parse(readFile(bundle))["last_run"].is_null());
    EXPECT_TRUE(lacks(alone.out, "Are you ready?"));
    ::unlink(bundle.c_str());
}

// The run goes on to its own end and exit code; the bundle is refused with a line that says why, and the
// terminal named as its file is still the terminal, never written into.
TEST(CliSupportBundle, ThePortNamedAsTheBundleIsRefusedAndTheRunKeepsItsExitCode) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    RdqSimProcess sim(rdqSimProgram(), {});
    ASSERT_FALSE(sim.path().empty());

    const CliRun run = runCli({"--silent", "--check", "--port", sim.path(), "--support-bundle", sim.path()});

    EXPECT_EQ(run.exitCode, exitcode::kDone) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.err, "orvexa-cli: the support bundle was not written: '" + sim.path() +
                                     "' is a device, not a file: nothing is written into it"))
        << run.err;
    struct stat node {};
    ASSERT_EQ(::stat(sim.path().c_str(), &node), 0);
    EXPECT_TRUE(S_ISCHR(node.st_mode));

    // A run that finds no scanner still leaves its bundle, and its own exit code.
    const std::string bundle = scratchPath("cli-bundle-missing.json");
    const CliRun missing =
        runCli({"--silent", "--port", "/dev/orvexa-no-such-port", "--support-bundle", bundle});
    EXPECT_EQ(missing.exitCode, exitcode::kNotDone) << missing.err;
    const json written = json::parse(readFile(bundle));
    EXPECT_EQ(written["ports"][0]["problem"], "no such port");
    EXPECT_TRUE(written["last_run"].is_object());
    ::unlink(bundle.c_str());
    const CliRun alone = runCli({"--support-bundle", "/dev/null"});
    EXPECT_EQ(alone.exitCode, exitcode::kNotDone);
}
