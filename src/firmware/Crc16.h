// The two CRC-16 variants the scanners check: both on the polynomial 0x1021 from 0, one bit-reflected
// (the classic family's frames and image body) and one not (the framed family's packets). The caller
// stores the result in the byte order of its own format.
#pragma once

#include <cstdint>

namespace orvexa {

// CRC-16/KERMIT; a count of 0 or less gives 0.
std::uint16_t crc16Kermit(const std::uint8_t* data, std::int32_t count);
// CRC-16/XMODEM; the count is 16 bits wide, as the packets it covers are short.
std::uint16_t crc16Xmodem(const std::uint8_t* data, std::uint16_t count);

} // namespace orvexa
