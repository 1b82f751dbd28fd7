// One block of an image to be written into the scanner's flash, the same for both families' firmware
// and for the pages and fonts: the scanner takes full-length blocks only, so what lies past the image is
// filled with the value of erased flash, and the scanner writes nothing there that was not in the image.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orvexa {

inline constexpr std::uint8_t kErasedFlash = 0xFF;

// The `size` bytes that start at `offset` in the image; only bytes inside the image are read.
inline void copyImageBlock(std::uint8_t* block, std::size_t size, const std::uint8_t* image,
                           std::int64_t imageSize, std::int64_t offset) {
    std::fill(block, block + size, kErasedFlash);
    if (offset >= 0 && offset < imageSize) {
        const auto count = std::min<std::int64_t>(static_cast<std::int64_t>(size), imageSize - offset);
        std::copy(image + offset, image + offset + count, block);
    }
}

} // namespace orvexa
