// orvexa-cli's line before Step 3 writes: which version goes over which ("3.09 on the scanner, 3.07
// carried: older"), so that a downgrade or a rewrite of the same firmware is never a surprise.
#pragma once

#include "device/DeviceInfo.h"
#include "firmware/FirmwarePackage.h"

#include <string>

namespace orvexa {

std::string versionReport(const DeviceInfo& device, const FirmwarePackage& package);

} // namespace orvexa
