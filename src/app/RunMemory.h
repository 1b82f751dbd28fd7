// What the support bundle tells of the last run: the message boxes with their answers, the status lines
// and the wire trace, held in memory only (nothing reaches a file unless a bundle is asked for) and
// bounded, so that a dialog left open for a day of upgrades holds no more than one bundle's worth.
//
// A run: one orvexa-cli workflow run; in the dialogs, what happened since the last Step 1 began (by button,
// key or the Silent mode chain). Steps 2 and 3 go on with the run the last Step 1 began, since they work
// on the port it opened and a failed Step 3 is read with the Step 1 and 2 before it; a Step 2 or 3 with
// no Step 1 before it begins a run of its own.
//
//      no run --Step 1, 2 or 3--> run --Step 1--> run (the one before forgotten)
//                                  `--Step 2, 3--> the same run
//
// When a bound is reached the oldest part goes and the newest stays, with a count of what went: what
// went wrong is near the end.
#pragma once

#include "serial/Clock.h"
#include "serial/SerialChannel.h"
#include "serial/TracingChannel.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace orvexa {

// A stream's text, keeping only its last `limit` bytes (cut at a line start, so that no half line leads).
// Written under the wire trace's lock by a fleet's workers too, so it locks on its own as well.
class TailBuffer : public std::streambuf {
public:
    explicit TailBuffer(std::size_t limit) : limit_(limit) {}

    std::string text() const;
    // Bytes written and no longer held.
    std::size_t droppedBytes() const;
    void clear();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

private:
    void trim();
    // Where the text that is read begins in held_; under the lock.
    std::size_t keptFrom() const;

    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::string held_;
    std::size_t dropped_ = 0;
};

struct RememberedBox {
    unsigned type = 0; // the Windows type: kind and buttons
    std::string caption;
    std::string text; // exactly as shown, CR LF included
    int answer = 0;   // kIdOk, kIdYes, kIdNo, kIdCancel
};

class RunMemory {
public:
    struct Limits {
        // A firmware write with all pages and fonts traces about 3.3 MB: its end is kept. 0: no trace at all,
        // for a run that will write no bundle (a fleet's worker formats no bytes nobody reads).
        std::size_t traceBytes = 256 * 1024;
        std::size_t boxes = 64;        // a whole run shows fewer than ten
        std::size_t statusLines = 256; // a run with all pages and fonts adds twelve
    };

    explicit RunMemory(Clock& clock) : RunMemory(clock, Limits{}) {}
    RunMemory(Clock& clock, Limits limits);
    RunMemory(const RunMemory&) = delete;
    RunMemory& operator=(const RunMemory&) = delete;

    // Step 1 forgets the run before and begins one; Steps 2 and 3 go on with it.
    void beginRun();
    void continueRun();
    bool hasRun() const { return hasRun_; }

    // What the dialog showed: ignored outside a run, and while a BoxRecordPause lives.
    void boxShown(unsigned type, const std::string& caption, const std::string& text, int answer);
    // The status edit's whole text. The lines after those it shares with the text before are kept: the
    // steps add a line, or replace the last one, by setting the whole text again.
    void statusSet(const std::string& text);

    // The channel, with every byte crossing it traced into this memory under `label`; as it is when the
    // memory keeps no trace.
    std::unique_ptr<SerialChannel> traced(std::unique_ptr<SerialChannel> channel, const std::string& label);

    const std::deque<RememberedBox>& boxes() const { return boxes_; }
    std::size_t boxesDropped() const { return boxesDropped_; }
    const std::deque<std::string>& statusLines() const { return statusLines_; }
    std::size_t statusLinesDropped() const { return statusLinesDropped_; }
    // Time stamps count from the memory's start (the dialog's), not the run's.
    std::string trace() const { return traceBuffer_.text(); }
    std::size_t traceBytesDropped() const { return traceBuffer_.droppedBytes(); }

    // While one lives, the record of boxes is paused: the support bundle's own "written to" box names a
    // user's folder and is no part of what support needs.
    class BoxRecordPause {
    public:
        explicit BoxRecordPause(RunMemory& memory) : memory_(memory) { ++memory_.boxRecordPauses_; }
        ~BoxRecordPause() { --memory_.boxRecordPauses_; }
        BoxRecordPause(const BoxRecordPause&) = delete;
        BoxRecordPause& operator=(const BoxRecordPause&) = delete;

    private:
        RunMemory& memory_;
    };

private:
    Limits limits_;
    bool hasRun_ = false;
    int boxRecordPauses_ = 0; // the pauses that live
    std::deque<RememberedBox> boxes_;
    std::size_t boxesDropped_ = 0;
    std::deque<std::string> statusLines_;
    std::size_t statusLinesDropped_ = 0;
    std::vector<std::string> lastStatus_;
    TailBuffer traceBuffer_;
    std::ostream traceStream_;
    WireTrace trace_;
};

} // namespace orvexa
