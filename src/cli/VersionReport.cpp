#include "cli/VersionReport.h"

#include "firmware/FirmwareVersion.h"

namespace orvexa {

std::string versionReport(const DeviceInfo& device, const FirmwarePackage& package) {
    const std::string carried = carriedVersion(device, package);
    if (runsBootloader(device)) {
        return "The scanner runs its bootloader (no working firmware), " + carried + " carried";
    }
    const std::string onScanner = scannerVersion(device);
    const std::string line = onScanner + " on the scanner, " + carried + " carried";
    const std::optional<std::strong_ordering> order = compareVersions(carried, onScanner);
    if (!order) {
        return line;
    }
    if (*order < 0) {
        return line + ": older";
    }
    return line + (*order == 0 ? ": the same" : ": newer");
}

} // namespace orvexa
