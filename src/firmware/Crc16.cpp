#include "firmware/Crc16.h"

#include <array>

namespace orvexa {

namespace {

using CrcTable = std::array<std::uint16_t, 256>;

constexpr std::uint16_t kPolynomial = 0x1021;
constexpr std::uint16_t kReflectedPolynomial = 0x8408;

// Least significant bit first, for the reflected variant.
constexpr CrcTable makeReflectedTable() {
    CrcTable table{};
    for (unsigned index = 0; index < 256; ++index) {
        std::uint16_t crc = static_cast<std::uint16_t>(index);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ kReflectedPolynomial)
                                  : static_cast<std::uint16_t>(crc >> 1);
        }
        table[index] = crc;
    }
    return table;
}

// Most significant bit first, for the plain variant.
constexpr CrcTable makeTable() {
    CrcTable table{};
    for (unsigned index = 0; index < 256; ++index) {
        std::uint16_t crc = static_cast<std::uint16_t>(index << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) != 0 ? static_cast<std::uint16_t>((crc << 1) ^ kPolynomial)
                                       : static_cast<std::uint16_t>(crc << 1);
        }
        table[index] = crc;
    }
    return table;
}

constexpr CrcTable kKermitTable = makeReflectedTable();
constexpr CrcTable kXmodemTable = makeTable();

static_assert(kKermitTable[1] == 0x1189);
static_assert(kXmodemTable[1] == 0x1021);

} // namespace

std::uint16_t crc16Kermit(const std::uint8_t* data, std::int32_t count) {
    std::uint16_t crc = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        crc = static_cast<std::uint16_t>(kKermitTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8));
    }
    return crc;
}

std::uint16_t crc16Xmodem(const std::uint8_t* data, std::uint16_t count) {
    std::uint16_t crc = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        crc = static_cast<std::uint16_t>(kXmodemTable[((crc >> 8) ^ data[i]) & 0xFFu] ^ (crc << 8));
    }
    return crc;
}

} // namespace orvexa
