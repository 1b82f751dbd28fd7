// The wire trace (orvexa-cli --trace FILE): every byte written and read on a channel, with a millisecond
// time stamp and its direction, as a hex and ASCII transcript. It wraps any SerialChannel, so that the
// protocol code stays free of logging and the trace shows exactly what crossed the channel's interface.
//
//      12 ms  probe  open /dev/ttyUSB0
//      12 ms  probe  >  57                                                W
//      32 ms  probe  <  40                                                @
//      32 ms  probe  close
//
// Reads that time out with nothing are not written: a silent port would otherwise fill the trace with
// empty lines, and the gap between two time stamps already shows the wait.
#pragma once

#include "serial/Clock.h"
#include "serial/SerialChannel.h"

#include <memory>
#include <mutex>
#include <ostream>
#include <string>

namespace orvexa {

// One transcript, shared by every channel that writes into it, from any thread (a fleet's workers): each
// event's lines are written whole.
class WireTrace {
public:
    WireTrace(std::ostream& out, Clock& clock);

    void event(const std::string& channel, const std::string& text);
    // direction: '>' written to the scanner, '<' read from it.
    void bytes(const std::string& channel, char direction, const std::uint8_t* data, std::int32_t count);

private:
    void stamp(const std::string& channel);

    std::ostream& out_;
    Clock& clock_;
    std::uint32_t startTickMs_;
    std::mutex mutex_;
};

class TracingChannel : public SerialChannel {
public:
    TracingChannel(std::unique_ptr<SerialChannel> inner, WireTrace& trace, std::string label);

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t readArrived(std::uint8_t* buffer, std::int32_t count) override;
    bool isOpen() const override { return inner_->isOpen(); }
    void close() override;
    bool open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity,
              std::uint8_t stopBits, std::uint32_t access) override;
    ChannelError lastError() const override { return inner_->lastError(); }

private:
    std::unique_ptr<SerialChannel> inner_;
    WireTrace& trace_;
    std::string label_;
};

// A short word for a ChannelError, for traces and port lists.
const char* channelErrorName(ChannelError error);

} // namespace orvexa
