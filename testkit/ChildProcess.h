// The programs themselves as child processes, for the end-to-end tests and the benchmark: orvexa-cli run
// the way a script runs it, rdq-sim as the scanner behind a pseudo-terminal. Every wait on a child is
// bounded, so a program that hangs fails its run instead of stalling the suite. POSIX only: the Windows
// build leaves this out.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/types.h>

namespace orvexa {

// A child's standard streams. -1 is /dev/null, so that a child never reads the caller's input or writes
// into its output unless it is asked to.
struct ChildStreams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// Starts `program` with `args` after its own name. `environment` changes the child's variables: a name
// with its value, or with an empty value to remove it, so that a run does not depend on the caller's own.
// The child's pid, or -1 when it could not be started.
pid_t spawnChild(const std::string& program, const std::vector<std::string>& args, ChildStreams streams = {},
                 const std::vector<std::pair<std::string, std::string>>& environment = {});

struct ChildExit {
    int code = -1;       // -1 when a signal ended it
    bool killed = false; // it was still running at the limit
    rusage usage{};      // its CPU time and peak memory
};

// Waits up to limitMs for the child to end, then kills it (SIGKILL) and reaps it.
ChildExit waitChild(pid_t pid, int limitMs);

// The two programs as this build tree holds them; a partial build (only the test targets) may lack them.
const std::string& cliProgram();
const std::string& rdqSimProgram();
bool programsBuilt();

// For a test that runs the programs: a partial build skips it instead of failing it.
#define ORVEXA_SKIP_WITHOUT_PROGRAMS()                                                                       \
    if (!::orvexa::programsBuilt()) {                                                                        \
        GTEST_SKIP() << "rdq-sim or orvexa-cli is not built";                                                \
    }

// What a program left behind: a file's text (empty when it cannot be read), a temporary stream's text from
// its start, and whether a text holds `line` as one whole line.
std::string readFile(const std::string& path);
// A file name of this test process's own in the temporary folder: test programs that run at once (two
// suites, two builds) never share one.
std::string scratchPath(const std::string& name);
// Looks at a child's output file every few milliseconds until it holds the text, at most limitMs.
bool waitForText(const std::string& file, const std::string& text, int limitMs);
std::string streamText(std::FILE* file);
bool hasLine(const std::string& text, const std::string& line);

// One orvexa-cli run as a script makes it: what it printed on each stream, its exit code (-1 when it did
// not end within limitMs, and then err says so), and its wall time.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    double ms = 0;
};

// Its standard input (a file, or a terminal that is its keyboard) and its ORVEXA_EXTRA_PORTS, empty to
// remove it, so that the caller's own never leaks in. The limit lies far above any run: a hang fails its
// test instead of stalling the suite.
struct CliSetup {
    std::string input = "/dev/null";
    std::string extraPorts;
    // Its XDG_CONFIG_HOME, where it remembers the port of its last Step 1; empty: a fresh folder for this
    // run alone, removed after it, so that no run is steered by another's port (or the user's own).
    std::string settingsHome;
    int limitMs = 120000;
};

CliRun runCli(const std::vector<std::string>& args, const CliSetup& setup = {});
// Any program (rdq-sim) run the same way, its input /dev/null and its environment the caller's.
CliRun runProgram(const std::string& program, const std::vector<std::string>& args, int limitMs = 120000);

// rdq-sim for the length of a test or a run. Its first line names its terminal; stopped with SIGTERM, it
// writes the file named by its --record option, if any.
class RdqSimProcess {
public:
    static constexpr int kStartLimitMs = 5000; // for the terminal's path
    static constexpr int kStopLimitMs = 5000;

    RdqSimProcess(const std::string& program, const std::vector<std::string>& options);
    // Stops it; the record is removed with it, as it belongs to this run alone.
    ~RdqSimProcess();
    RdqSimProcess(const RdqSimProcess&) = delete;
    RdqSimProcess& operator=(const RdqSimProcess&) = delete;

    // Empty when rdq-sim did not name its terminal in time.
    const std::string& path() const { return path_; }

    // SIGTERM, then the exit code: -1 when it had to be killed. Once ended, the same code again.
    int stop();
    // For an rdq-sim that ends by itself (a hang-up fault): its exit code, -1 when it had to be killed.
    int wait(int limitMs = kStopLimitMs);
    // Stops it, then reads and removes its record; empty without a --record option.
    std::string takeRecord();

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::string path_;
    std::string recordPath_;
};

} // namespace orvexa
