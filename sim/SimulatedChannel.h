// A SerialChannel in virtual time: the real channel's time-out semantics, with the waiting done by moving
// a VirtualClock instead of sleeping. A read of n bytes
//   - returns at once when n reply bytes have arrived by now;
//   - otherwise moves the clock to the next reply byte, and so on, until n bytes are in, 200 ms pass
//     after the last byte, or 10 * n + 10 ms pass since the call (the clock then stands at that limit);
// a write hands its bytes to the scanner and returns at once; a closed channel returns 0 at once. So a
// 20000 ms ping that is never answered costs microseconds, and every run is the same.
//
// A line whose scanner hung up behaves like the real one: reads wait out their time-out and return
// what had arrived, writes return 0, and lastError() says LineLost.
#pragma once

#include "SimulatedPortHub.h"
#include "SimulatedScanner.h"
#include "VirtualClock.h"

#include "serial/SerialChannel.h"

#include <string>

namespace orvexa {

class SimulatedChannel : public SerialChannel {
public:
    // Closed; open() takes a port of the hub.
    SimulatedChannel(VirtualClock& clock, SimulatedPortHub& hub);
    // A cable straight to one scanner, open from the start; open() with any name opens it again.
    SimulatedChannel(VirtualClock& clock, SimulatedScanner& scanner);
    ~SimulatedChannel() override;
    SimulatedChannel(const SimulatedChannel&) = delete;
    SimulatedChannel& operator=(const SimulatedChannel&) = delete;

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t readArrived(std::uint8_t* buffer, std::int32_t count) override;
    bool isOpen() const override { return open_; }
    void close() override;
    bool open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity,
              std::uint8_t stopBits, std::uint32_t access) override;
    ChannelError lastError() const override { return lastError_; }

    // The port this channel has open ("" when closed).
    const std::string& portName() const { return portName_; }
    // How often open() was called, and with what line settings the last time.
    int openCount() const { return openCount_; }
    std::uint32_t lastBaudRate() const { return lastBaudRate_; }

private:
    VirtualClock& clock_;
    SimulatedPortHub* hub_ = nullptr;
    SimulatedScanner* cable_ = nullptr;   // the scanner of a direct cable
    SimulatedScanner* scanner_ = nullptr; // the scanner on the open port; nullptr on a silent one
    bool open_ = false;
    std::string portName_;
    ChannelError lastError_ = ChannelError::None;
    int openCount_ = 0;
    std::uint32_t lastBaudRate_ = 0;
};

} // namespace orvexa
