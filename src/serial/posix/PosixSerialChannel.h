// SerialChannel on a POSIX terminal device (termios), with the Windows time-out semantics that the tool
// is written against reproduced with poll():
//   - a read of n bytes returns at once when n bytes are there, 200 ms after the last received byte when
//     more were asked for, and at the latest 10*n + 10 ms after the call with whatever came;
//   - a write of n bytes gives up after 500*n + 1000 ms.
// Exclusive access as on Windows: flock() keeps out every cooperating program and our own second channel
// (TIOCEXCL alone does not stop root), and TIOCEXCL keeps out the rest while the port is open.
// Only a terminal device is taken: anything else the path names (a file, a directory, /dev/null) is
// closed again before a byte is written or a setting changed.
#pragma once

#include "serial/SerialChannel.h"

#include <string>

namespace orvexa {

// The call that moves the modem-control lines: ioctl(fd, request, lines) with TIOCMBIC, TIOCMBIS or
// TIOCMSET. A pseudo-terminal has no such lines, so this is where a test watches what open does to them.
using ModemLineControl = int (*)(int fd, unsigned long request, int* lines);

// Ports that are sockets, not terminal devices (a Bluetooth scanner's serial port profile): who connects
// them and lets them go. The channel reads and writes such a socket with the same time-outs as a tty.
class SocketPorts {
public:
    virtual ~SocketPorts() = default;
    virtual bool names(const std::string& portName) const = 0;
    // A connected, non-blocking stream socket, or -1 with error set.
    virtual int connect(const std::string& portName, ChannelError& error) = 0;
    // Ends the connection at once and closes fd.
    virtual void release(const std::string& portName, int fd) = 0;
};

class PosixSerialChannel : public SerialChannel {
public:
    PosixSerialChannel();
    explicit PosixSerialChannel(ModemLineControl modemLines) : modemLines_(modemLines) {}
    explicit PosixSerialChannel(SocketPorts* socketPorts);
    ~PosixSerialChannel() override;
    PosixSerialChannel(const PosixSerialChannel&) = delete;
    PosixSerialChannel& operator=(const PosixSerialChannel&) = delete;

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t readArrived(std::uint8_t* buffer, std::int32_t count) override;
    bool isOpen() const override { return fd_ >= 0; }
    void close() override;
    bool open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity,
              std::uint8_t stopBits, std::uint32_t access) override;
    ChannelError lastError() const override { return lastError_; }

private:
    // A vanished far end must look like a silent line: the call waits out its time-out instead of
    // returning at once, so that callers polling in a loop never spin.
    void lineLost(std::int64_t untilNs);

    ModemLineControl modemLines_;
    SocketPorts* socketPorts_ = nullptr;
    std::string socketPort_; // the socket port open, or empty for a terminal device
    int fd_ = -1;
    ChannelError lastError_ = ChannelError::None;
};

} // namespace orvexa
