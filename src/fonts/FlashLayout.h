// Where the language pages and fonts go in a classic scanner's flash. The addresses and the page size
// differ by the model of the carried firmware; they are one row of a table per model, so that a new
// model is a new row and the code that writes pages only reads the table.
//
// On scanners other than model 18 the listed addresses hold only for flash type 8; every other flash
// type (and a scanner that never said) takes them 0x400000 lower.
#pragma once

#include "firmware/FirmwarePackage.h"

#include <array>
#include <cstdint>
#include <optional>

namespace orvexa {

// The eight items, in the order they are written.
enum class FlashItem {
    EnglishPage,
    FrenchPage,
    ItalianPage,
    SpanishPage,
    KoreanPage,
    JapanesePage,
    KoreanFont,
    JapaneseFont
};
inline constexpr std::size_t kFlashItemCount = 8;

// The name shown in the progress lines ("English", ..., "Korean font", "Japanese font").
const char* flashItemName(FlashItem item);

enum class FlashModel { NotModel18, Model18J, Model18NotJ };

struct FlashLayout {
    FlashModel model = FlashModel::NotModel18;
    std::uint32_t pageSize = 0;
    // Nothing for an item that this model does not hold.
    std::array<std::optional<std::uint32_t>, kFlashItemCount> address{};
    // Subtracted from every address when the chunks are sent.
    std::uint32_t addressOffset = 0;

    bool holds(FlashItem item) const { return address[static_cast<std::size_t>(item)].has_value(); }
    // The address a chunk command names for the item; only for an item the layout holds.
    std::uint32_t targetOf(FlashItem item) const {
        return *address[static_cast<std::size_t>(item)] - addressOffset;
    }
};

// The memory that holds one page, whatever the model's page size.
inline constexpr std::uint32_t kPageBufferSize = 12288;

// The flash type for which the listed addresses of a non-18 model hold, and what others subtract.
inline constexpr std::int32_t kFlashTypeAtListedAddresses = 8;
inline constexpr std::uint32_t kLowFlashAddressOffset = 0x400000;

FlashModel flashModelOf(const FirmwarePackage& package);
// The layout for the carried firmware's model, with the address offset for the scanner's flash type
// (model 18 never takes one).
FlashLayout setFlashLayout(const FirmwarePackage& package, std::int32_t flashType);

} // namespace orvexa
