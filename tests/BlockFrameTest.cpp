#include "BitwiseCrc.h"

#include "firmware/BlockFrame.h"
#include "firmware/Crc16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace orvexa;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return bytes;
}

// Bytes [from, to) of the frame as written.
Bytes part(const BlockFrame& frame, int from, int to) {
    return Bytes(frame.bytes() + from, frame.bytes() + to);
}

} // namespace

TEST(BlockFrame, DataFrameCarriesKindBlockNumberAndBlockLowByteFirst) {
    const Bytes image = pattern(174614);
    const BlockFrame frame = BlockFrame::data(0x0214, image.data(), 174614, 5120);
    ASSERT_EQ(frame.size(), 261);
    EXPECT_EQ(part(frame, 2, 5), (Bytes{'W', 0x14, 0x02}));
    EXPECT_EQ(part(frame, 5, 261), Bytes(image.begin() + 5120, image.begin() + 5120 + 256));
    // The CRC is over kind, number and data, stored low byte first; checked against the bitwise form.
    const std::uint16_t crc = bitwiseKermit(frame.bytes() + 2, 259);
    EXPECT_EQ(part(frame, 0, 2),
              (Bytes{static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)}));
    EXPECT_EQ(frame.crc(), crc);
}

TEST(BlockFrame, LastBlockIsFilledWithErasedFlashPastTheImage) {
    const Bytes image = pattern(174614);
    const BlockFrame frame = BlockFrame::data(682, image.data(), 174614, 682 * 256);
    Bytes expected(256, 0xFF); // erased flash past the 22 image bytes that remain
    std::copy(image.begin() + 682 * 256, image.end(), expected.begin());
    EXPECT_EQ(part(frame, 5, 261), expected);
    EXPECT_EQ(frame.crc(), crc16Kermit(frame.bytes() + 2, 259));
}

TEST(BlockFrame, ClosingFrameCarriesZerosAndTheNextNumber) {
    const BlockFrame frame = BlockFrame::closing(683);
    EXPECT_EQ(frame.bytes()[2], 'R');
    EXPECT_EQ(frame.blockNumber(), 683);
    EXPECT_EQ(part(frame, 5, 261), Bytes(256, 0));
    EXPECT_EQ(frame.crc(), crc16Kermit(frame.bytes() + 2, 259));
}
