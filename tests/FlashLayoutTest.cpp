#include "fonts/FlashLayout.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

// Where each item goes, in FlashItem order: six pages, the Korean font, the Japanese font.
using Addresses = decltype(FlashLayout::address);
constexpr std::nullopt_t kNone = std::nullopt;

} // namespace

TEST(FlashLayout, NotModel18KeepsListedAddressesOnlyForFlashType8) {
    const FirmwarePackage package("M307_200_A7UG", {});
    const FlashLayout type8 = setFlashLayout(package, 8);
    EXPECT_EQ(type8.pageSize, 12288u);
    EXPECT_EQ(type8.addressOffset, 0u);
    // Pages one page apart, one empty slot between English and French.
    EXPECT_EQ(type8.address, (Addresses{0x700000u, 0x706000u, 0x709000u, 0x70C000u, 0x70F000u, 0x712000u,
                                        0x720000u, 0x740000u}));

    // Flash type 4 (never asked), and the character '8' rather than the number 8, lower everything.
    for (std::int32_t flashType : {4, 0x38, -1}) {
        const FlashLayout low = setFlashLayout(package, flashType);
        EXPECT_EQ(low.address, type8.address) << flashType;
        EXPECT_EQ(low.addressOffset, 0x400000u) << flashType;
        EXPECT_EQ(low.targetOf(FlashItem::EnglishPage), 0x300000u);
    }
}

TEST(FlashLayout, Model18EditionsHoldTheirOwnItemsAndNeverTakeTheOffset) {
    for (std::int32_t flashType : {4, 8}) {
        const FlashLayout j = setFlashLayout(FirmwarePackage("M301_180J1234", {}), flashType);
        EXPECT_EQ(j.model, FlashModel::Model18J);
        EXPECT_EQ(j.pageSize, 11264u);
        EXPECT_EQ(j.addressOffset, 0u);
        EXPECT_EQ(j.address, (Addresses{0x43800u, kNone, kNone, kNone, kNone, 0x46400u, kNone, 0x49000u}));

        const FlashLayout notJ = setFlashLayout(FirmwarePackage("M201_180_1234", {}), flashType);
        EXPECT_EQ(notJ.model, FlashModel::Model18NotJ);
        EXPECT_EQ(notJ.pageSize, 11264u);
        EXPECT_EQ(notJ.addressOffset, 0u);
        EXPECT_EQ(notJ.address,
                  (Addresses{0x5E400u, 0x63C00u, 0x66800u, 0x69400u, 0x6C000u, kNone, 0x6EC00u, kNone}));
    }
}
