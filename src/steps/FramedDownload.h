// Step 3 for a framed-family scanner: the whole download over the framed link, its progress, the closing
// of the channel and the final message.
#pragma once

#include "steps/StepContext.h"

namespace orvexa {

// The two texts that end every firmware transfer, framed or classic.
inline constexpr const char* kFirmwareErrorText =
    "Error was detected while upgrading Firmware!!\r\nPlease reset RDQ and update Firmware again.";
inline constexpr const char* kFirmwareUpdatedText =
    "Firmware updated sucessfully!!!\r\n\nPlease make sure to set factory default after restart RDQ";

// Writes the carried "UPDATE" container block by block in DeviceInfo's framedBlockSize. It refuses, with
// the error message and without sending anything, when no Step 2 has set a block size or the carried
// package is not a framed-family container. The channel is closed in every case.
void downloadFramed(StepContext& ctx);

} // namespace orvexa
