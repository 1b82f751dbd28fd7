// A serial line for the link tests: its far end answers each write from a script, and it can
// make writes come out short. Reads cost virtual time as on the real line: a byte 1 ms, a read that finds
// nothing its 20 ms time-out. A line, not a scanner: whole-scanner scenarios use the simulated scanner.
#pragma once

#include "VirtualClock.h"
#include "serial/SerialChannel.h"

#include <deque>
#include <functional>
#include <vector>

namespace orvexa {

using Bytes = std::vector<std::uint8_t>;

class ScriptedLine : public SerialChannel {
public:
    explicit ScriptedLine(VirtualClock& clock) : clock_(clock) {}

    std::function<Bytes(const Bytes& written)> answer = [](const Bytes& written) {
        return written == Bytes{'W'} ? Bytes{'@'} : Bytes{};
    };
    std::vector<Bytes> writes;
    std::int32_t writeLimit = -1; // writes of more bytes than this come out short
    std::deque<std::uint8_t> pending;

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override {
        if (!open_) {
            return 0;
        }
        Bytes bytes(buffer, buffer + count);
        writes.push_back(bytes);
        if (writeLimit >= 0 && count > writeLimit) {
            return writeLimit;
        }
        for (std::uint8_t b : answer(bytes)) {
            pending.push_back(b);
        }
        return count;
    }
    std::int32_t read(std::uint8_t* buffer, std::int32_t) override {
        if (!open_) {
            return 0;
        }
        if (pending.empty()) {
            clock_.sleepMs(20);
            return 0;
        }
        clock_.sleepMs(1);
        buffer[0] = pending.front();
        pending.pop_front();
        return 1;
    }
    // What is pending has already arrived: taken at once, without time passing.
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
        open_ = true;
        return true;
    }
    ChannelError lastError() const override { return ChannelError::None; }

    // The writes that were framed packets (single-letter pings left out).
    std::vector<Bytes> packets() const {
        std::vector<Bytes> result;
        for (const Bytes& w : writes) {
            if (w.size() > 1) {
                result.push_back(w);
            }
        }
        return result;
    }

private:
    VirtualClock& clock_;
    bool open_ = true;
};

} // namespace orvexa
