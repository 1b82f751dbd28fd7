#include "fonts/FlashLayout.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

std::optional<std::uint32_t> at(const FlashLayout& layout, FlashItem item) {
    return layout.address[static_cast<std::size_t>(item)];
}

} // namespace

TEST(FlashLayout, NotModel18KeepsListedAddressesOnlyForFlashType8) {
    const FirmwarePackage package("M307_200_A7UG", {});
    const FlashLayout type8 = setFlashLayout(package, 8);
    EXPECT_EQ(type8.pageSize, 12288u);
    EXPECT_EQ(type8.addressOffset, 0u);
    EXPECT_EQ(type8.targetOf(FlashItem::EnglishPage), 0x700000u);
    EXPECT_EQ(type8.targetOf(FlashItem::JapaneseFont), 0x740000u);
    // Pages one page apart, one empty slot between English and French.
    EXPECT_EQ(*at(type8, FlashItem::FrenchPage), 0x700000u + 2 * 0x3000);
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(*at(type8, FlashItem(i + 1)) - *at(type8, FlashItem(i)), 0x3000u);
    }

    // Flash type 4 (never asked), and the character '8' rather than the number 8, lower everything.
    for (std::int32_t flashType : {4, 0x38, -1}) {
        const FlashLayout low = setFlashLayout(package, flashType);
        EXPECT_EQ(low.addressOffset, 0x400000u) << flashType;
        EXPECT_EQ(low.targetOf(FlashItem::EnglishPage), 0x300000u);
        EXPECT_EQ(low.targetOf(FlashItem::KoreanFont), 0x320000u);
        EXPECT_EQ(low.targetOf(FlashItem::JapaneseFont), 0x340000u);
    }
}

TEST(FlashLayout, Model18EditionsHoldTheirOwnItemsAndNeverTakeTheOffset) {
    const FirmwarePackage j("M301_180J1234", {});
    const FirmwarePackage notJ("M201_180_1234", {});
    for (std::int32_t flashType : {4, 8}) {
        const FlashLayout jl = setFlashLayout(j, flashType);
        EXPECT_EQ(jl.model, FlashModel::Model18J);
        EXPECT_EQ(jl.pageSize, 11264u);
        EXPECT_EQ(jl.addressOffset, 0u);
        EXPECT_EQ(jl.targetOf(FlashItem::EnglishPage), 0x43800u);
        EXPECT_EQ(jl.targetOf(FlashItem::JapanesePage), 0x46400u);
        EXPECT_EQ(jl.targetOf(FlashItem::JapaneseFont), 0x49000u);
        for (FlashItem item : {FlashItem::FrenchPage, FlashItem::ItalianPage, FlashItem::SpanishPage,
                               FlashItem::KoreanPage, FlashItem::KoreanFont}) {
            EXPECT_FALSE(jl.holds(item)) << flashItemName(item);
        }

        const FlashLayout nl = setFlashLayout(notJ, flashType);
        EXPECT_EQ(nl.model, FlashModel::Model18NotJ);
        EXPECT_EQ(nl.pageSize, 11264u);
        EXPECT_EQ(nl.addressOffset, 0u);
        const std::uint32_t pages[] = {0x5E400, 0x63C00, 0x66800, 0x69400, 0x6C000};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(nl.targetOf(FlashItem(i)), pages[i]);
        }
        EXPECT_EQ(nl.targetOf(FlashItem::KoreanFont), 0x6EC00u);
        EXPECT_FALSE(nl.holds(FlashItem::JapanesePage));
        EXPECT_FALSE(nl.holds(FlashItem::JapaneseFont));
    }
}
