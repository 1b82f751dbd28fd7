// The wire limit of a run: the least time any tool that keeps every pause and time-out of the protocol
// could take against the same scanner. It is computed from what the scanner recorded (every command,
// frame, chunk and packet, and the bytes moved each way), not from what the tool did, so that a tool
// that waits longer than it must shows up as a ratio above 1.
//
//   limit = line time of every byte, both ways
//         + the scanner's latency before each reply (less what hides behind a pause the tool must make
//           anyway before it reads)
//         + the pauses and waits the protocol mandates, each at its own value (the table in
//           WireLimit.cpp, listed once)
#pragma once

#include "ScannerRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvexa::bench {

// The line under test: pacing at a baud rate (10 bits per byte both ways), the scanner's delay before
// every reply, and its own time to get ready for frames after the start sequence.
struct LineModel {
    std::uint32_t baudRate = 115200;
    std::uint32_t latencyMs = 0;
    std::uint32_t readyDelayMs = 300;
};

// What the scanner saw of one run, as far as the limit needs it.
struct Exchange {
    std::vector<std::string> commands; // recognised command texts, in order
    int dataFrames = 0;
    int answeredFrames = 0;
    int closingFrames = 0;
    int chunks = 0;
    struct Packet {
        int command = 0;
        int subCode = 0;
    };
    std::vector<Packet> packets;
    std::uint64_t bytesIn = 0;  // tool to scanner
    std::uint64_t bytesOut = 0; // scanner to tool
};

Exchange exchangeOf(const ScannerRecord& record);
// The same from rdq-sim's --record JSON; an empty Exchange when the text is not such a record.
Exchange exchangeFromJson(const std::string& json);

// Which exchange a "W" belongs to: a probe (no pause), a ping (200 ms), or a wake-up ping of the framed
// start request (200 ms, then 500 ms before the next).
enum class Flow { Probe, Classic, Framed };

struct Limit {
    double lineMs = 0;
    double latencyMs = 0;
    double mandatedMs = 0;
    double totalMs() const { return lineMs + latencyMs + mandatedMs; }
};

// silentPorts: ports probed before the answering one, each for the probe's whole limit.
Limit wireLimit(const Exchange& exchange, Flow flow, const LineModel& line, int silentPorts = 0);

} // namespace orvexa::bench
