#include "device/LineReader.h"

#include "serial/Deadline.h"

namespace orvexa::line {

bool gone(const SerialChannel& channel) {
    return !channel.isOpen() || channel.lastError() == ChannelError::LineLost;
}

void sendLetter(SerialChannel& channel, Clock& clock, char letter, std::uint32_t pauseMs) {
    const auto byte = static_cast<std::uint8_t>(letter);
    channel.write(&byte, 1);
    if (pauseMs > 0) {
        clock.sleepMs(pauseMs);
    }
}

bool readByte(SerialChannel& channel, std::uint8_t& byte) {
    byte = 0;
    return channel.read(&byte, 1) == 1;
}

bool awaitByte(SerialChannel& channel, Clock& clock, std::uint8_t& byte) {
    if (readByte(channel, byte)) {
        return true;
    }
    if (!channel.isOpen()) {
        clock.sleepMs(kClosedReadMs);
    }
    return false;
}

void drain(SerialChannel& channel, Clock& clock, const DrainBound& bound) {
    Deadline limit(clock);
    limit.start(bound.limitMs);
    std::size_t drained = 0;
    std::uint8_t byte = 0;
    while (readByte(channel, byte)) {
        if (++drained >= bound.maxBytes || limit.expired()) {
            return;
        }
        if (bound.pauseMs > 0) {
            clock.sleepMs(bound.pauseMs);
        }
    }
}

std::size_t readUntil(SerialChannel& channel, Clock& clock, std::uint8_t* buffer, std::size_t wanted,
                      std::uint32_t limitMs) {
    Deadline limit(clock);
    limit.start(limitMs);
    std::size_t count = 0;
    while (count < wanted) {
        if (channel.read(buffer + count, 1) > 0) {
            ++count;
        }
        // A closed channel answers at once with nothing, and a lost line has nobody left to answer:
        // there is nothing left to wait for.
        if (limit.expired() || gone(channel)) {
            break;
        }
    }
    return count;
}

} // namespace orvexa::line
