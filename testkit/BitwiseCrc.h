// Both CRC-16 variants computed bit by bit, independent of the table forms the tool uses, so that a test
// checks those against something other than themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvexa {

// Reflected, polynomial 0x1021 (0x8408 reversed), initial value 0: the classic frames and image header.
inline std::uint16_t bitwiseKermit(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

// Not reflected, polynomial 0x1021, initial value 0: the framed packets.
inline std::uint16_t bitwiseXmodem(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
        }
    }
    return crc;
}

} // namespace orvexa
