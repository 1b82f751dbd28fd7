#include "cli/Fleet.h"

#include "app/ExitCodes.h"
#include "cli/CliSession.h"
#include "cli/SessionWindow.h"
#include "cli/TerminalWindow.h"
#include "firmware/FirmwareVersion.h"
#include "serial/ExtraPorts.h"

#include <map>
#include <optional>
#include <thread>

namespace orvexa {

namespace {

// The doing column of a row during progress: "firmware 45%  78.6 kB / 174.6 kB  12.8 kB/s  0:06 left".
std::string progressText(const ProgressReading& reading) {
    std::string text = reading.item;
    for (const std::string& part : progressParts(reading)) {
        text += (text == reading.item ? " " : "  ") + part;
    }
    return text;
}

// One session as its row and, with --json, its events see it: the row shows the session's stage.
class RowObserver : public SessionObserver {
public:
    RowObserver(FleetBoard& board, std::size_t row, EventLogObserver* events)
        : board_(board), row_(row), events_(events) {}

    void portResult(const std::string& text) override {
        board_.setDoing(row_, "verifying");
        if (events_) {
            events_->portResult(text);
        }
    }
    void statusChanged(const std::string& text) override {
        if (events_) {
            events_->statusChanged(text);
        }
    }
    void boxShown(const BoxShown& box) override {
        if (events_) {
            events_->boxShown(box);
        }
    }
    void progressed(const ProgressReading& reading) override {
        if (reading.item != item_ || reading.percent() != percent_) {
            const bool newTenth = reading.item != item_ ||
                                  reading.percent() / kPercentPerPlainLine != percent_ / kPercentPerPlainLine;
            item_ = reading.item;
            percent_ = reading.percent();
            board_.setDoing(row_, progressText(reading), newTenth);
        }
        if (events_) {
            events_->progressed(reading);
        }
    }

private:
    FleetBoard& board_;
    std::size_t row_;
    EventLogObserver* events_;
    std::string item_;
    int percent_ = -1;
};

} // namespace

std::vector<std::vector<std::size_t>> groupByDevice(const std::vector<PortInfo>& ports) {
    std::vector<std::vector<std::size_t>> groups;
    std::map<std::string, std::size_t> groupOfAddress;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& address = ports[i].deviceAddress;
        if (address.empty()) {
            groups.push_back({i});
            continue;
        }
        const auto [it, added] = groupOfAddress.emplace(address, groups.size());
        if (added) {
            groups.push_back({});
        }
        groups[it->second].push_back(i);
    }
    return groups;
}

int fleetExitCode(const std::vector<ScannerResult>& results) {
    static constexpr int kWorstFirst[] = {exitcode::kInterrupted, exitcode::kTransferError,
                                          exitcode::kNotDone, exitcode::kCancelled};
    bool anyScanner = false;
    for (const ScannerResult& result : results) {
        anyScanner = anyScanner || (result.verdict != ScannerResult::Verdict::NoScanner &&
                                    result.verdict != ScannerResult::Verdict::Skipped);
    }
    if (!anyScanner) {
        return exitcode::kNotDone;
    }
    for (int code : kWorstFirst) {
        for (const ScannerResult& result : results) {
            if (result.exitCode == code && result.verdict != ScannerResult::Verdict::NoScanner) {
                return code;
            }
        }
    }
    return exitcode::kDone;
}

FleetRun::FleetRun(std::vector<PortInfo> ports, FleetSettings settings, WorkerPlatformFactory platforms,
                   const FirmwarePackage& package, const PortDiscovery* hints, FleetBoard& board,
                   EventLog* events)
    : ports_(std::move(ports)), platforms_(std::move(platforms)), board_(board), events_(events),
      sessions_(settings, package, hints, board, events), groups_(groupByDevice(ports_)),
      interruptions_(std::make_unique<Interruption[]>(groups_.size())), results_(ports_.size()) {}

std::vector<ScannerResult> FleetRun::run() {
    board_.start(ports_);
    std::vector<std::thread> workers;
    workers.reserve(groups_.size());
    for (std::size_t group = 0; group < groups_.size(); ++group) {
        workers.emplace_back([this, group] { runGroup(group); });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    board_.finish();
    return results_;
}

void FleetRun::runGroup(std::size_t group) {
    const std::unique_ptr<WorkerPlatform> platform = platforms_();
    const std::vector<std::size_t>& rows = groups_[group];
    std::size_t next = 0;
    while (next < rows.size()) {
        ScannerResult& result = results_[rows[next++]];
        result = sessions_.run(ports_[rows[next - 1]], rows[next - 1], *platform, interruptions_[group]);
        if (result.verdict != ScannerResult::Verdict::NoScanner) {
            break;
        }
    }
    // The scanner answered on an earlier port of its device: the others reach the same scanner.
    for (std::size_t i = next; i < rows.size(); ++i) {
        ScannerResult& skipped = results_[rows[i]];
        skipped.port = ports_[rows[i]];
        skipped.verdict = ScannerResult::Verdict::Skipped;
        skipped.why = "same scanner as " + ports_[rows[next - 1]].displayName;
        board_.setDoing(rows[i], std::string(verdictName(skipped.verdict)) + ": " + skipped.why);
        if (events_) {
            events_->result(skipped);
        }
    }
}

ScannerResult SessionRunner::run(const PortInfo& port, std::size_t row, WorkerPlatform& platform,
                                 Interruption& interruption) {
    Clock& clock = platform.clock();
    const std::uint32_t startTickMs = clock.tickMs();
    board_.setDoing(row, "probing");

    FixedPortDiscovery discovery({port}, hints_);
    ForwardingObserver forward;
    SessionWindow window(clock, package_.imageSize(), settings_.answerYes, forward);
    CliSession session(
        window,
        {clock, discovery, [&platform, &port](const char* role) { return platform.makeChannel(port, role); }},
        package_, RunMemory::Limits{.traceBytes = 0}); // no worker's run goes into a bundle
    if (settings_.firmware != nullptr) {
        settings_.firmware->applyTo(session.app());
    }
    const ProcessRecords& records = session.records();
    std::optional<EventLogObserver> events;
    if (events_) {
        events.emplace(*events_, records);
        events->setPort(port.path);
    }
    RowObserver observer(board_, row, events ? &*events : nullptr);
    forward.to = &observer;

    // Steps 1 and 2 chain themselves and stop there: whether Step 3 follows is the fleet's decision.
    session.start({.silent = true, .stopAfterVerification = true, .fonts = settings_.fonts}, interruption);
    session.dialog().step1();
    if (events) {
        events->flushProbes();
    }
    const StepContext& steps = session.steps();
    // The session's own package: Step 2 completed its container versions, or chose it from a catalogue.
    const FirmwarePackage& package = session.app().package();
    bool writes = false;
    if (steps.outcome == Outcome::Verified) {
        board_.setModel(row, textOf(records.deviceInfo.modelText));
        writes = settings_.force || !holdsCarriedFirmware(records.deviceInfo, package);
        if (!settings_.check && writes) {
            window.setImageBytes(package.imageSize());
            session.dialog().step3();
        }
    }
    const int exitCode = session.exitCode();
    ScannerResult result = sessionResult(port, records, steps.outcome, exitCode, settings_.check, package);
    result.wouldWrite = result.verdict == ScannerResult::Verdict::Verified && writes;
    if (result.verdict == ScannerResult::Verdict::Failed) {
        result.why = window.why().empty() ? outcomeName(steps.outcome) : window.why();
    }
    nameThePackage(result, settings_.firmware, records);
    result.elapsedMs = clock.tickMs() - startTickMs;
    board_.setDoing(row, resultText(result));
    if (events_) {
        events_->result(result);
    }
    return result;
}

} // namespace orvexa
