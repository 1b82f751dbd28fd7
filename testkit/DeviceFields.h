// Whether a reply stayed inside its field of the tool's record of the scanner: a record patterned byte by
// byte, so that a byte written anywhere else shows, and comparisons of the record field by field.
#pragma once

#include "device/DeviceInfo.h"

#include <cstring>

namespace orvexa {

inline DeviceInfo patternedDevice(unsigned char seed = 0xA5) {
    DeviceInfo device;
    auto* bytes = reinterpret_cast<unsigned char*>(&device);
    for (std::size_t i = 0; i < sizeof device; ++i) {
        bytes[i] = static_cast<unsigned char>(seed ^ (i * 7));
    }
    return device;
}

// `after` is `before` but for the given fields, byte for byte.
template <class... Fields>
bool onlyFieldsChanged(const DeviceInfo& before, const DeviceInfo& after, Fields DeviceInfo::*... fields) {
    DeviceInfo expected = before;
    ((expected.*fields = after.*fields), ...);
    return std::memcmp(&expected, &after, sizeof after) == 0;
}

// The given fields hold the same bytes in both.
template <class... Fields>
bool sameFields(const DeviceInfo& a, const DeviceInfo& b, Fields DeviceInfo::*... fields) {
    return ((std::memcmp(&(a.*fields), &(b.*fields), sizeof(a.*fields)) == 0) && ...);
}

} // namespace orvexa
