// The classic family's 261-byte download frame: CRC (low byte first), kind, block number (low byte
// first) and 256 data bytes. The CRC is CRC-16/KERMIT over everything after it. A data frame ("W")
// carries one 256-byte block of the image; the closing frame ("R") carries zeros and tells the scanner
// that the image is complete, so it is sent only after a transfer that the scanner answered to its end.
#pragma once

#include "firmware/ImageBlock.h"

#include <array>
#include <cstdint>

namespace orvexa {

class BlockFrame {
public:
    static constexpr std::int32_t kFrameSize = 261;
    static constexpr std::int32_t kDataSize = 256;
    static constexpr std::uint8_t kDataKind = 'W';
    static constexpr std::uint8_t kClosingKind = 'R';
    // Bytes of the last block that lie past the image.
    static constexpr std::uint8_t kFill = kErasedFlash;

    // The block at `offset` of the image; only bytes inside the image are read.
    static BlockFrame data(std::uint16_t blockNumber, const std::uint8_t* image, std::int32_t imageSize,
                           std::int32_t offset);
    static BlockFrame closing(std::uint16_t blockNumber);

    const std::uint8_t* bytes() const { return bytes_.data(); }
    std::int32_t size() const { return kFrameSize; }
    std::uint8_t kind() const { return bytes_[kKindAt]; }
    std::uint16_t blockNumber() const;
    std::uint16_t crc() const;

private:
    static constexpr std::int32_t kCrcAt = 0;
    static constexpr std::int32_t kKindAt = 2;
    static constexpr std::int32_t kBlockNumberAt = 3;
    static constexpr std::int32_t kDataAt = 5;

    BlockFrame(std::uint8_t kind, std::uint16_t blockNumber);
    void seal();

    std::array<std::uint8_t, kFrameSize> bytes_{};
};

} // namespace orvexa
