// Step 3 for a classic scanner: the bootloader decisions, the optional language pages and fonts, the
// confirmations, then the image over the classic link (start sequence, 256-byte frames, closing frame),
// and the final message. What each reply means is decided here; the letters are the link's.
//
//   bootloader question -> path choice (may ask, refuse or cancel) -> fonts -> confirmations
//     -> start sequence ("X" or end: no download mode) -> "H","H" -> frames, one reply each
//     -> (scanner silent: error, no closing frame) -> 1000 ms -> "R" frame -> close -> final message
#pragma once

#include "firmware/ClassicLink.h"
#include "steps/StepContext.h"

#include <cstdint>

namespace orvexa {

namespace classic {
// Resends after "C" or "O", counted since the last "X".
inline constexpr int kRetries = 10;
} // namespace classic

void classicDownload(StepContext& ctx);

} // namespace orvexa
