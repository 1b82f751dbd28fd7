// orvexa-cli's line before Step 3 writes: the scanner's version against the carried one, compared as
// versions, for both families and for a scanner in its bootloader.
#include "ScannerSession.h"
#include "TestContainer.h"
#include "cli/VersionReport.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvexa;

namespace {

DeviceInfo classic(const char* firmwareText) {
    DeviceInfo device;
    setText(device.modelText, "RDQ200A7UG");
    setText(device.firmwareText, firmwareText);
    return device;
}

} // namespace

TEST(VersionReport, ClassicScannerVersionAgainstTheCarriedIdentity) {
    const FirmwarePackage package("M307_200_A7UG", {});
    EXPECT_EQ(versionReport(classic("3.09_200_A7UG"), package), "3.09 on the scanner, 3.07 carried: older");
    EXPECT_EQ(versionReport(classic("3.05_200_A7UG"), package), "3.05 on the scanner, 3.07 carried: newer");
    EXPECT_EQ(versionReport(classic("3.07_200_A7UG"), package),
              "3.07 on the scanner, 3.07 carried: the same");
    EXPECT_EQ(versionReport(classic("2.10_200_A7UG"), package), "2.10 on the scanner, 3.07 carried: newer");
    EXPECT_EQ(versionReport(classic("Bootloader v00"), package),
              "The scanner runs its bootloader (no working firmware), 3.07 carried");
    EXPECT_EQ(versionReport(classic("beta-x"), package), "beta-x on the scanner, 3.07 carried");
}

TEST(VersionReport, FramedScannerFirmwareAgainstTheContainers) {
    FirmwarePackage package("M500_500_B2WW", testContainer());
    DeviceInfo device;
    setText(device.modelText, "RDa500B2WW");
    setText(device.firmwareText, "F500_03_0C00");
    package.readContainerVersions(device); // "00.04.05": the scanner's first field, then the container's
    EXPECT_EQ(versionReport(device, package), "00.03.0C on the scanner, 00.04.05 carried: newer");
}
