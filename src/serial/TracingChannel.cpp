#include "serial/TracingChannel.h"

#include <algorithm>
#include <cstdio>

namespace orvexa {

namespace {

constexpr std::int32_t kBytesPerLine = 16;
constexpr int kStampWidth = 9;
constexpr int kLabelWidth = 6;

} // namespace

const char* channelErrorName(ChannelError error) {
    switch (error) {
    case ChannelError::None:
        return "ok";
    case ChannelError::NoSuchPort:
        return "no such port";
    case ChannelError::PermissionDenied:
        return "permission denied";
    case ChannelError::Busy:
        return "busy";
    case ChannelError::LineLost:
        return "line lost";
    case ChannelError::NotSerialPort:
        return "not a serial port";
    case ChannelError::Other:
        return "error";
    }
    return "error";
}

WireTrace::WireTrace(std::ostream& out, Clock& clock)
    : out_(out), clock_(clock), startTickMs_(clock.tickMs()) {}

void WireTrace::stamp(const std::string& channel) {
    // Unsigned difference: right across a wrap of the 32-bit tick as well.
    const std::uint32_t elapsed = clock_.tickMs() - startTickMs_;
    char head[64];
    std::snprintf(head, sizeof head, "%*u ms  %-*s ", kStampWidth, elapsed, kLabelWidth, channel.c_str());
    out_ << head;
}

void WireTrace::event(const std::string& channel, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    stamp(channel);
    out_ << text << '\n';
    out_.flush();
}

void WireTrace::bytes(const std::string& channel, char direction, const std::uint8_t* data,
                      std::int32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::int32_t start = 0; start < count; start += kBytesPerLine) {
        const std::int32_t end = std::min(count, start + kBytesPerLine);
        std::string hex;
        std::string ascii;
        for (std::int32_t i = start; i < end; ++i) {
            char cell[4];
            std::snprintf(cell, sizeof cell, "%02X ", data[i]);
            hex += cell;
            ascii += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
        }
        hex.resize(kBytesPerLine * 3, ' ');
        stamp(channel);
        out_ << direction << "  " << hex << ' ' << ascii << '\n';
    }
    out_.flush();
}

TracingChannel::TracingChannel(std::unique_ptr<SerialChannel> inner, WireTrace& trace, std::string label)
    : inner_(std::move(inner)), trace_(trace), label_(std::move(label)) {}

std::int32_t TracingChannel::write(const std::uint8_t* buffer, std::int32_t count) {
    const std::int32_t written = inner_->write(buffer, count);
    trace_.bytes(label_, '>', buffer, std::max<std::int32_t>(written, 0));
    if (written < count) {
        trace_.event(label_, "write: " + std::to_string(std::max<std::int32_t>(written, 0)) + " of " +
                                 std::to_string(count) + " bytes sent");
    }
    return written;
}

std::int32_t TracingChannel::read(std::uint8_t* buffer, std::int32_t count) {
    const std::int32_t got = inner_->read(buffer, count);
    if (got > 0) {
        trace_.bytes(label_, '<', buffer, got);
    }
    return got;
}

std::int32_t TracingChannel::readArrived(std::uint8_t* buffer, std::int32_t count) {
    const std::int32_t got = inner_->readArrived(buffer, count);
    if (got > 0) {
        trace_.bytes(label_, '<', buffer, got);
    }
    return got;
}

void TracingChannel::close() {
    if (inner_->isOpen()) {
        trace_.event(label_, "close");
    }
    inner_->close();
}

bool TracingChannel::open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
                          std::uint8_t parity, std::uint8_t stopBits, std::uint32_t access) {
    // The open closes first; say so, as the inner channel would do it silently.
    TracingChannel::close();
    const bool opened = inner_->open(portName, baudRate, byteSize, parity, stopBits, access);
    trace_.event(label_,
                 "open " + portName +
                     (opened ? "" : std::string(" failed: ") + channelErrorName(inner_->lastError())));
    return opened;
}

} // namespace orvexa
