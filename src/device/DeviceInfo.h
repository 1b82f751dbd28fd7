// What the scanner reported, one record per process. It is written field by field and never cleared as a
// whole: a field keeps the last value written across repeated steps, which later steps rely on.
// Text fields are fixed-size, zero-terminated byte arrays; no reply byte is ever stored beyond its field.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvexa {

struct DeviceInfo {
    // Reply to "M": 10 characters and a zero. [0] '!' is a refusal; [2] is the family code.
    std::array<char, 11> modelText{};
    // Reply to "V" (classic) or the framed version query.
    std::array<char, 16> firmwareText{};
    // Reply to "I","v".
    std::array<char, 32> firmwareInfoText{};
    // Framed family only.
    std::array<char, 16> loaderText{};
    std::array<char, 16> applicationText{};
    // The last 5-byte reply ("G","s" or "G","F","S"); [4] is '@' in an accepted reply.
    std::array<std::uint8_t, 5> shortReply{};
    // Flash type reported by "G","F","S"; 4 until a scanner says otherwise.
    std::int32_t flashType = 4;
    // Reply to "I","B": 'v' and two version digits when the scanner has a bootloader.
    std::array<char, 14> bootloaderText{};
    bool itAccepted = false;
    bool fontCapable = false;
    // The framed family's transfer block: 512 or 1024 once verified, 0 before.
    std::uint32_t framedBlockSize = 0;
};

// The zero-terminated text held in a fixed field, never read past the field's end.
template <std::size_t N> std::string textOf(const std::array<char, N>& field) {
    std::size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string(field.data(), length);
}

// A scanner running its bootloader (no working firmware) reports "Bootloader ..." in place of its
// firmware version.
bool runsBootloader(const DeviceInfo& device);

// Character i of a text field as an unsigned code, for the tests that compare by character code.
template <std::size_t N> unsigned char charAt(const std::array<char, N>& field, std::size_t i) {
    return i < N ? static_cast<unsigned char>(field[i]) : 0;
}

} // namespace orvexa
