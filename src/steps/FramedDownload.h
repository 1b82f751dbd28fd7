// Step 3 for a framed-family scanner: the whole download over the framed link, its progress, the closing
// of the channel and the final message.
#pragma once

#include "steps/StepContext.h"

namespace orvexa {

void downloadFramed(StepContext& ctx);

} // namespace orvexa
