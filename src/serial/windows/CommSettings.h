// The line settings a Windows serial port is opened with, as pure data, so that what the driver is told
// can be checked on any machine. The Win32 channel copies the driver's DCB into CommState, lets
// applyLineSettings change it and copies it back; nothing else of the record is touched, because a
// driver (a Bluetooth serial port in particular) may depend on its own values for the rest.
#pragma once

#include "serial/SerialChannel.h"

#include <cstdint>
#include <type_traits>

namespace orvexa {

// The Windows DCB record, field for field in its own order and sizes (28 bytes). The packed flag
// bits of the record are kept as one 32-bit word.
struct CommState {
    std::uint32_t length; // DCBlength
    std::uint32_t baudRate;
    std::uint32_t flags; // fBinary ... fAbortOnError, fDummy2
    std::uint16_t reserved;
    std::uint16_t xonLimit;
    std::uint16_t xoffLimit;
    std::uint8_t byteSize;
    std::uint8_t parity;
    std::uint8_t stopBits;
    char xonChar;
    char xoffChar;
    char errorChar;
    char eofChar;
    char evtChar;
    std::uint16_t reserved1;
};
static_assert(sizeof(CommState) == 28, "CommState must have the layout of the Windows DCB");
static_assert(std::is_trivially_copyable_v<CommState>);

// Bits of the DCB flag word that carry flow control or drive the modem lines.
namespace commflag {
inline constexpr std::uint32_t kOutxCtsFlow = 1u << 2;
inline constexpr std::uint32_t kOutxDsrFlow = 1u << 3;
inline constexpr std::uint32_t kDtrControl = 3u << 4; // both bits clear: DTR_CONTROL_DISABLE
inline constexpr std::uint32_t kDsrSensitivity = 1u << 6;
inline constexpr std::uint32_t kOutX = 1u << 8;
inline constexpr std::uint32_t kInX = 1u << 9;
inline constexpr std::uint32_t kRtsControl = 3u << 12; // both bits clear: RTS_CONTROL_DISABLE
} // namespace commflag

// The scanner speaks without any handshake and expects DTR and RTS inactive; ANDing with this mask
// clears exactly the bits above and keeps fBinary, fParity, fTXContinueOnXoff, fErrorChar, fNull and
// fAbortOnError as the driver reported them.
inline constexpr std::uint32_t kNoFlowControlMask = 0xFFFFCC83u;
static_assert(kNoFlowControlMask ==
              ~(commflag::kOutxCtsFlow | commflag::kOutxDsrFlow | commflag::kDtrControl |
                commflag::kDsrSensitivity | commflag::kOutX | commflag::kInX | commflag::kRtsControl));

// The record to write back: the driver's record with the line's speed and framing from the arguments
// and flow control and modem-line control cleared.
CommState applyLineSettings(const CommState& reported, std::uint32_t baudRate, std::uint8_t byteSize,
                            std::uint8_t parity, std::uint8_t stopBits);

// The Windows COMMTIMEOUTS record, field for field, in milliseconds.
struct CommTimeoutTable {
    std::uint32_t readInterval;
    std::uint32_t readTotalMultiplier;
    std::uint32_t readTotalConstant;
    std::uint32_t writeTotalMultiplier;
    std::uint32_t writeTotalConstant;
};
static_assert(sizeof(CommTimeoutTable) == 20, "CommTimeoutTable must have the layout of COMMTIMEOUTS");

inline constexpr CommTimeoutTable kCommTimeouts = {kReadIntervalMs, kReadTotalMultiplierMs,
                                                   kReadTotalConstantMs, kWriteTotalMultiplierMs,
                                                   kWriteTotalConstantMs};

// The longest a read or write of count bytes blocks under kCommTimeouts.
std::uint32_t readLimitMs(std::int32_t count);
std::uint32_t writeLimitMs(std::int32_t count);

// Modem events the port is told to watch (EV_CTS | EV_DSR | EV_RLSD | EV_RING). Nothing waits on them;
// the mask only replaces whatever an earlier program left set.
inline constexpr std::uint32_t kCommEventMask = 0x0008u | 0x0010u | 0x0020u | 0x0100u;
static_assert(kCommEventMask == 0x138);

// What the open discards (PURGE_TXCLEAR | PURGE_RXCLEAR): stale bytes of an earlier session, in both
// directions. No transfer is aborted, since none is pending on a port just opened.
inline constexpr std::uint32_t kPurgeBuffers = 0x0004u | 0x0008u;
static_assert(kPurgeBuffers == 0x0C);

} // namespace orvexa
