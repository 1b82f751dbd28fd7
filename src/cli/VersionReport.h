// orvexa-cli's line before Step 3 writes: which version goes over which ("3.09 on the scanner, 3.07
// carried: older"), so that a downgrade or a rewrite of the same firmware is never a surprise.
#pragma once

#include "device/DeviceInfo.h"
#include "firmware/FirmwarePackage.h"

#include <string>

namespace orvexa {

std::string versionReport(const DeviceInfo& device, const FirmwarePackage& package);

// "3.05" of a classic scanner's "3.05_200_A7UG", "00.03.0C" of a framed one's "F500_03_0C00".
std::string scannerVersion(const DeviceInfo& device);
// The version the package carries for this scanner's family, written as scannerVersion writes it.
std::string carriedVersion(const DeviceInfo& device, const FirmwarePackage& package);
// The verified scanner already runs the carried version: writing it again would change nothing.
bool holdsCarriedFirmware(const DeviceInfo& device, const FirmwarePackage& package);

} // namespace orvexa
