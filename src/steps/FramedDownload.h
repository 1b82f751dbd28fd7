// Step 3 for a framed-family scanner: the whole download over the framed link, its progress, the closing
// of the channel and the final message.
#pragma once

#include "steps/DownloadSession.h"
#include "steps/StepContext.h"

namespace orvexa {

// Writes the carried "UPDATE" container block by block in DeviceInfo's framedBlockSize. It refuses, with
// the error message and without sending anything, when no Step 2 has set a block size or the carried
// package is not a framed-family container. The channel is closed in every case.
void downloadFramed(StepContext& ctx);

} // namespace orvexa
