#include "device/DeviceInfo.h"

#include <cstring>

namespace orvexa {

namespace {
constexpr char kBootloaderMark[] = "Bootloader";
constexpr std::size_t kBootloaderMarkLength = sizeof(kBootloaderMark) - 1;
static_assert(kBootloaderMarkLength <= std::tuple_size_v<decltype(DeviceInfo::firmwareText)>);
} // namespace

bool runsBootloader(const DeviceInfo& device) {
    return std::memcmp(device.firmwareText.data(), kBootloaderMark, kBootloaderMarkLength) == 0;
}

} // namespace orvexa
