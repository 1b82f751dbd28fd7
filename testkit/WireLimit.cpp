#include "WireLimit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace orvexa::bench {

namespace {

// ---- The mandated pauses and waits, each once, at the value the protocol gives it (ms) ----------------
constexpr double kLetterPauseMs = 100;    // after each paced command letter
constexpr double kPingPauseMs = 200;      // after each "W" of a ping, before its read
constexpr double kSilentReadMs = 20;      // a one-byte read on a silent line (10 x 1 + 10)
constexpr double kTextPollPauseMs = 10;   // after every poll of a free-length text reply
constexpr int kTextQuietPolls = 20;       // silent polls that end a text reply
constexpr double kChunkPollPauseMs = 50;  // after every read of a flash chunk's "@" that got none
constexpr double kReadyPollPauseMs = 100; // after every read of the "X" that got none
constexpr double kClosingPauseMs = 1000;  // before the closing "R" frame
constexpr double kWakeUpLimitMs = 3000;   // the framed start request's wake-up pings...
constexpr double kWakeUpPauseMs = 500;    // ...each followed by this pause
constexpr double kStartSettleMs = 500;    // after the framed start request's reply
constexpr double kProbeLimitMs = 1000;    // a probe of a port where nothing answers
constexpr std::size_t kChunkDataBytes = 4096;
// Drains in front of the exchanges whose replies are examined: each ends with one silent read.
constexpr double kDrainMs = kSilentReadMs;

// Reply sizes of the exchanges whose replies have a fixed size; the rest of what the scanner sent is
// free-length text.
struct FixedReply {
    std::string_view command;
    int bytes;
    double mandatedMs; // pauses and drains of the exchange, text polls excluded
    double hiddenMs;   // pause between the last letter and the first read, behind which latency hides
    bool text;
};
constexpr FixedReply kReplies[] = {
    {"Gs", 5, 2 * kLetterPauseMs, kLetterPauseMs, false},
    {"V", 0, kLetterPauseMs, kLetterPauseMs, true},
    {"Iv", 0, 2 * kLetterPauseMs, kLetterPauseMs, true},
    {"M", 10, kDrainMs, 0, false},
    {"It", 1, kDrainMs + 2 * kLetterPauseMs, kLetterPauseMs, false},
    // queryFontSupport drains, then sendPaced drains again before the five paced letters.
    {"GnOLG", 5, 2 * kDrainMs + 5 * kLetterPauseMs, kLetterPauseMs, false},
    {"GwQ", 1, 2 * kDrainMs + 3 * kLetterPauseMs, kLetterPauseMs, false},
    {"GFQ", 1, 3 * kLetterPauseMs, kLetterPauseMs, false},
    {"GFS", 5, 3 * kLetterPauseMs, kLetterPauseMs, false},
    {"IB", 0, kDrainMs + 2 * kLetterPauseMs, kLetterPauseMs, true},
    {"GnOFS", -1, kDrainMs + 5 * kLetterPauseMs, 0, false},
    {"HH", -1, kLetterPauseMs, 0, false},
    {"IU", 1, kLetterPauseMs, 0, false},
};

// A reader that reads once (a read window of `windowMs`), pauses `pauseMs` when nothing came, and
// reads again: when does it hold a byte that arrives `arrivalMs` after its first read began?
double polledArrival(double arrivalMs, double windowMs, double pauseMs) {
    const double period = windowMs + pauseMs;
    const double firstRead = std::max(0.0, std::ceil((arrivalMs - windowMs) / period));
    return std::max(firstRead * period, arrivalMs);
}

// The framed start request pings the scanner until its wake-up time has passed, pausing after every
// answered ping. How many pings that takes follows from the time, not from what the tool did, so a tool
// that pinged once too often would show.
int wakeUpPings(double byteMs, double latencyMs) {
    // A ping: its "W" and pause, with the "@" read after the pause (or when it comes, if later).
    const double pingMs = std::max(kPingPauseMs, 2 * byteMs + latencyMs);
    int pings = 0;
    for (double elapsedMs = 0; elapsedMs < kWakeUpLimitMs; elapsedMs += pingMs + kWakeUpPauseMs) {
        ++pings;
    }
    return pings;
}

// Pulls the string values of `"key": "..."` and the numbers of `"key": n` out of one JSON section.
std::string section(const std::string& json, const std::string& name) {
    const std::size_t start = json.find("\"" + name + "\": [");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = json.find("\n  ]", start);
    return json.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<std::string> stringsOf(const std::string& text, const std::string& key) {
    std::vector<std::string> values;
    const std::string mark = "\"" + key + "\": \"";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        at += mark.size();
        const std::size_t end = text.find('"', at);
        values.push_back(text.substr(at, end - at));
    }
    return values;
}

std::vector<long long> numbersOf(const std::string& text, const std::string& key) {
    std::vector<long long> values;
    const std::string mark = "\"" + key + "\": ";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        at += mark.size();
        values.push_back(std::strtoll(text.c_str() + at, nullptr, 10));
    }
    return values;
}

} // namespace

Exchange exchangeOf(const ScannerRecord& record) {
    Exchange exchange;
    for (const auto& command : record.commands) {
        exchange.commands.push_back(command.text);
    }
    for (const auto& frame : record.frames) {
        if (frame.kind == 'R') {
            ++exchange.closingFrames;
        } else {
            ++exchange.dataFrames;
            exchange.answeredFrames += frame.reply != 0 ? 1 : 0;
        }
    }
    exchange.chunks = static_cast<int>(record.chunks.size());
    for (const auto& packet : record.packets) {
        exchange.packets.push_back({packet.command, packet.subCode});
    }
    exchange.bytesIn = record.bytesIn.size();
    exchange.bytesOut = record.bytesOut.size();
    return exchange;
}

Exchange exchangeFromJson(const std::string& json) {
    Exchange exchange;
    exchange.commands = stringsOf(section(json, "commands"), "text");
    const std::string frames = section(json, "frames");
    const std::vector<std::string> kinds = stringsOf(frames, "kind");
    exchange.closingFrames = static_cast<int>(std::count(kinds.begin(), kinds.end(), "R"));
    exchange.dataFrames = static_cast<int>(kinds.size()) - exchange.closingFrames;
    // Only data frames are answered, so every reply letter belongs to one.
    exchange.answeredFrames = static_cast<int>(stringsOf(frames, "reply").size());
    exchange.chunks = static_cast<int>(numbersOf(section(json, "chunks"), "address").size());
    const std::string packets = section(json, "packets");
    const std::vector<std::string> commands = stringsOf(packets, "command");
    const std::vector<long long> subCodes = numbersOf(packets, "subCode");
    for (std::size_t i = 0; i < commands.size() && i < subCodes.size(); ++i) {
        exchange.packets.push_back({commands[i].empty() ? 0 : commands[i][0], static_cast<int>(subCodes[i])});
    }
    const std::vector<long long> in = numbersOf(json, "bytesIn");
    const std::vector<long long> out = numbersOf(json, "bytesOut");
    exchange.bytesIn = in.empty() ? 0 : static_cast<std::uint64_t>(in.back());
    exchange.bytesOut = out.empty() ? 0 : static_cast<std::uint64_t>(out.back());
    return exchange;
}

Limit wireLimit(const Exchange& exchange, Flow flow, const LineModel& line, int silentPorts) {
    const double byteMs = line.baudRate == 0 ? 0.0 : 10.0 * 1000.0 / line.baudRate;
    const double latency = line.latencyMs;
    Limit limit;
    limit.lineMs = byteMs * static_cast<double>(exchange.bytesIn + exchange.bytesOut);
    limit.mandatedMs = silentPorts * kProbeLimitMs;

    auto reply = [&](double hiddenMs) { limit.latencyMs += std::max(0.0, latency - hiddenMs); };

    if (flow == Flow::Probe) {
        // Step 1 needs one "W" and its "@". The probe sends "W" again after every empty read, so a slow
        // scanner gets several and answers each; those resends overlap the wait for the first answer
        // and are no part of the limit.
        const bool answered = std::count(exchange.commands.begin(), exchange.commands.end(), "W") > 0;
        limit.lineMs = answered ? 2 * byteMs : 0;
        if (answered) {
            reply(0);
        }
        return limit;
    }

    std::uint64_t fixedBytesOut = 0;
    int texts = 0;
    for (const std::string& command : exchange.commands) {
        if (command == "W") {
            fixedBytesOut += 1;
            if (flow == Flow::Classic) {
                limit.mandatedMs += kPingPauseMs;
                reply(kPingPauseMs);
            }
            continue;
        }
        if (command.rfind("GFw", 0) == 0) {
            // The "@" of a chunk, read in the protocol's poll: one read, 50 ms, read again. The poll
            // begins as the port takes the command and data, which it does at once.
            const double wireMs = byteMs * static_cast<double>(command.size() + kChunkDataBytes + 1);
            const double heldMs = polledArrival(wireMs + latency, kSilentReadMs, kChunkPollPauseMs);
            fixedBytesOut += 1;
            limit.latencyMs += latency;
            limit.mandatedMs += heldMs - wireMs - latency;
            continue;
        }
        if (command == "IEIT" || command == "IEIu") {
            // Three paced letters, then the "X" read in the protocol's poll: one read, 100 ms, read
            // again. The scanner's own time to get ready counts as its latency.
            const double arrivalMs = 2 * byteMs + line.readyDelayMs + latency;
            const double heldMs = polledArrival(arrivalMs, kSilentReadMs, kReadyPollPauseMs);
            fixedBytesOut += 1;
            limit.mandatedMs += 3 * kLetterPauseMs + heldMs - arrivalMs;
            limit.latencyMs += line.readyDelayMs + latency;
            continue;
        }
        for (const FixedReply& known : kReplies) {
            if (command == known.command) {
                limit.mandatedMs += known.mandatedMs;
                if (known.bytes >= 0) {
                    reply(known.hiddenMs);
                }
                if (known.text) {
                    ++texts;
                } else if (known.bytes > 0) {
                    fixedBytesOut += static_cast<std::uint64_t>(known.bytes);
                }
                break;
            }
        }
    }

    // Data frames are answered one letter each, straight away; the closing frame waits its pause.
    fixedBytesOut += static_cast<std::uint64_t>(exchange.answeredFrames);
    limit.latencyMs += latency * exchange.answeredFrames;
    limit.mandatedMs += kClosingPauseMs * exchange.closingFrames;

    for (const Exchange::Packet& packet : exchange.packets) {
        if (packet.command == 'D' && packet.subCode == 1) {
            // The start request: its wake-up pings, a drain with pauses (one silent read on a quiet
            // line), its reply, the settling pause.
            const int pings = wakeUpPings(byteMs, latency);
            for (int i = 0; i < pings; ++i) {
                limit.mandatedMs += kPingPauseMs + kWakeUpPauseMs;
                reply(kPingPauseMs);
            }
            limit.mandatedMs += kDrainMs + kStartSettleMs;
        } else if (packet.command == 'F') {
            limit.mandatedMs += kDrainMs;
        }
        // Data blocks: the reply follows at once. The drain in front of each is no wait (it only
        // discards what is already there), so it adds nothing here.
        limit.latencyMs += latency;
    }

    // Free-length texts: one poll (and its pause) per byte, then the silent polls that end the reply.
    const std::uint64_t textBytes = exchange.bytesOut > fixedBytesOut ? exchange.bytesOut - fixedBytesOut : 0;
    if (texts > 0) {
        limit.mandatedMs += kTextPollPauseMs * static_cast<double>(textBytes) +
                            texts * kTextQuietPolls * (kSilentReadMs + kTextPollPauseMs);
    }
    return limit;
}

} // namespace orvexa::bench
