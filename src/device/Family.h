// Which generation a scanner belongs to, from its reply to "M" alone.
#pragma once

#include "device/DeviceInfo.h"

namespace orvexa {

// The framed family (family code 'a', 'b' or 'c'), or a scanner that did not answer "M" or refused it:
// both are taken for the framed family.
bool isFramedFamily(const DeviceInfo& device);

} // namespace orvexa
