#include "fonts/FlashLayout.h"

namespace orvexa {

namespace {

struct ModelRow {
    FlashModel model;
    std::uint32_t pageSize;
    std::array<std::optional<std::uint32_t>, kFlashItemCount> address;
};

constexpr std::nullopt_t kNotHeld = std::nullopt;

// Per model: the page size, then the addresses of English, French, Italian, Spanish, Korean, Japanese,
// the Korean font and the Japanese font. Pages lie one page apart; between English and French one page
// slot holds no table.
constexpr ModelRow kModelRows[] = {
    {FlashModel::NotModel18,
     0x3000,
     {0x700000, 0x706000, 0x709000, 0x70C000, 0x70F000, 0x712000, 0x720000, 0x740000}},
    {FlashModel::Model18J,
     0x2C00,
     {0x43800, kNotHeld, kNotHeld, kNotHeld, kNotHeld, 0x46400, kNotHeld, 0x49000}},
    {FlashModel::Model18NotJ,
     0x2C00,
     {0x5E400, 0x63C00, 0x66800, 0x69400, 0x6C000, kNotHeld, 0x6EC00, kNotHeld}},
};

} // namespace

const char* flashItemName(FlashItem item) {
    switch (item) {
    case FlashItem::EnglishPage:
        return "English";
    case FlashItem::FrenchPage:
        return "French";
    case FlashItem::ItalianPage:
        return "Italian";
    case FlashItem::SpanishPage:
        return "Spanish";
    case FlashItem::KoreanPage:
        return "Korean";
    case FlashItem::JapanesePage:
        return "Japanese";
    case FlashItem::KoreanFont:
        return "Korean font";
    case FlashItem::JapaneseFont:
        return "Japanese font";
    }
    return "";
}

FlashModel flashModelOf(const FirmwarePackage& package) {
    if (package.isModel18J()) {
        return FlashModel::Model18J;
    }
    if (package.isModel18NotJ()) {
        return FlashModel::Model18NotJ;
    }
    return FlashModel::NotModel18;
}

FlashLayout setFlashLayout(const FirmwarePackage& package, std::int32_t flashType) {
    const FlashModel model = flashModelOf(package);
    FlashLayout layout;
    for (const ModelRow& row : kModelRows) {
        if (row.model == model) {
            layout.model = model;
            layout.pageSize = row.pageSize;
            layout.address = row.address;
        }
    }
    const bool model18 = model != FlashModel::NotModel18;
    layout.addressOffset = !model18 && flashType != kFlashTypeAtListedAddresses ? kLowFlashAddressOffset : 0;
    return layout;
}

} // namespace orvexa
