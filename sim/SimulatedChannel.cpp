#include "SimulatedChannel.h"

#include <algorithm>

namespace orvexa {

namespace {
constexpr std::uint64_t kUsPerMs = 1000;
} // namespace

SimulatedChannel::SimulatedChannel(VirtualClock& clock, SimulatedPortHub& hub) : clock_(clock), hub_(&hub) {}

SimulatedChannel::SimulatedChannel(VirtualClock& clock, SimulatedScanner& scanner)
    : clock_(clock), cable_(&scanner), scanner_(&scanner), open_(true), portName_("cable") {}

SimulatedChannel::~SimulatedChannel() {
    SimulatedChannel::close();
}

void SimulatedChannel::close() {
    if (open_ && hub_ != nullptr) {
        hub_->release(portName_, this);
    }
    open_ = false;
    scanner_ = nullptr;
    portName_.clear();
}

bool SimulatedChannel::open(const std::string& portName, std::uint32_t baudRate, std::uint8_t, std::uint8_t,
                            std::uint8_t, std::uint32_t) {
    close();
    ++openCount_;
    lastBaudRate_ = baudRate;
    lastError_ = ChannelError::None;
    SimulatedScanner* scanner = cable_;
    if (hub_ != nullptr) {
        lastError_ = hub_->claim(portName, this, scanner);
    } else if (cable_->vanished()) {
        lastError_ = ChannelError::NoSuchPort;
    }
    if (lastError_ != ChannelError::None) {
        return false;
    }
    open_ = true;
    scanner_ = scanner;
    portName_ = portName;
    // Opening purges whatever had arrived and not been read.
    if (scanner_ != nullptr) {
        scanner_->discardArrived(clock_.nowUs());
    }
    return true;
}

std::int32_t SimulatedChannel::write(const std::uint8_t* buffer, std::int32_t count) {
    if (!open_ || count <= 0) {
        return 0;
    }
    if (scanner_ != nullptr && scanner_->lineLost(clock_.nowUs())) {
        lastError_ = ChannelError::LineLost;
        return 0;
    }
    if (scanner_ != nullptr) {
        scanner_->receive(buffer, static_cast<std::size_t>(count), clock_.nowUs());
    }
    return count;
}

std::int32_t SimulatedChannel::read(std::uint8_t* buffer, std::int32_t count) {
    if (!open_ || count <= 0) {
        return 0;
    }
    const std::uint64_t totalEndUs = clock_.nowUs() + (static_cast<std::uint64_t>(kReadTotalMultiplierMs) *
                                                           static_cast<std::uint64_t>(count) +
                                                       kReadTotalConstantMs) *
                                                          kUsPerMs;
    std::uint64_t endUs = totalEndUs;
    std::int32_t received = 0;
    while (received < count) {
        if (scanner_ != nullptr &&
            scanner_->lineLost(std::min(endUs, scanner_->nextDueUs().value_or(endUs)))) {
            lastError_ = ChannelError::LineLost;
            clock_.advanceToUs(endUs);
            break;
        }
        const std::optional<std::uint64_t> next = scanner_ ? scanner_->nextDueUs() : std::nullopt;
        if (!next || *next > endUs) {
            clock_.advanceToUs(endUs); // the total limit, or the interval after the last byte
            break;
        }
        clock_.advanceToUs(*next);
        const std::size_t taken =
            scanner_->takeDue(clock_.nowUs(), buffer + received, static_cast<std::size_t>(count - received));
        // The scanner may act without sending anything yet: only a byte starts the interval limit.
        if (taken > 0) {
            received += static_cast<std::int32_t>(taken);
            endUs =
                std::min(totalEndUs, clock_.nowUs() + static_cast<std::uint64_t>(kReadIntervalMs) * kUsPerMs);
        }
    }
    return received;
}

std::int32_t SimulatedChannel::readArrived(std::uint8_t* buffer, std::int32_t count) {
    if (!open_ || count <= 0 || scanner_ == nullptr) {
        return 0;
    }
    return static_cast<std::int32_t>(
        scanner_->takeDue(clock_.nowUs(), buffer, static_cast<std::size_t>(count)));
}

} // namespace orvexa
