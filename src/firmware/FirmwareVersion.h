// Which firmware version a scanner runs, which one the package carries for it, and whether the scanner
// already holds it: what decides whether a fleet writes a scanner, and what orvexa-cli's version line
// tells before Step 3 writes.
#pragma once

#include "device/DeviceInfo.h"
#include "firmware/FirmwarePackage.h"

#include <compare>
#include <optional>
#include <string>

namespace orvexa {

// "3.05" of a classic scanner's "3.05_200_A7UG", "00.03.0C" of a framed one's "F500_03_0C00".
std::string scannerVersion(const DeviceInfo& device);
// The version the package carries for this scanner's family, written as scannerVersion writes it.
std::string carriedVersion(const DeviceInfo& device, const FirmwarePackage& package);
// Two versions compared field by field ("3.05" before "3.10"); nothing when either is not dot-separated
// hexadecimal fields.
std::optional<std::strong_ordering> compareVersions(const std::string& left, const std::string& right);
// The verified scanner already runs the carried version: writing it again would change nothing.
bool holdsCarriedFirmware(const DeviceInfo& device, const FirmwarePackage& package);

} // namespace orvexa
