// What a Windows port driver is told when the channel opens it.
#include "serial/windows/CommSettings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

using namespace orvexa;

namespace {

// A driver record with every field set to something the channel must not touch.
CommState driverState(std::uint32_t flags) {
    return {28, 9600, flags, 0x1234, 2048, 512, 7, 2, 2, 0x11, 0x13, '?', 0x1A, '\n', 0x5678};
}

constexpr std::uint32_t kBinary = 1u << 0;
constexpr std::uint32_t kParity = 1u << 1;
constexpr std::uint32_t kTxContinueOnXoff = 1u << 7;
constexpr std::uint32_t kErrorChar = 1u << 10;
constexpr std::uint32_t kNull = 1u << 11;
constexpr std::uint32_t kAbortOnError = 1u << 14;
constexpr std::uint32_t kDtrHandshake = 2u << 4;
constexpr std::uint32_t kRtsToggle = 3u << 12;

} // namespace

TEST(CommSettings, OnlyTheLineAndTheFlowControlBitsChange) {
    const CommState reported = driverState(0xFFFFFFFFu);
    const CommState applied = applyLineSettings(reported, kBaudRate, kByteSize, kNoParity, kOneStopBit);

    // The line as the scanner needs it; every other field keeps the driver's value.
    CommState expected = reported;
    expected.baudRate = 115200;
    expected.byteSize = 8;
    expected.parity = 0;
    expected.stopBits = 0;
    expected.flags = 0xFFFFCC83u;
    EXPECT_EQ(std::memcmp(&applied, &expected, sizeof applied), 0);
}

TEST(CommSettings, HandshakingDriversEndUpWithNone) {
    const std::uint32_t xonXoff = commflag::kOutX | commflag::kInX | kTxContinueOnXoff | kBinary;
    const std::uint32_t hardware = commflag::kOutxCtsFlow | commflag::kOutxDsrFlow |
                                   commflag::kDsrSensitivity | kDtrHandshake | kRtsToggle;
    const std::uint32_t kept = kBinary | kParity | kTxContinueOnXoff | kErrorChar | kNull | kAbortOnError;

    EXPECT_EQ(applyLineSettings(driverState(xonXoff), 115200, 8, 0, 0).flags, kTxContinueOnXoff | kBinary);
    EXPECT_EQ(applyLineSettings(driverState(hardware | kBinary), 115200, 8, 0, 0).flags, kBinary);
    EXPECT_EQ(applyLineSettings(driverState(kept), 115200, 8, 0, 0).flags, kept);
    // The DTR and RTS control fields end as 0: DTR_CONTROL_DISABLE and RTS_CONTROL_DISABLE.
    const std::uint32_t flags = applyLineSettings(driverState(0xFFFFFFFFu), 115200, 8, 0, 0).flags;
    EXPECT_EQ((flags >> 4) & 3u, 0u);
    EXPECT_EQ((flags >> 12) & 3u, 0u);
}

TEST(CommSettings, TimeoutTableAndWhatItMeansForCallers) {
    const CommTimeoutTable& t = kCommTimeouts;
    EXPECT_EQ(std::make_tuple(t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                              t.writeTotalMultiplier, t.writeTotalConstant),
              std::make_tuple(200u, 10u, 10u, 500u, 1000u));

    EXPECT_EQ(readLimitMs(1), 20u); // a one-byte read on a silent line
    EXPECT_EQ(readLimitMs(261), 2620u);
    EXPECT_EQ(writeLimitMs(261), 131500u);
    EXPECT_EQ(readLimitMs(0), 10u);
    EXPECT_EQ(readLimitMs(-5), 10u);

    EXPECT_EQ(kCommEventMask, 0x138u);
    EXPECT_EQ(kPurgeBuffers, 0x0Cu);
}
