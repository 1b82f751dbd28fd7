// Step 2's decisions, apart from the dialog: whether the carried firmware may be written to a classic
// scanner, and the texts Step 2 shows.
#pragma once

#include "device/CommandLink.h"
#include "firmware/FirmwarePackage.h"

namespace orvexa {

// The compatibility verdict, with the values the original used.
enum class Compatibility {
    Fits = 0,                  // the carried firmware may be written
    Misfit = 1,                // it does not fit this scanner
    ExternalMemoryUnknown = 2, // the scanner cannot tell whether it has external memory
};

// Judges the scanner's firmwareText (and firmwareInfoText) against the carried identity. May ask the
// scanner about its external memory, which closes the channel when the scanner stays silent.
Compatibility checkCompatibility(CommandLink& link, const FirmwarePackage& package);

inline constexpr const char* kVerificationFailedText = "RDQ Verification Failed!!!";
inline constexpr const char* kGpsRefusedText =
    "This firmware doesn't support GPS.\r\nPlease keep using current version.";
inline constexpr const char* kMisfitText =
    "This firmware can't run properly on this RDQ.\r\nPlease use correct firmware version.";
inline constexpr const char* kExternalMemoryUnknownText =
    "Can't identify if this RDQ has external memory.\r\nPlease try again after upgrade to the latest 2.8x "
    "version.";
inline constexpr const char* kWrongFramedFirmwareText = "Wrong RDQ500 Firmware!!!";
inline constexpr const char* kFontNeedsFirmwareText =
    "Please download font after supported firmware is installed !!!";

} // namespace orvexa
