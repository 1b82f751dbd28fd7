// orvexa-bench: the real step code against rdq-sim over pseudo-terminals, with the line model on
// (115200 baud, 10 bits per byte both ways) and a latency per reply, each run's wall time set against
// the wire limit computed from what the scanner recorded. Then Step 1 behind silent ports, and the CPU
// share and peak memory of orvexa-cli through a whole classic upgrade with pages and fonts.
#include "ChildProcess.h"
#include "Scenarios.h"
#include "WireLimit.h"

#include "serial/Clock.h"
#include "serial/posix/PosixSerialChannel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
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

constexpr const char* kUsage =
    R"(Usage: orvexa-bench [--quick] [--only TEXT] [--repeat N] [--sim PATH] [--cli PATH] [--latency MS]...
Times the real step code against rdq-sim over pseudo-terminals at 115200 baud and prints, for each run,
the measured wall time, the wire limit (line time of every byte, the scanner's latency, the mandated
pauses and waits) and their ratio; then Step 1 with silent ports before the scanner's, and the CPU share
and peak memory of orvexa-cli during a classic upgrade with pages and fonts.
  --quick        Steps 1 to 3 and the 1024-byte framed download at 0 ms only; one silent port; no CPU run
  --only TEXT    only the runs whose name holds TEXT ("512", "fonts", "Step 1", "cli")
  --repeat N     run each N times; print the median run and the best ratio [1]
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

// orvexa-cli through Steps 1 to 3 with pages and fonts in Silent mode: its CPU time against its wall time,
// and its peak resident memory.
bool measureCli(const std::string& sim, const std::string& cli) {
    Simulator simulator(sim, ScannerFamily::Classic, 0);
    const double start = nowMs();
    // Its progress lines would break up the table; its exit code, printed below, says how it ended.
    const ChildExit exit =
        waitChild(spawnChild(cli, {"--port", simulator.path(), "--silent", "--fonts"}), kCliLimitMs);
    const rusage& usage = exit.usage;
    const double wallMs = nowMs() - start;
    const double cpuMs = usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0 +
                         usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0;
    std::printf("\norvexa-cli --silent --fonts (Steps 1-3, classic, pages+fonts, 0 ms latency): exit %d%s\n",
                exit.code, exit.killed ? " (killed at the limit)" : "");
    std::printf("  wall %.1f ms, CPU %.1f ms (user %.1f, system %.1f): %.3f %% of wall; peak RSS %ld KiB\n",
                wallMs, cpuMs, usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0,
                usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0, 100.0 * cpuMs / wallMs,
                usage.ru_maxrss);
    return exit.code == 0;
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
        if (!quick && selected("cli")) {
            allEnded &= measureCli(sim, cli);
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
