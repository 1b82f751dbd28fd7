#include "firmware/FramedPacket.h"

#include "firmware/Crc16.h"

#include <algorithm>

namespace orvexa {

namespace {
constexpr std::size_t kLengthAt = 2;
constexpr std::size_t kCommandAt = 8;
constexpr std::size_t kSubCodeAt = 9;
} // namespace

std::vector<std::uint8_t> buildFramedPacket(std::uint8_t command, std::uint8_t subCode,
                                            std::span<const std::uint8_t> body) {
    const std::size_t total = kFramedHeaderSize + body.size() + kFramedCrcSize;
    std::vector<std::uint8_t> packet(total, 0); // the reserved bytes stay zero
    packet[0] = kFramedStart;
    packet[1] = kFramedLinkMark;
    packet[kLengthAt] = static_cast<std::uint8_t>(total >> 8);
    packet[kLengthAt + 1] = static_cast<std::uint8_t>(total & 0xFF);
    packet[kCommandAt] = command;
    packet[kSubCodeAt] = subCode;
    std::copy(body.begin(), body.end(), packet.begin() + kFramedHeaderSize);
    const std::size_t covered = total - kFramedCrcSize;
    const std::uint16_t crc = crc16Xmodem(packet.data(), static_cast<std::uint16_t>(covered));
    packet[covered] = static_cast<std::uint8_t>(crc >> 8);
    packet[covered + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return packet;
}

} // namespace orvexa
