// SHA-256 of a byte block, as lowercase hex: a catalogue checks each image against its listed sum, and
// rdq-sim's record names large images and flash contents by their digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvexa {

std::string sha256Hex(const std::uint8_t* data, std::size_t size);
inline std::string sha256Hex(const std::vector<std::uint8_t>& bytes) {
    return sha256Hex(bytes.data(), bytes.size());
}

} // namespace orvexa
