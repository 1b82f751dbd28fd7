#include "BitwiseCrc.h"

#include "firmware/Crc16.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {
const auto* bytes(const char* text) {
    return reinterpret_cast<const std::uint8_t*>(text);
}
} // namespace

TEST(Crc16, PublishedCheckValuesOverTheNineDigits) {
    EXPECT_EQ(crc16Kermit(bytes("123456789"), 9), 0x2189);
    EXPECT_EQ(crc16Xmodem(bytes("123456789"), 9), 0x31C3);
}

TEST(Crc16, EmptyAndNegativeCountsGiveZero) {
    EXPECT_EQ(crc16Kermit(bytes("x"), 0), 0);
    EXPECT_EQ(crc16Kermit(bytes("x"), -5), 0);
    EXPECT_EQ(crc16Xmodem(bytes("x"), 0), 0);
}

TEST(Crc16, SingleBytesShowTheFirstTableEntries) {
    EXPECT_EQ(crc16Kermit(bytes("\x00"), 1), 0);
    EXPECT_EQ(crc16Kermit(bytes("\x01"), 1), 0x1189); // entry 1 of the reflected table
    EXPECT_EQ(crc16Xmodem(bytes("\x01"), 1), 0x1021); // entry 1 of the plain table
}

// An independent, bitwise form of both variants, over a block as long as a classic frame.
TEST(Crc16, TableDrivenFormsAgreeWithBitwiseForms) {
    std::uint8_t data[259];
    for (int i = 0; i < 259; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    EXPECT_EQ(crc16Kermit(data, 259), bitwiseKermit(data, 259));
    EXPECT_EQ(crc16Xmodem(data, 259), bitwiseXmodem(data, 259));
}
