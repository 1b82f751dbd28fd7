// Whether a scanner already holds the carried firmware, which decides whether a fleet writes it: compared
// as versions, never for a scanner in its bootloader, for both families.
#include "ScannerSession.h"
#include "TestContainer.h"

#include "firmware/FirmwareVersion.h"

#include <gtest/gtest.h>

namespace orvexa {
namespace {

DeviceInfo scanner(const char* model, const char* firmware) {
    DeviceInfo device;
    setText(device.modelText, model);
    setText(device.firmwareText, firmware);
    return device;
}

TEST(FirmwareVersion, AScannerHoldsTheCarriedFirmwareOnlyWhenItsVersionIsTheSame) {
    const FirmwarePackage classic("M307_200_A7UG", {});
    FirmwarePackage framed("M500_500_B2WW", testContainer());
    const DeviceInfo framedScanner = scanner("RDa500B2WW", "F500_04_0500");
    framed.readContainerVersions(framedScanner); // carries 00.04.05
    const struct {
        DeviceInfo device;
        const FirmwarePackage& package;
        bool holds;
    } cases[] = {
        {scanner("RDQ200A7UG", "3.07_200_A7UG"), classic, true},
        {scanner("RDQ200A7UG", "3.7_200_A7UG"), classic, true}, // the same version, written shorter
        {scanner("RDQ200A7UG", "3.09_200_A7UG"), classic, false},
        {scanner("RDQ200A7UG", "Bootloader v00"), classic, false},
        {scanner("RDQ200A7UG", "beta-x"), classic, false},
        {framedScanner, framed, true},
        {scanner("RDa500B2WW", "F500_03_0C00"), framed, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(textOf(c.device.firmwareText));
        EXPECT_EQ(holdsCarriedFirmware(c.device, c.package), c.holds);
    }
}

TEST(FirmwareVersion, OnlyTheWholeMarkAtTheStartSaysTheScannerRunsItsBootloader) {
    EXPECT_TRUE(runsBootloader(scanner("RDQ200A7UG", "Bootloader v00")));
    EXPECT_TRUE(runsBootloader(scanner("RDQ200A7UG", "Bootloader")));
    EXPECT_FALSE(runsBootloader(scanner("RDQ200A7UG", "Bootloade")));
    EXPECT_FALSE(runsBootloader(scanner("RDQ200A7UG", "bootloader v00")));
    EXPECT_FALSE(runsBootloader(scanner("RDQ200A7UG", " Bootloader")));
}

} // namespace
} // namespace orvexa
