// What every link does on the line, byte by byte: a letter written alone and paced, a one-byte read, a
// drain of what the scanner already sent, and a read of a reply of known length. The links decide what
// the bytes mean; these only keep each wait bounded and each one the same wherever it is used.
#pragma once

#include "serial/Clock.h"
#include "serial/SerialChannel.h"

#include <cstddef>
#include <cstdint>
#include <limits>

namespace orvexa::line {

// A read on a closed channel returns at once; it is paced like a one-byte read on a silent line (10 ms
// per byte plus 10 ms) so that a wait bounded only by its Deadline neither spins the CPU nor stops time on
// a virtual clock.
inline constexpr std::uint32_t kClosedReadMs = 20;

// Closed, or hung up or vanished: nothing more can come.
bool gone(const SerialChannel& channel);

// One letter in one write, then its pause (0 for none).
void sendLetter(SerialChannel& channel, Clock& clock, char letter, std::uint32_t pauseMs);

// One one-byte read; true when it delivered a byte. For waits that pause on their own.
bool readByte(SerialChannel& channel, std::uint8_t& byte);
// A one-byte read inside a wait that has no pause of its own and ends only at its Deadline.
bool awaitByte(SerialChannel& channel, Clock& clock, std::uint8_t& byte);

// Reads and throws away what has arrived, one byte at a time, until a read returns nothing, `maxBytes`
// were read or the limit has passed; `pauseMs` after each byte (0 for none).
struct DrainBound {
    std::uint32_t limitMs;
    std::size_t maxBytes = std::numeric_limits<std::size_t>::max();
    std::uint32_t pauseMs = 0;
};
void drain(SerialChannel& channel, Clock& clock, const DrainBound& bound);

// Reads one byte at a time into the buffer until it holds `wanted` bytes, the limit has passed or the
// line is gone; returns the count read. Nothing is stored beyond `wanted`.
std::size_t readUntil(SerialChannel& channel, Clock& clock, std::uint8_t* buffer, std::size_t wanted,
                      std::uint32_t limitMs);

} // namespace orvexa::line
