// A serial line for the link tests and the fuzzers: its far end answers each write from a script (by
// default, nothing), and it can make writes come out short or hang up. Two kinds of reply bytes:
//   - `pending`, what `answer` returns: already on its way, each byte costs a read 1 ms;
//   - bytes that arrive at a set virtual time (arriveAtUs, babbleFromUs): a read waits for them within
//     the real channel's time-outs (10 ms per byte plus 10 ms in all, 200 ms between two bytes).
// A read that finds nothing coming costs its whole time-out, 20 ms for one byte. A line, not a scanner:
// whole-scanner scenarios use the simulated scanner.
#pragma once

#include "VirtualClock.h"
#include "serial/SerialChannel.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

using Bytes = std::vector<std::uint8_t>;

class ScriptedLine : public SerialChannel {
public:
    explicit ScriptedLine(VirtualClock& clock) : clock_(clock) {}

    std::function<Bytes(const Bytes& written)> answer = [](const Bytes&) { return Bytes{}; };
    std::vector<Bytes> writes;
    std::vector<std::uint64_t> writeTimesUs;
    std::int32_t writeLimit = -1; // writes of more bytes than this come out short
    std::deque<std::uint8_t> pending;
    int reads = 0;

    // Bytes that reach the tool's end at `atUs`, after those already due by then.
    void arriveAtUs(std::uint64_t atUs, std::uint8_t byte) {
        const auto later = std::upper_bound(timed_.begin(), timed_.end(), atUs,
                                            [](std::uint64_t at, const Timed& t) { return at < t.atUs; });
        timed_.insert(later, {atUs, byte});
    }
    void arriveAtUs(std::uint64_t atUs, const std::string& bytes) {
        for (char c : bytes) {
            arriveAtUs(atUs, static_cast<std::uint8_t>(c));
        }
    }
    void arriveAtMs(std::uint64_t atMs, const std::string& bytes) { arriveAtUs(atMs * 1000, bytes); }
    // From `fromUs` on, `byte` every `spacingUs`, for ever.
    void babbleFromUs(std::uint64_t fromUs, std::uint64_t spacingUs, std::uint8_t byte = 'z') {
        babbleNextUs_ = fromUs;
        babbleSpacingUs_ = spacingUs;
        babbleByte_ = byte;
    }
    // Once the writes so far end with `command`, `reply` arrives `delayMs` after the write: every time,
    // or the first `times` times. The first rule that matches serves.
    void replyAfter(std::string command, std::string reply, std::uint64_t delayMs = 1, int times = -1) {
        rules_.push_back({std::move(command), std::move(reply), delayMs, times});
    }
    // The far end hangs up: nothing more arrives, and the next read or write reports the line lost.
    void hangUp() {
        lost_ = true;
        pending.clear();
        timed_.clear();
        babbleNextUs_.reset();
    }
    bool hungUp() const { return lost_; }

    // Everything written, as one text.
    std::string sentText() const {
        std::string text;
        for (const Bytes& w : writes) {
            text.append(w.begin(), w.end());
        }
        return text;
    }
    // The writes that were framed packets (single-letter pings left out).
    std::vector<Bytes> packets() const {
        std::vector<Bytes> result;
        std::copy_if(writes.begin(), writes.end(), std::back_inserter(result),
                     [](const Bytes& w) { return w.size() > 1; });
        return result;
    }

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override {
        if (!open_ || count <= 0) {
            return 0;
        }
        writes.emplace_back(buffer, buffer + count);
        writeTimesUs.push_back(clock_.nowUs());
        if (lost_) {
            error_ = ChannelError::LineLost;
            return 0;
        }
        if (writeLimit >= 0 && count > writeLimit) {
            return writeLimit;
        }
        for (std::uint8_t b : answer(writes.back())) {
            pending.push_back(b);
        }
        const std::string sent = rules_.empty() ? std::string() : sentText();
        for (Rule& rule : rules_) {
            if (rule.times != 0 && sent.ends_with(rule.command)) {
                rule.times -= rule.times > 0 ? 1 : 0;
                arriveAtUs(clock_.nowUs() + rule.delayMs * 1000, rule.reply);
                break;
            }
        }
        return count;
    }
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override {
        if (!open_ || count <= 0) {
            return 0;
        }
        ++reads;
        const std::uint64_t totalEndUs =
            clock_.nowUs() +
            (kReadTotalMultiplierMs * static_cast<std::uint64_t>(count) + kReadTotalConstantMs) * 1000;
        std::uint64_t endUs = totalEndUs;
        std::int32_t got = 0;
        while (got < count) {
            const std::optional<std::uint64_t> due = nextDueUs();
            if (!due || *due > endUs) {
                clock_.advanceToUs(endUs);
                break;
            }
            clock_.advanceToUs(*due);
            buffer[got++] = take();
            endUs = std::min<std::uint64_t>(totalEndUs, clock_.nowUs() + kReadIntervalMs * 1000ull);
        }
        if (lost_) {
            error_ = ChannelError::LineLost;
        }
        return got;
    }
    // The pending bytes have already arrived: taken at once, without time passing. Of the timed ones
    // the line cannot tell, as a real port may not.
    std::int32_t readArrived(std::uint8_t* buffer, std::int32_t count) override {
        std::int32_t got = 0;
        for (; open_ && got < count && !pending.empty(); ++got) {
            buffer[got] = pending.front();
            pending.pop_front();
        }
        return got;
    }
    bool isOpen() const override { return open_; }
    void close() override { open_ = false; }
    bool open(const std::string&, std::uint32_t, std::uint8_t, std::uint8_t, std::uint8_t,
              std::uint32_t) override {
        open_ = !lost_;
        return open_;
    }
    ChannelError lastError() const override { return error_; }

private:
    struct Rule {
        std::string command;
        std::string reply;
        std::uint64_t delayMs;
        int times;
    };
    struct Timed {
        std::uint64_t atUs;
        std::uint8_t byte;
    };

    std::optional<std::uint64_t> nextDueUs() const {
        if (!pending.empty()) {
            return clock_.nowUs() + 1000;
        }
        std::optional<std::uint64_t> due = babbleNextUs_;
        if (!timed_.empty() && (!due || timed_.front().atUs < *due)) {
            due = timed_.front().atUs;
        }
        return due;
    }
    std::uint8_t take() {
        std::uint8_t byte = babbleByte_;
        if (!pending.empty()) {
            byte = pending.front();
            pending.pop_front();
        } else if (!timed_.empty() && (!babbleNextUs_ || timed_.front().atUs <= *babbleNextUs_)) {
            byte = timed_.front().byte;
            timed_.pop_front();
        } else {
            *babbleNextUs_ += babbleSpacingUs_;
        }
        return byte;
    }

    VirtualClock& clock_;
    bool open_ = true;
    bool lost_ = false;
    ChannelError error_ = ChannelError::None;
    std::vector<Rule> rules_;
    std::deque<Timed> timed_;
    std::optional<std::uint64_t> babbleNextUs_;
    std::uint64_t babbleSpacingUs_ = 0;
    std::uint8_t babbleByte_ = 'z';
};

} // namespace orvexa
