// The framed family's exchanges over the main channel: the version query of Step 2, and the start
// request and data blocks of the framed download. Replies are raw bytes; only the version reply is
// read, by position, and no reply is checked for its start byte, length or CRC.
//
#pragma once

#include "device/DeviceInfo.h"
#include "serial/Clock.h"
#include "serial/SerialChannel.h"

#include <cstddef>
#include <cstdint>

namespace orvexa {

inline constexpr std::uint32_t kSmallFramedBlock = 512;
inline constexpr std::uint32_t kLargeFramedBlock = 1024;

class FramedLink {
public:
    FramedLink(SerialChannel& channel, Clock& clock, DeviceInfo& device)
        : channel_(channel), clock_(clock), device_(device) {}

    enum class Sent { Done, NotWritten, Unanswered };

    // Fills loaderText, firmwareText and applicationText (empty after a failed query) and returns the
    // block size the scanner takes: kSmallFramedBlock, or kLargeFramedBlock when its application text
    // allows it.
    std::uint32_t queryFramedVersions();
    // Wakes the scanner with pings and asks it to take a download; NotWritten when the packet could not
    // be written whole, Done otherwise. Whatever the scanner answers is read and passed over.
    Sent sendStartRequest();
    // Sends one data block of at most 1024 bytes (a longer one is NotWritten); Unanswered when the scanner
    // did not answer it in time.
    Sent sendBlock(std::uint16_t blockNumber, const std::uint8_t* data, std::int32_t length);

private:
    void drainUntilSilent();
    void discardArrived();
    void drainWithPauses();
    bool writeAll(const std::uint8_t* bytes, std::size_t count);
    std::size_t readReply(std::uint8_t* buffer, std::size_t wanted, std::uint32_t limitMs);

    SerialChannel& channel_;
    Clock& clock_;
    DeviceInfo& device_;
};

} // namespace orvexa
