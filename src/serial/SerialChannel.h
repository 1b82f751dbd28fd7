// One serial port, opened for exclusive, synchronous access with fixed line settings and fixed read and
// write time-outs that bound every call.
//
//   Closed --open ok--> Open --close--> Closed
//     ^                  |
//     +---open fails-----+      (open always passes through Closed first)
//
// A short count is the caller's time-out signal; nothing here retries or throws. A vanished port is not
// the same as a silent one for the person at the desk, so the channel also remembers why it last failed.
#pragma once

#include <cstdint>
#include <string>

namespace orvexa {

// The line every caller opens: 115200 baud, 8 data bits, no parity, one stop bit, read and write access.
// The codes are those of the Windows DCB record and access mask, which the interface keeps.
inline constexpr std::uint32_t kBaudRate = 115200;
inline constexpr std::uint8_t kByteSize = 8;
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint32_t kGenericReadWrite = 0xC0000000u;

// The Windows COMMTIMEOUTS the channel works with, in milliseconds. A read of n bytes returns after at
// most kReadTotalMultiplierMs * n + kReadTotalConstantMs, earlier once kReadIntervalMs pass between two
// received bytes; a write of n bytes gives up after kWriteTotalMultiplierMs * n + kWriteTotalConstantMs.
inline constexpr std::uint32_t kReadIntervalMs = 200;
inline constexpr std::uint32_t kReadTotalMultiplierMs = 10;
inline constexpr std::uint32_t kReadTotalConstantMs = 10;
inline constexpr std::uint32_t kWriteTotalMultiplierMs = 500;
inline constexpr std::uint32_t kWriteTotalConstantMs = 1000;

enum class ChannelError {
    None,
    NoSuchPort,       // the port does not exist (or vanished before the open)
    PermissionDenied, // the user may not open it (on Linux: not in the port's group)
    Busy,             // another program, or our other channel, holds it
    LineLost,         // the far end hung up while the port was open
    NotSerialPort,    // it opened, but is no serial port (a file, a directory, /dev/null): left untouched
    Other,
};

class SerialChannel {
public:
    virtual ~SerialChannel() = default;

    // Number of bytes the system reports sent; 0 when the channel is closed.
    virtual std::int32_t write(const std::uint8_t* buffer, std::int32_t count) = 0;
    // Number of bytes received, 0 to count, within the read time-outs; 0 when the channel is closed.
    virtual std::int32_t read(std::uint8_t* buffer, std::int32_t count) = 0;
    // Up to count bytes that have already arrived, without waiting for more: 0 when none are there or the
    // channel is closed. Only for bytes that are thrown away unread; a channel that cannot tell what has
    // arrived reports nothing.
    virtual std::int32_t readArrived(std::uint8_t* buffer, std::int32_t count) {
        (void)buffer;
        (void)count;
        return 0;
    }
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Closes first; true when the port was opened.
    virtual bool open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
                      std::uint8_t parity, std::uint8_t stopBits, std::uint32_t access) = 0;

    // Why the last open failed, or that the line was lost while open; None otherwise.
    virtual ChannelError lastError() const = 0;

    // The one way every caller opens a port.
    bool openDefault(const std::string& portName) {
        return open(portName, kBaudRate, kByteSize, kNoParity, kOneStopBit, kGenericReadWrite);
    }
};

} // namespace orvexa
