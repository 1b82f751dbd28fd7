// A package and language data small enough that a whole run costs little: a classic image with the header
// the classic download reads (its bootloader "00"), a framed "UPDATE" image, and tables and fonts of a few
// chunks. Each test gives its own sizes and bytes, so that what a scanner ends up holding tells apart
// whose they were.
#pragma once

#include "firmware/FirmwarePackage.h"
#include "fonts/LanguageData.h"

#include <cstring>
#include <utility>
#include <vector>

namespace orvexa {

// Byte i is i * step + first, under the header when there is one.
inline std::vector<std::uint8_t> smallClassicImage(std::size_t size, unsigned step, unsigned first,
                                                   bool withHeader = true) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(i * step + first);
    }
    if (withHeader) {
        std::memcpy(image.data() + kImageHeaderOffset, "$$RDQ", 5);
        image[kImageHeaderOffset + 14] = '0';
        image[kImageHeaderOffset + 15] = '0';
    }
    return image;
}

inline std::vector<std::uint8_t> smallFramedImage(std::size_t size, std::uint8_t fill) {
    std::vector<std::uint8_t> image(size, fill);
    std::memcpy(image.data(), "UPDATE", 6);
    return image;
}

// Every language's table holds `texts`, beside the two fonts given.
inline LanguageData smallLanguages(const LanguageTable& texts, FontBlob koreanFont, FontBlob japaneseFont) {
    LanguageData data;
    data.tables.fill(texts);
    data.koreanFont = std::move(koreanFont);
    data.japaneseFont = std::move(japaneseFont);
    return data;
}

} // namespace orvexa
