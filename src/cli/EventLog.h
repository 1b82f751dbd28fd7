// orvexa-cli --json: JSON Lines on standard output, one object per event, so that a script can drive a
// single scanner or a fleet from the events alone. Every object carries the schema version, the event's
// name and the milliseconds since the run started; the events of one scanner carry its port. The schema
// is documented with an example of each event in docs/events.md. Workers of a fleet write concurrently:
// each line is written whole.
#pragma once

#include "cli/ProgressMeter.h"
#include "cli/ScannerResult.h"
#include "cli/SessionWindow.h"
#include "doctor/Finding.h"
#include "serial/Clock.h"
#include "steps/StepContext.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace orvexa {

class EventLog {
public:
    static constexpr int kSchemaVersion = 1;

    EventLog(std::FILE* out, Clock& clock);

    void runStart(const std::string& programVersion, const std::string& carriedIdentity, bool fleet);
    void portProbed(const PortProbe& probe);
    void portResult(const std::string& port, const std::string& text);
    void statusText(const std::string& port, const std::string& text);
    void messageBox(const std::string& port, const BoxShown& box);
    void progress(const std::string& port, const ProgressReading& reading);
    void result(const ScannerResult& result);
    // --doctor: one finding, with its check's stable identifier.
    void finding(const Finding& finding);
    // The last line of a run: its exit code, and with a fleet how many scanners ended each way.
    void runEnd(int exitCode, const std::vector<ScannerResult>& results);

private:
    template <class Json> void write(Json& event, const char* name);

    std::FILE* out_;
    Clock& clock_;
    std::uint32_t startTickMs_;
    std::mutex mutex_;
};

// A session's observer that writes its events to the log, under the port it runs on. Progress is written
// when its whole percentage or its item changes, not at every frame.
class EventLogObserver : public SessionObserver {
public:
    EventLogObserver(EventLog& log, const ProcessRecords& records) : log_(log), records_(records) {}

    // The port the session's events name; a single run learns it when Step 1 finds the scanner.
    void setPort(const std::string& port) { port_ = port; }
    const std::string& port() const { return port_; }

    void portResult(const std::string& text) override;
    void statusChanged(const std::string& text) override;
    void boxShown(const BoxShown& box) override;
    void progressed(const ProgressReading& reading) override;
    // Writes the probes of Step 1 not written yet; each callback does first, so that they come in order.
    void flushProbes();

private:
    EventLog& log_;
    const ProcessRecords& records_;
    std::string port_;
    std::size_t probesWritten_ = 0;
    std::string lastItem_;
    int lastPercent_ = -1;
};

} // namespace orvexa
