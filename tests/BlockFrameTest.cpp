#include "BitwiseCrc.h"

#include "firmware/BlockFrame.h"
#include "firmware/Crc16.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvexa;

namespace {

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return bytes;
}

} // namespace

TEST(BlockFrame, DataFrameCarriesKindBlockNumberAndBlockLowByteFirst) {
    const auto image = pattern(174614);
    const BlockFrame frame = BlockFrame::data(0x0214, image.data(), 174614, 5120);
    const std::uint8_t* b = frame.bytes();
    ASSERT_EQ(frame.size(), 261);
    EXPECT_EQ(b[2], 'W');
    EXPECT_EQ(b[3], 0x14);
    EXPECT_EQ(b[4], 0x02);
    EXPECT_TRUE(std::equal(b + 5, b + 261, image.begin() + 5120));
    // The CRC is over kind, number and data, stored low byte first; checked against the bitwise form.
    const std::uint16_t crc = bitwiseKermit(b + 2, 259);
    EXPECT_EQ(b[0], crc & 0xFF);
    EXPECT_EQ(b[1], crc >> 8);
    EXPECT_EQ(frame.crc(), crc);
}

TEST(BlockFrame, LastBlockIsFilledWithErasedFlashPastTheImage) {
    const auto image = pattern(174614);
    const BlockFrame frame = BlockFrame::data(682, image.data(), 174614, 682 * 256);
    const std::uint8_t* b = frame.bytes();
    EXPECT_TRUE(std::equal(b + 5, b + 5 + 22, image.begin() + 682 * 256)); // 22 image bytes remain
    for (int i = 5 + 22; i < 261; ++i) {
        ASSERT_EQ(b[i], 0xFF) << i;
    }
    EXPECT_EQ(frame.crc(), crc16Kermit(b + 2, 259));
}

TEST(BlockFrame, ClosingFrameCarriesZerosAndTheNextNumber) {
    const BlockFrame frame = BlockFrame::closing(683);
    const std::uint8_t* b = frame.bytes();
    EXPECT_EQ(b[2], 'R');
    EXPECT_EQ(frame.blockNumber(), 683);
    for (int i = 5; i < 261; ++i) {
        ASSERT_EQ(b[i], 0) << i;
    }
    EXPECT_EQ(frame.crc(), crc16Kermit(b + 2, 259));
}
