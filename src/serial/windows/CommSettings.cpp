#include "serial/windows/CommSettings.h"

namespace orvexa {

CommState applyLineSettings(const CommState& reported, std::uint32_t baudRate, std::uint8_t byteSize,
                            std::uint8_t parity, std::uint8_t stopBits) {
    CommState state = reported;
    state.baudRate = baudRate;
    state.byteSize = byteSize;
    state.parity = parity;
    state.stopBits = stopBits;
    state.flags &= kNoFlowControlMask;
    return state;
}

std::uint32_t readLimitMs(std::int32_t count) {
    const auto n = static_cast<std::uint32_t>(count > 0 ? count : 0);
    return kCommTimeouts.readTotalMultiplier * n + kCommTimeouts.readTotalConstant;
}

std::uint32_t writeLimitMs(std::int32_t count) {
    const auto n = static_cast<std::uint32_t>(count > 0 ? count : 0);
    return kCommTimeouts.writeTotalMultiplier * n + kCommTimeouts.writeTotalConstant;
}

} // namespace orvexa
