// The three steps of the workflow, as the dialog's buttons, keys and the Silent-mode chain run them.
// Each runs synchronously to its end and tells the user everything through ctx.window.
#pragma once

#include "steps/StepContext.h"

namespace orvexa {

// Step 1: find the port on which a scanner answers and open it on the main channel.
void portSelection(StepContext& ctx);
// Step 2: learn what the scanner is and whether the carried firmware may be written to it.
void verifyDevice(StepContext& ctx);
// Step 3: write the carried firmware (and, when asked, the language pages and fonts).
void firmwareDownload(StepContext& ctx);

} // namespace orvexa
