// The framed family's packet: STX, the link mark "Q", the whole packet's length, four reserved bytes, a
// command letter and its sub-code, an optional body, and the CRC-16/XMODEM of everything before it.
// Multi-byte fields are big-endian, unlike the classic formats.
//
//   offset 0    1    2-3     4-7    8        9         10..      last two
//          STX  'Q'  length  0000   command  sub-code  body      CRC (high, low)
//
// Every packet the tool sends is built by buildFramedPacket, so the layout is written down once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvexa {

inline constexpr std::uint8_t kFramedStart = 0x02;   // STX
inline constexpr std::uint8_t kFramedLinkMark = 'Q'; // 0x51
inline constexpr std::uint8_t kFramedQuery = 'F';    // command: ask the scanner something
inline constexpr std::uint8_t kFramedDownload = 'D'; // command: the firmware download
inline constexpr std::uint8_t kSubVersions = 0x20;   // with 'F': the three version texts
inline constexpr std::uint8_t kSubStart = 0x01;      // with 'D': enter download
inline constexpr std::uint8_t kSubBlock = 0x02;      // with 'D': one data block

inline constexpr std::size_t kFramedHeaderSize = 10; // start byte to sub-code
inline constexpr std::size_t kFramedCrcSize = 2;
inline constexpr std::size_t kFramedRequestSize = kFramedHeaderSize + kFramedCrcSize; // 12
inline constexpr std::size_t kBlockNumberSize = 2;
// A data block packet is its data plus this: header, block number and CRC.
inline constexpr std::size_t kFramedBlockOverhead = kFramedHeaderSize + kBlockNumberSize + kFramedCrcSize;
// The largest block the scanners take; it also keeps the packet's length field and CRC count in 16 bits.
inline constexpr std::size_t kMaxFramedBlockSize = 1024;

// The whole packet for a command, its sub-code and a body (empty for requests, block number and data for
// a data block). The body must be short enough for the 16-bit length field.
std::vector<std::uint8_t> buildFramedPacket(std::uint8_t command, std::uint8_t subCode,
                                            std::span<const std::uint8_t> body = {});

} // namespace orvexa
