// A framed-family "UPDATE" container for tests, of the carried image's size by default: a directory with
// one loader, one firmware and one application record, and data that differs from block to block.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace orvexa {

inline constexpr std::size_t kTestContainerSize = 174614;

inline std::vector<std::uint8_t> testContainer(std::size_t size = kTestContainerSize) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 29) ^ (i >> 9));
    }
    std::memcpy(image.data(), "UPDATE", 6);
    image[9] = 0;
    image[10] = 3; // three entries, at offsets 0, 8 and 16 from the record base 1034
    const char* records[] = {"L.010203", "F.xx0405", "A.yy0607"};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::uint32_t offset = 8 * i;
        for (std::uint32_t b = 0; b < 4; ++b) {
            image[12 + 4 * i + b] = static_cast<std::uint8_t>(offset >> (8 * b)); // little-endian
        }
        std::memcpy(image.data() + 1034 + offset, records[i], 8);
    }
    return image;
}

} // namespace orvexa
