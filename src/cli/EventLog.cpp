#include "cli/EventLog.h"

#include "doctor/FindingJson.h"
#include "serial/TracingChannel.h"

#include <nlohmann/json.hpp>

namespace orvexa {

// Objects keep their keys in the order written: "schema", "event" and "t_ms" lead every line.
using json = nlohmann::ordered_json;

EventLog::EventLog(std::FILE* out, Clock& clock) : out_(out), clock_(clock), startTickMs_(clock.tickMs()) {}

template <class Json> void EventLog::write(Json& event, const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    json line = {{"schema", kSchemaVersion}, {"event", name}, {"t_ms", clock_.tickMs() - startTickMs_}};
    line.update(event);
    // Texts come from the scanner's own replies too: a byte that is no UTF-8 is written as U+FFFD rather
    // than ending the run with an exception.
    const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace);
    std::fputs((text + "\n").c_str(), out_);
    std::fflush(out_);
}

void EventLog::runStart(const std::string& programVersion, const std::string& carriedIdentity, bool fleet) {
    json event = {
        {"program_version", programVersion}, {"carried_identity", carriedIdentity}, {"fleet", fleet}};
    write(event, "run_start");
}

void EventLog::portProbed(const PortProbe& probe) {
    json event = {{"port", probe.port.path}, {"answered", probe.result == PortProbe::Result::Answered}};
    if (probe.result != PortProbe::Result::Answered) {
        event["why"] = probeOutcome(probe);
    }
    if (!probe.hint.empty()) {
        event["hint"] = probe.hint;
    }
    write(event, "port_probed");
}

void EventLog::portResult(const std::string& port, const std::string& text) {
    json event = {{"port", port}, {"text", text}};
    write(event, "port_result");
}

void EventLog::statusText(const std::string& port, const std::string& text) {
    json event = {{"port", port}, {"text", text}};
    write(event, "status_text");
}

void EventLog::messageBox(const std::string& port, const BoxShown& box) {
    json event = {{"port", port}, {"kind", box.kind}, {"caption", box.caption}, {"text", box.text}};
    if (box.answeredYes) {
        event["answer"] = *box.answeredYes ? "yes" : "no";
    }
    write(event, "message_box");
}

void EventLog::progress(const std::string& port, const ProgressReading& reading) {
    json event = {{"port", port},
                  {"item", reading.item},
                  {"percent", reading.percent()},
                  {"done", reading.done},
                  {"total", reading.span}};
    if (reading.firmware) {
        event["bytes_done"] = reading.bytesDone;
        event["bytes_total"] = reading.bytesTotal;
    }
    if (reading.bytesPerSecond) {
        event["bytes_per_second"] = static_cast<std::int64_t>(*reading.bytesPerSecond);
    }
    if (reading.secondsLeft) {
        event["seconds_left"] = *reading.secondsLeft;
    }
    write(event, "progress");
}

namespace {
json resultJson(const ScannerResult& result) {
    json event = {{"port", result.port.path},
                  {"verdict", verdictName(result.verdict)},
                  {"outcome", outcomeName(result.outcome)},
                  {"exit_code", result.exitCode},
                  {"elapsed_ms", result.elapsedMs}};
    const std::pair<const char*, const std::string*> optional[] = {
        {"model", &result.model},
        {"firmware_before", &result.firmwareBefore},
        {"firmware_after", &result.firmwareAfter},
        {"why", &result.why},
        {"package", &result.package},
        {"package_sha256", &result.packageSha256}};
    for (const auto& [key, value] : optional) {
        if (!value->empty()) {
            event[key] = *value;
        }
    }
    if (result.verdict == ScannerResult::Verdict::Verified) {
        event["would_write"] = result.wouldWrite;
    }
    return event;
}
} // namespace

void EventLog::result(const ScannerResult& result) {
    json event = resultJson(result);
    write(event, "result");
}

void EventLog::finding(const Finding& finding) {
    json event = findingJson(finding);
    write(event, "finding");
}

void EventLog::runEnd(int exitCode, const std::vector<ScannerResult>& results) {
    json event = {{"exit_code", exitCode}};
    if (!results.empty()) {
        json counts = json::object();
        for (const ScannerResult& result : results) {
            const char* name = verdictName(result.verdict);
            counts[name] = counts.value(name, 0) + 1;
        }
        event["verdicts"] = counts;
    }
    write(event, "run_end");
}

void EventLogObserver::flushProbes() {
    const std::vector<PortProbe>& probes = records_.probedPorts;
    if (probes.size() < probesWritten_) {
        probesWritten_ = 0; // a new Step 1 began a new list
    }
    for (; probesWritten_ < probes.size(); ++probesWritten_) {
        log_.portProbed(probes[probesWritten_]);
    }
}

void EventLogObserver::portResult(const std::string& text) {
    flushProbes();
    port_ = records_.selectedPort.path;
    log_.portResult(port_, text);
}

void EventLogObserver::statusChanged(const std::string& text) {
    flushProbes();
    log_.statusText(port_, text);
}

void EventLogObserver::boxShown(const BoxShown& box) {
    flushProbes();
    log_.messageBox(port_, box);
}

void EventLogObserver::progressed(const ProgressReading& reading) {
    if (reading.item == lastItem_ && reading.percent() == lastPercent_) {
        return;
    }
    lastItem_ = reading.item;
    lastPercent_ = reading.percent();
    log_.progress(port_, reading);
}

} // namespace orvexa
