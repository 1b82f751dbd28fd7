#include "BitwiseCrc.h"

#include "firmware/FramedPacket.h"

#include <gtest/gtest.h>

using namespace orvexa;

using Bytes = std::vector<std::uint8_t>;

TEST(FramedPacket, RequestsAreTheTwelveBytesTheScannerKnows) {
    EXPECT_EQ(buildFramedPacket(kFramedQuery, kSubVersions),
              (Bytes{0x02, 0x51, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x46, 0x20, 0xE8, 0xED}));
    EXPECT_EQ(buildFramedPacket(kFramedDownload, kSubStart),
              (Bytes{0x02, 0x51, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x44, 0x01, 0xBA, 0xCC}));
}

TEST(FramedPacket, FullBlockCarriesLengthNumberDataAndCrcHighByteFirst) {
    Bytes body{0x01, 0x00}; // block 256
    for (int i = 0; i < 1024; ++i) {
        body.push_back(static_cast<std::uint8_t>(i * 7));
    }
    const Bytes packet = buildFramedPacket(kFramedDownload, kSubBlock, body);

    ASSERT_EQ(packet.size(), 1038u);
    EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 12),
              (Bytes{0x02, 0x51, 0x04, 0x0E, 0x00, 0x00, 0x00, 0x00, 'D', 0x02, 0x01, 0x00}));
    EXPECT_EQ(Bytes(packet.begin() + 12, packet.begin() + 1036), Bytes(body.begin() + 2, body.end()));
    const std::uint16_t crc = bitwiseXmodem(packet.data(), 1036);
    EXPECT_EQ(Bytes(packet.begin() + 1036, packet.end()), (Bytes{std::uint8_t(crc >> 8), std::uint8_t(crc)}));
}
