// orvexa-bench: the real step code against rdq-sim over pseudo-terminals, with the line model on
// (115200 baud, 10 bits per byte both ways) and a latency per reply, each run's wall time set against
// the wire limit computed from what the scanner recorded. Then Step 1 behind silent ports, and the CPU
// share and peak memory of orvexa-cli through a whole classic upgrade with pages and fonts. Last the
// fleet: orvexa-cli --all writing ten scanners, its wall time set against one scanner's run of the same
// benchmark run, its CPU share and peak memory, and how soon its Step 1 opens a scanner's port when ten
// silent ports are probed with it. Then the same upgrade over a bt: port (the tests' fake BlueZ on a bus of
// its own, rdq-sim --listen behind it) against one over a pseudo-terminal.
#include "ChildProcess.h"
#include "Scenarios.h"
#include "WireLimit.h"

#include "firmware/FirmwareCatalogue.h"
#include "firmware/Sha256.h"
#include "serial/Clock.h"
#include "serial/posix/PosixSerialChannel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvexa;
using namespace orvexa::bench;

namespace {

constexpr std::uint32_t kBaudRate = 115200;
// rdq-sim stays awake for the last 3 ms before each reply byte is due: on this kind of machine a timed
// sleep of 20 ms wakes over a millisecond late one time in ten, and that lateness would be charged to the
// tool. The spin costs rdq-sim's CPU, never the tool's.
constexpr std::uint32_t kSimSpinUs = 3000;
constexpr std::uint32_t kReadyDelayMs = 300; // rdq-sim's time from the start sequence to its "X"
constexpr int kCliLimitMs = 600000;          // for the CPU run: far beyond its length, met only by a hang

// The fleet and the goals its runs are held against: each scanner's bytes and pauses are those of a single
// run in a worker of its own, so ten should take about the time of one and cost the tool little more.
constexpr int kFleetScanners = 10;
constexpr int kQuickFleetScanners = 3;
constexpr double kFleetRatioGoal = 1.05;
constexpr double kFleetCpuGoalPercent = 3.0; // of one core, over the run's wall time
constexpr long kFleetMemoryGoalKiB = 24 * 1024;
constexpr double kFleetStep1GoalMs = 1200; // one probe time, whatever the number of silent ports

constexpr const char* kUsage =
    R"(Usage: orvexa-bench [--quick] [--only TEXT] [--repeat N] [--sim PATH] [--cli PATH] [--latency MS]...
Times the real step code against rdq-sim over pseudo-terminals at 115200 baud and prints, for each run,
the measured wall time, the wire limit (line time of every byte, the scanner's latency, the mandated
pauses and waits) and their ratio; then Step 1 with silent ports before the scanner's, and the CPU share
and peak memory of orvexa-cli during a classic upgrade with pages and fonts.
Then the fleet: orvexa-cli --all --yes --fonts with ten scanners against one scanner's run, its CPU share
and peak memory, and the time its Step 1 takes to open the scanner's port behind ten silent ports.
Last orvexa-cli --silent --yes --fonts over a bt: port against the same over a pseudo-terminal: the
tests' fake BlueZ (tests/bluetooth, python3-dbusmock) on a private bus, rdq-sim --listen behind it.
  --quick        Steps 1 to 3 and the 1024-byte framed download at 0 ms only; one silent port; no CPU run;
                 the fleet with three unpaced scanners (0 baud) and one silent port in its Step 1; no
                 bt: run
  --only TEXT    only the runs whose name holds TEXT ("512", "fonts", "Step 1", "cli", "fleet",
                 "catalogue", "bluetooth")
  --repeat N     run each N times; print the median run and the best ratio (also the fleet's) [1]
  --latency MS   a latency per reply to run (repeatable)            [0 2 16 40]
  --sim PATH     rdq-sim to use                                     [the build's]
  --cli PATH     orvexa-cli to use                                  [the build's]
)";

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    in >> one >> five >> fifteen;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

// How late this machine wakes a sleeper: every exchange of an upgrade ends in such a wake-up, in the tool
// and in rdq-sim, so a machine that oversleeps by milliseconds now and then moves every ratio with it.
std::string wakeUpLateness() {
    constexpr int kProbeMs = 2000;
    constexpr int kLateMs = 2;
    std::vector<double> lateUs;
    const double end = nowMs() + kProbeMs;
    while (nowMs() < end) {
        const double before = nowMs();
        poll(nullptr, 0, 1);
        lateUs.push_back((nowMs() - before - 1.0) * 1000.0);
    }
    std::sort(lateUs.begin(), lateUs.end());
    const auto at = [&](double share) {
        return lateUs[static_cast<std::size_t>(share * (lateUs.size() - 1))];
    };
    const auto late =
        std::count_if(lateUs.begin(), lateUs.end(), [](double us) { return us > kLateMs * 1000; });
    char text[160];
    std::snprintf(text, sizeof text,
                  "1 ms sleeps wake %.0f us late (median), %.0f us (99th), %.0f us (worst); "
                  "%ld of %zu over %d ms",
                  at(0.5), at(0.99), lateUs.back(), static_cast<long>(late), lateUs.size(), kLateMs);
    return text;
}

// rdq-sim for one run: started with the line model, stopped (which writes its record) at the end.
class Simulator : public RdqSimProcess {
public:
    Simulator(const std::string& sim, ScannerFamily family, std::uint32_t latencyMs)
        : RdqSimProcess(sim, options(family, latencyMs)) {
        if (path().empty()) {
            throw std::runtime_error("rdq-sim did not start: " + sim);
        }
    }

private:
    static std::vector<std::string> options(ScannerFamily family, std::uint32_t latencyMs) {
        std::vector<std::string> args{
            "--record",      "/tmp/orvexa-bench-" + std::to_string(getpid()) + ".json",
            "--baud",        std::to_string(kBaudRate),
            "--latency",     std::to_string(latencyMs),
            "--ready-delay", std::to_string(kReadyDelayMs),
            "--spin-us",     std::to_string(kSimSpinUs)};
        if (family == ScannerFamily::Framed) {
            args.insert(args.end(), {"--family", "framed"});
        }
        return args;
    }
};

// A pseudo-terminal where nothing answers: the probe's "W" bytes pile up unread.
class SilentPort {
public:
    SilentPort() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        path_ = ptsname(master_);
        // Keep the line up while the probe opens and closes its end.
        keep_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    }
    ~SilentPort() {
        ::close(keep_);
        ::close(master_);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    int keep_ = -1;
    std::string path_;
};

struct Row {
    Scenario scenario;
    std::string name;
    std::uint32_t latencyMs;
    double wallMs;
    Limit limit;
    Outcome outcome;
};

void printHeader() {
    std::printf("%-32s %7s %10s %10s %8s %8s %9s %7s %7s\n", "run", "latency", "wall ms", "limit ms", "line",
                "latency", "mandated", "ratio", "best");
}

// Time lost to the machine (a wake-up that comes late) only ever adds to a run, so of several runs the
// median says what a user sees and the best says what the tool itself costs. False when a run did not
// end as it should: its time says nothing then.
bool printRuns(std::vector<Row> runs) {
    const auto ratio = [](const Row& row) { return row.wallMs / row.limit.totalMs(); };
    std::sort(runs.begin(), runs.end(), [&](const Row& a, const Row& b) { return ratio(a) < ratio(b); });
    const Row& row = runs[(runs.size() - 1) / 2];
    const bool failed = std::any_of(runs.begin(), runs.end(), [](const Row& run) {
        return run.outcome != infoOf(run.scenario).expected;
    });
    std::printf("%-32s %5u ms %10.1f %10.1f %8.1f %8.1f %9.1f %7.4f %7.4f%s\n", row.name.c_str(),
                row.latencyMs, row.wallMs, row.limit.totalMs(), row.limit.lineMs, row.limit.latencyMs,
                row.limit.mandatedMs, ratio(row), ratio(runs.front()), failed ? "  (FAILED)" : "");
    std::fflush(stdout);
    return !failed;
}

Row runScenario(const std::string& sim, Scenario scenario, std::uint32_t latencyMs, int silentPorts = 0) {
    const ScenarioInfo& info = infoOf(scenario);
    Simulator simulator(sim, info.family, latencyMs);
    SteadyClock clock;
    PosixSerialChannel channel;
    std::vector<std::unique_ptr<SilentPort>> silent;
    std::vector<std::string> ports;
    for (int i = 0; i < silentPorts; ++i) {
        silent.push_back(std::make_unique<SilentPort>());
        ports.push_back(silent.back()->path());
    }
    ports.push_back(simulator.path());
    if (scenario != Scenario::Step1 && !channel.openDefault(simulator.path())) {
        throw std::runtime_error("cannot open " + simulator.path());
    }
    ScenarioRun run(
        scenario, channel, clock, [] { return std::make_unique<PosixSerialChannel>(); }, ports);
    const double start = nowMs();
    const Outcome outcome = run.run();
    const double wallMs = nowMs() - start;
    channel.close();
    const Exchange exchange = exchangeFromJson(simulator.takeRecord());
    const Limit limit = wireLimit(exchange, info.flow, {kBaudRate, latencyMs, kReadyDelayMs}, silentPorts);
    std::string name = info.name;
    if (scenario == Scenario::Step1 && silentPorts > 0) {
        name = "Step 1, " + std::to_string(silentPorts) + " silent ports first";
    }
    return {scenario, name, latencyMs, wallMs, limit, outcome};
}

// One orvexa-cli run as the benchmark watches it: from its start to its end, with the CPU time and peak
// memory of the child alone (rdq-sim's spin is rdq-sim's own), and what it wrote on standard output, each
// line stamped with the time it arrived.
struct CliRunUsage {
    int code = -1;
    bool killed = false;
    double wallMs = 0;
    double userMs = 0;
    double systemMs = 0;
    long peakKiB = 0;
    std::vector<std::pair<double, std::string>> lines; // ms since the start, line
    double cpuMs() const { return userMs + systemMs; }
    double cpuPercent() const { return 100.0 * cpuMs() / wallMs; }
};

double msOf(const timeval& time) {
    return time.tv_sec * 1000.0 + time.tv_usec / 1000.0;
}

CliRunUsage runCliWatched(const std::string& cli, const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipe for orvexa-cli's output");
    }
    CliRunUsage run;
    const double start = nowMs();
    // Its progress lines on standard error would break up the table; its exit code says how it ended.
    const pid_t pid = spawnChild(cli, args, {-1, out[1], -1}, environment);
    ::close(out[1]);
    std::string pending;
    char buffer[4096];
    pollfd pfd{out[0], POLLIN, 0};
    const double end = start + kCliLimitMs;
    for (;;) {
        const int ready = poll(&pfd, 1, std::max(0, static_cast<int>(end - nowMs())));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break; // at the limit: waitChild below kills it
        }
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0) {
            break; // the child ended, or closed its output
        }
        const double at = nowMs() - start;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t newline; (newline = pending.find('\n')) != std::string::npos;) {
            run.lines.emplace_back(at, pending.substr(0, newline));
            pending.erase(0, newline + 1);
        }
    }
    ::close(out[0]);
    const ChildExit exit = waitChild(pid, std::max(0, static_cast<int>(end - nowMs())));
    run.wallMs = nowMs() - start;
    run.code = exit.code;
    run.killed = exit.killed;
    run.userMs = msOf(exit.usage.ru_utime);
    run.systemMs = msOf(exit.usage.ru_stime);
    run.peakKiB = exit.usage.ru_maxrss;
    return run;
}

std::string describeUsage(const CliRunUsage& run) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "wall %.1f ms, CPU %.1f ms (user %.1f, system %.1f): %.3f %% of wall; peak RSS %ld KiB",
                  run.wallMs, run.cpuMs(), run.userMs, run.systemMs, run.cpuPercent(), run.peakKiB);
    return text;
}

std::string describeExit(const CliRunUsage& run) {
    return "exit " + std::to_string(run.code) + (run.killed ? " (killed at the limit)" : "");
}

// orvexa-cli through Steps 1 to 3 with pages and fonts in Silent mode: its CPU time against its wall time,
// and its peak resident memory.
bool measureCli(const std::string& sim, const std::string& cli) {
    Simulator simulator(sim, ScannerFamily::Classic, 0);
    const CliRunUsage run = runCliWatched(cli, {"--port", simulator.path(), "--silent", "--fonts"});
    std::printf("\norvexa-cli --silent --fonts (Steps 1-3, classic, pages+fonts, 0 ms latency): %s\n",
                describeExit(run).c_str());
    std::printf("  %s\n", describeUsage(run).c_str());
    return run.code == 0;
}

// How a fleet's scanners pace their line: the benchmark's 115200 baud with its spin, or no pacing at all
// for a smoke run that only shows the fleet works end to end.
struct ScannerPacing {
    std::uint32_t baud;
    std::uint32_t spinUs;
};
constexpr ScannerPacing kWireSpeed{kBaudRate, kSimSpinUs};
constexpr ScannerPacing kUnpaced{0, 0};

// Fresh classic scanners at 0 ms latency, one rdq-sim each: a scanner once written runs the carried
// firmware and would be left alone as already current, so every run gets its own.
// A mixed fleet's scanners, in turn: an RDQ200 A7UG, another RDQ200 variant and a model 18 of the J
// edition, each of which the demo catalogue holds a package for.
const std::vector<std::vector<std::string>> kMixedScanners = {
    {},
    {"--model-text", "RDQ200B1XX", "--firmware-text", "3.05_200_B1XX"},
    {"--model-text", "RDQ180A7UG", "--firmware-text", "3.01_180JA7UG"},
};
const std::string kDemoCatalogue = std::string(ORVEXA_SOURCE_DIR) + "/data/catalogue";

class FleetScanners {
public:
    FleetScanners(const std::string& sim, int count, ScannerPacing line, bool mixed = false) {
        for (int i = 0; i < count; ++i) {
            std::vector<std::string> options{"--baud",        std::to_string(line.baud),
                                             "--ready-delay", std::to_string(kReadyDelayMs),
                                             "--spin-us",     std::to_string(line.spinUs)};
            if (mixed) {
                const std::vector<std::string>& kind =
                    kMixedScanners[static_cast<std::size_t>(i) % kMixedScanners.size()];
                options.insert(options.end(), kind.begin(), kind.end());
            }
            scanners_.push_back(std::make_unique<RdqSimProcess>(sim, options));
            if (scanners_.back()->path().empty()) {
                throw std::runtime_error("rdq-sim did not start: " + sim);
            }
        }
    }
    // --port PATH for each, in order.
    std::vector<std::string> portArgs() const {
        std::vector<std::string> args;
        for (const auto& scanner : scanners_) {
            args.insert(args.end(), {"--port", scanner->path()});
        }
        return args;
    }

private:
    std::vector<std::unique_ptr<RdqSimProcess>> scanners_;
};

// The rows of the fleet's summary table whose result is "written": a port where nothing answered leaves
// the exit code at 0, so the code alone cannot say that every scanner was reached.
int writtenRows(const CliRunUsage& run) {
    const std::string verdict = "written";
    int written = 0;
    for (const auto& [at, line] : run.lines) {
        const std::size_t last = line.find_last_not_of(' ');
        if (last != std::string::npos && last + 1 >= verdict.size() &&
            line.compare(last + 1 - verdict.size(), verdict.size(), verdict) == 0) {
            ++written;
        }
    }
    return written;
}

struct FleetPair {
    CliRunUsage one;
    CliRunUsage fleet;
    CliRunUsage mixed; // the same count of scanners of three kinds, through the demo catalogue
    int written = 0;
    int mixedWritten = 0;
    double ratio() const { return fleet.wallMs / one.wallMs; }
};

const char* goalMark(bool met) {
    return met ? "met" : "MISSED";
}

// One scanner written alone, then the fleet written with --all, each on scanners of its own, as often as
// asked. Late wake-ups only ever add to a run, so the median pair says what a user sees and the best ratio
// what the tool itself costs. False when a run did not end as it should.
bool measureFleet(const std::string& sim, const std::string& cli, int scanners, ScannerPacing line,
                  int repeat) {
    std::vector<FleetPair> pairs;
    for (int i = 0; i < repeat; ++i) {
        FleetPair pair;
        {
            FleetScanners one(sim, 1, line);
            std::vector<std::string> args{"--silent", "--yes", "--fonts"};
            const std::vector<std::string> ports = one.portArgs();
            args.insert(args.end(), ports.begin(), ports.end());
            pair.one = runCliWatched(cli, args);
        }
        {
            FleetScanners fleet(sim, scanners, line);
            std::vector<std::string> args{"--all", "--yes", "--fonts"};
            const std::vector<std::string> ports = fleet.portArgs();
            args.insert(args.end(), ports.begin(), ports.end());
            pair.fleet = runCliWatched(cli, args);
        }
        {
            FleetScanners fleet(sim, scanners, line, true);
            std::vector<std::string> args{"--all", "--yes", "--fonts", "--firmware", kDemoCatalogue};
            const std::vector<std::string> ports = fleet.portArgs();
            args.insert(args.end(), ports.begin(), ports.end());
            pair.mixed = runCliWatched(cli, args);
        }
        pair.written = writtenRows(pair.fleet);
        pair.mixedWritten = writtenRows(pair.mixed);
        pairs.push_back(std::move(pair));
    }
    const bool failed = std::any_of(pairs.begin(), pairs.end(), [scanners](const FleetPair& pair) {
        return pair.one.code != 0 || pair.fleet.code != 0 || pair.written != scanners ||
               pair.mixed.code != 0 || pair.mixedWritten != scanners;
    });
    std::sort(pairs.begin(), pairs.end(),
              [](const FleetPair& a, const FleetPair& b) { return a.ratio() < b.ratio(); });
    const FleetPair& median = pairs[(pairs.size() - 1) / 2];
    const double worstCpu =
        std::max_element(pairs.begin(), pairs.end(), [](const FleetPair& a, const FleetPair& b) {
            return a.fleet.cpuPercent() < b.fleet.cpuPercent();
        })->fleet.cpuPercent();
    const long worstPeak =
        std::max_element(pairs.begin(), pairs.end(), [](const FleetPair& a, const FleetPair& b) {
            return a.fleet.peakKiB < b.fleet.peakKiB;
        })->fleet.peakKiB;

    std::printf("\nfleet: %d classic scanners, pages+fonts, %u baud, 0 ms latency, one rdq-sim each%s\n",
                scanners, line.baud, repeat > 1 ? " (the median of the runs)" : "");
    std::printf("  one   --silent --yes --fonts: %s; %s\n", describeExit(median.one).c_str(),
                describeUsage(median.one).c_str());
    std::printf("  fleet --all --yes --fonts:    %s, %d of %d written; %s\n",
                describeExit(median.fleet).c_str(), median.written, scanners,
                describeUsage(median.fleet).c_str());
    std::printf("  fleet/one wall time: %.4f (best %.4f of %zu), goal <= %.2f: %s\n", median.ratio(),
                pairs.front().ratio(), pairs.size(), kFleetRatioGoal,
                goalMark(median.ratio() <= kFleetRatioGoal));
    std::printf("  mixed fleet --all --yes --fonts --firmware data/catalogue: %s, %d of %d written\n",
                describeExit(median.mixed).c_str(), median.mixedWritten, scanners);
    std::printf("  mixed fleet/fleet of one model wall time: %.4f, goal <= %.2f: %s\n",
                median.mixed.wallMs / median.fleet.wallMs, kFleetRatioGoal,
                goalMark(median.mixed.wallMs / median.fleet.wallMs <= kFleetRatioGoal));
    std::printf("  fleet CPU: %.3f %% of one core (worst %.3f %%), goal <= %.1f %%: %s\n",
                median.fleet.cpuPercent(), worstCpu, kFleetCpuGoalPercent,
                goalMark(worstCpu <= kFleetCpuGoalPercent));
    std::printf("  fleet peak RSS: %ld KiB (worst %ld KiB), goal <= %ld KiB: %s%s\n", median.fleet.peakKiB,
                worstPeak, kFleetMemoryGoalKiB, goalMark(worstPeak <= kFleetMemoryGoalKiB),
                failed ? "  (FAILED)" : "");
    std::fflush(stdout);
    return !failed;
}

// The t_ms of the first event of this kind on this port, from orvexa-cli's JSON lines, with the time the
// benchmark read that line; negative when there is none.
std::pair<double, double> eventTime(const CliRunUsage& run, const std::string& event,
                                    const std::string& port) {
    for (const auto& [at, line] : run.lines) {
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        if (object.is_object() && object.value("event", "") == event && object.value("port", "") == port) {
            return {object.value("t_ms", -1.0), at};
        }
    }
    return {-1.0, -1.0};
}

// The longest elapsed_ms of the results of the ports that found no scanner: the probe time of a silent
// port, which the scanner's port must not wait for once per silent port.
double longestSilentProbeMs(const CliRunUsage& run) {
    double longest = -1;
    for (const auto& [at, line] : run.lines) {
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        if (object.is_object() && object.value("event", "") == "result" &&
            object.value("verdict", "") == "no scanner") {
            longest = std::max(longest, object.value("elapsed_ms", -1.0));
        }
    }
    return longest;
}

// Step 1 of --all --check with silent ports named before the scanner's: every port is probed at once, so
// the scanner's port is opened after one probe time, not one per silent port.
bool measureFleetStep1(const std::string& sim, const std::string& cli, int silentPorts, ScannerPacing line,
                       int repeat) {
    struct Step1Run {
        CliRunUsage run;
        std::pair<double, double> opened;
        double silentProbeMs;
    };
    std::vector<Step1Run> runs;
    for (int i = 0; i < repeat; ++i) {
        std::vector<std::unique_ptr<SilentPort>> silent;
        std::vector<std::string> args{"--all", "--check", "--json"};
        for (int port = 0; port < silentPorts; ++port) {
            silent.push_back(std::make_unique<SilentPort>());
            args.insert(args.end(), {"--port", silent.back()->path()});
        }
        FleetScanners scanner(sim, 1, line);
        const std::vector<std::string> ports = scanner.portArgs();
        args.insert(args.end(), ports.begin(), ports.end());
        Step1Run run{runCliWatched(cli, args), {}, 0};
        run.opened = eventTime(run.run, "port_result", ports.back());
        run.silentProbeMs = longestSilentProbeMs(run.run);
        runs.push_back(std::move(run));
    }
    const bool failed = std::any_of(runs.begin(), runs.end(), [](const Step1Run& run) {
        return run.run.code != 0 || run.opened.first < 0;
    });
    std::sort(runs.begin(), runs.end(),
              [](const Step1Run& a, const Step1Run& b) { return a.opened.first < b.opened.first; });
    const Step1Run& median = runs[(runs.size() - 1) / 2];
    std::printf("\nfleet Step 1: --all --check --json, %d silent port%s, then one scanner at %u baud%s\n",
                silentPorts, silentPorts == 1 ? "" : "s", line.baud,
                repeat > 1 ? " (the median of the runs)" : "");
    std::printf("  %s, wall %.1f ms; a silent port's probe took up to %.0f ms\n",
                describeExit(median.run).c_str(), median.run.wallMs, median.silentProbeMs);
    std::printf("  scanner's port opened at t_ms %.0f (best %.0f of %zu), goal <= %.0f ms: %s; its line read "
                "%.1f ms after orvexa-cli was started%s\n",
                median.opened.first, runs.front().opened.first, runs.size(), kFleetStep1GoalMs,
                goalMark(median.opened.first >= 0 && median.opened.first <= kFleetStep1GoalMs),
                median.opened.second, failed ? "  (FAILED)" : "");
    std::fflush(stdout);
    return !failed;
}

// Loading a catalogue reads and checks every image before any port is opened, so its cost comes before
// every run: ten images of 1 MiB must be loaded and checked within kCatalogueBudgetMs.
constexpr int kCatalogueImages = 10;
constexpr std::size_t kCatalogueImageBytes = 1024 * 1024;
constexpr double kCatalogueBudgetMs = 200;

bool measureCatalogue(int repeat) {
    namespace fs = std::filesystem;
    const fs::path folder = scratchPath("bench-catalogue");
    fs::create_directories(folder);
    std::string sums;
    for (int i = 0; i < kCatalogueImages; ++i) {
        std::vector<std::uint8_t> image(kCatalogueImageBytes, static_cast<std::uint8_t>(i));
        std::memcpy(image.data() + kImageHeaderOffset, "$$RDQv00", 8);
        const std::string name = "M30" + std::to_string(i) + "_200_A7UG.bin";
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        sums += sha256Hex(image) + "  " + name + "\n";
    }
    std::ofstream(folder / kSumsFileName) << sums;
    std::vector<double> times;
    bool loaded = true;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const CatalogueLoad load = FirmwareCatalogue::load(folder.string());
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        loaded &= load.catalogue && load.catalogue->entries().size() == kCatalogueImages;
    }
    fs::remove_all(folder);
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf(
        "\ncatalogue of %d x 1 MiB loaded and checked: best %.1f ms, median %.1f ms (%.2f of the %.0f ms "
        "budget)%s\n",
        kCatalogueImages, times.front(), median, median / kCatalogueBudgetMs, kCatalogueBudgetMs,
        loaded ? "" : "  FAILED");
    return loaded;
}

// The tests' fake BlueZ on a private bus of its own, which the tool is told is the system bus, with one
// paired scanner that it connects to rdq-sim --listen at socketPath().
class FakeBluez {
public:
    static constexpr const char* kAddress = "AA:BB:CC:DD:EE:FF";

    FakeBluez() {
        const std::string base = "/tmp/orvexa-bench-" + std::to_string(getpid());
        busFile_ = base + ".bus";
        socket_ = base + ".sock";
        environment_ = {{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + busFile_}};
        for (const char* program : {kDbusDaemon, kPython, kGdbus}) {
            if (access(program, X_OK) != 0) {
                problem_ = std::string(program) + " is not installed";
                return;
            }
        }
        bus_ = spawnChild(kDbusDaemon, {"--session", "--nofork", "--address=unix:path=" + busFile_});
        fake_ = spawnChild(kPython, {"-m", "dbusmock", "--template", kTemplate}, {}, environment_);
        const double end = nowMs() + kStartLimitMs;
        while (!call({"org.freedesktop.DBus.ObjectManager.GetManagedObjects"})) {
            if (nowMs() > end) {
                problem_ = "the fake BlueZ did not start (is python3-dbusmock installed?)";
                return;
            }
            poll(nullptr, 0, 50);
        }
        if (!call({"org.bluez.Mock.AddAdapter", "hci0", "Bench"}) ||
            !call({"org.bluez.Mock.AddDevice", "hci0", kAddress, "Bench scanner"}) ||
            !call({"org.bluez.Mock.PairScanner", "hci0", kAddress}) ||
            !call({"org.bluez.Mock.SetSerialPort", kAddress, "listen:" + socket_})) {
            problem_ = "the fake BlueZ refused its scanner";
        }
    }
    ~FakeBluez() {
        for (const pid_t pid : {fake_, bus_}) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                waitChild(pid, 5000);
            }
        }
        ::unlink(busFile_.c_str());
    }
    FakeBluez(const FakeBluez&) = delete;
    FakeBluez& operator=(const FakeBluez&) = delete;

    // Why it does not run; empty when it does.
    const std::string& problem() const { return problem_; }
    const std::string& socketPath() const { return socket_; }
    // What the tool's environment needs to reach it.
    const std::vector<std::pair<std::string, std::string>>& environment() const { return environment_; }

private:
    static constexpr const char* kDbusDaemon = "/usr/bin/dbus-daemon";
    // python3-dbusmock is a Debian package, for the system's python whatever python3 is first on PATH.
    static constexpr const char* kPython = "/usr/bin/python3";
    static constexpr const char* kGdbus = "/usr/bin/gdbus";
    static constexpr const char* kTemplate = ORVEXA_SOURCE_DIR "/tests/bluetooth/fake_bluez.py";
    static constexpr int kStartLimitMs = 10000;

    bool call(const std::vector<std::string>& method) {
        std::vector<std::string> args{"call",          "--system", "--dest",  "org.bluez",
                                      "--object-path", "/",        "--method"};
        args.insert(args.end(), method.begin(), method.end());
        const pid_t pid = spawnChild(kGdbus, args, {}, environment_);
        return pid > 0 && waitChild(pid, 5000).code == 0;
    }

    std::string busFile_;
    std::string socket_;
    std::vector<std::pair<std::string, std::string>> environment_;
    std::string problem_;
    pid_t bus_ = -1;
    pid_t fake_ = -1;
};

constexpr double kBluetoothRatioGoal = 1.01;

// orvexa-cli --silent --yes --fonts over a pseudo-terminal, then over a bt: port, each against a fresh
// scanner at 115200 baud, as often as asked: the socket BlueZ hands over must cost the upgrade nothing the
// line does not. False when a run did not end as it should.
bool measureBluetooth(const std::string& sim, const std::string& cli, int repeat) {
    const FakeBluez bluez;
    if (!bluez.problem().empty()) {
        std::printf("\nbluetooth: skipped: %s\n", bluez.problem().c_str());
        return true;
    }
    const std::vector<std::string> line{"--baud",        std::to_string(kBaudRate),
                                        "--ready-delay", std::to_string(kReadyDelayMs),
                                        "--spin-us",     std::to_string(kSimSpinUs)};
    const std::vector<std::string> upgrade{"--silent", "--yes", "--fonts", "--no-remember", "--port"};
    struct Pair {
        CliRunUsage tty;
        CliRunUsage bt;
        double ratio() const { return bt.wallMs / tty.wallMs; }
    };
    std::vector<Pair> pairs;
    for (int i = 0; i < repeat; ++i) {
        Pair pair;
        {
            RdqSimProcess scanner(sim, line);
            std::vector<std::string> args = upgrade;
            args.push_back(scanner.path());
            pair.tty = runCliWatched(cli, args, bluez.environment());
        }
        {
            std::vector<std::string> options = line;
            options.insert(options.end(), {"--listen", bluez.socketPath()});
            RdqSimProcess scanner(sim, options);
            std::vector<std::string> args = upgrade;
            args.push_back(std::string("bt:") + FakeBluez::kAddress);
            pair.bt = runCliWatched(cli, args, bluez.environment());
        }
        pairs.push_back(std::move(pair));
    }
    const bool failed = std::any_of(pairs.begin(), pairs.end(),
                                    [](const Pair& pair) { return pair.tty.code != 0 || pair.bt.code != 0; });
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.ratio() < b.ratio(); });
    const Pair& median = pairs[(pairs.size() - 1) / 2];
    std::printf("\nbluetooth: classic, pages+fonts, %u baud, 0 ms latency, --silent --yes --fonts%s\n",
                kBaudRate, repeat > 1 ? " (the median of the runs)" : "");
    std::printf("  over a pseudo-terminal: %s; %s\n", describeExit(median.tty).c_str(),
                describeUsage(median.tty).c_str());
    std::printf("  over bt: (fake BlueZ):  %s; %s\n", describeExit(median.bt).c_str(),
                describeUsage(median.bt).c_str());
    std::printf("  bt:/terminal wall time: %.4f (best %.4f of %zu), goal <= %.2f: %s%s\n", median.ratio(),
                pairs.front().ratio(), pairs.size(), kBluetoothRatioGoal,
                goalMark(median.ratio() <= kBluetoothRatioGoal), failed ? "  (FAILED)" : "");
    std::fflush(stdout);
    return !failed;
}

} // namespace

int main(int argc, char** argv) {
    std::string sim = ORVEXA_BINARY_DIR "/sim/rdq-sim";
    std::string cli = ORVEXA_BINARY_DIR "/src/cli/orvexa-cli";
    bool quick = false;
    std::string only;
    int repeat = 1;
    std::vector<std::uint32_t> latencies;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if ((arg == "--sim" || arg == "--cli" || arg == "--latency" || arg == "--only" ||
                    arg == "--repeat") &&
                   i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--only") {
                only = value;
            } else if (arg == "--repeat") {
                repeat = std::max(1, std::atoi(value.c_str()));
            } else if (arg == "--sim") {
                sim = value;
            } else if (arg == "--cli") {
                cli = value;
            } else {
                latencies.push_back(static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10)));
            }
        } else {
            std::fputs(kUsage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 2;
        }
    }
    if (access(sim.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "orvexa-bench: no rdq-sim at %s (build it, or name one with --sim)\n",
                     sim.c_str());
        return 2;
    }
    if (latencies.empty()) {
        latencies = quick ? std::vector<std::uint32_t>{0} : std::vector<std::uint32_t>{0, 2, 16, 40};
    }

    const auto selected = [&only](const std::string& name) {
        return only.empty() || name.find(only) != std::string::npos;
    };
    const auto runs = [&](Scenario scenario, std::uint32_t latency, int silentPorts) {
        std::vector<Row> rows;
        for (int i = 0; i < repeat; ++i) {
            rows.push_back(runScenario(sim, scenario, latency, silentPorts));
        }
        return rows;
    };
    std::printf("load average at start: %s\n", loadAverage().c_str());
    std::printf("wake-ups at start: %s\n\n", wakeUpLateness().c_str());
    printHeader();
    bool allEnded = true;
    try {
        for (std::uint32_t latency : latencies) {
            for (const ScenarioInfo& info : allScenarios()) {
                if (quick &&
                    (info.scenario == Scenario::Step3Fonts || info.scenario == Scenario::Framed512)) {
                    continue;
                }
                if (selected(info.name)) {
                    allEnded &= printRuns(runs(info.scenario, latency, 0));
                }
            }
        }
        std::printf("\n");
        for (int silent : quick ? std::vector<int>{1} : std::vector<int>{1, 4, 10}) {
            if (!selected("Step 1")) {
                break;
            }
            const std::vector<Row> rows = runs(Scenario::Step1, 0, silent);
            allEnded &= printRuns(rows);
            double worstMs = 0;
            for (const Row& row : rows) {
                worstMs = std::max(worstMs, row.wallMs);
            }
            std::printf("%-32s slowest run %.4f x %d s\n", "", worstMs / (silent * 1000.0), silent);
        }
        if (selected("catalogue")) {
            allEnded &= measureCatalogue(repeat);
        }
        if (!quick && selected("cli")) {
            allEnded &= measureCli(sim, cli);
        }
        const ScannerPacing fleetLine = quick ? kUnpaced : kWireSpeed;
        if (selected("fleet")) {
            allEnded &=
                measureFleet(sim, cli, quick ? kQuickFleetScanners : kFleetScanners, fleetLine, repeat);
        }
        if (selected("fleet Step 1")) {
            allEnded &= measureFleetStep1(sim, cli, quick ? 1 : kFleetScanners, fleetLine, repeat);
        }
        if (!quick && selected("bluetooth")) {
            allEnded &= measureBluetooth(sim, cli, repeat);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvexa-bench: %s\n", error.what());
        return 1;
    }
    std::printf("\nload average at end: %s\n", loadAverage().c_str());
    std::printf("wake-ups at end: %s\n", wakeUpLateness().c_str());
    if (!allEnded) {
        std::fprintf(stderr, "orvexa-bench: a run did not end as it should (FAILED above)\n");
        return 1;
    }
    return 0;
}
