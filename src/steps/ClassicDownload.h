// Step 3 for a classic scanner: the bootloader decisions, the optional language pages and fonts, the
// confirmations, the start sequence that puts the scanner into download mode, the image in 256-byte
// frames, the closing frame and the final message.
//
//   bootloader question -> path choice (may ask, refuse or cancel) -> fonts -> confirmations
//     -> start sequence ("X" or end: no download mode) -> "H","H" -> frames, one reply each
//     -> (scanner silent: error, no closing frame) -> 1000 ms -> "R" frame -> close -> final message
#pragma once

#include "steps/StepContext.h"

#include <cstdint>

namespace orvexa {

namespace classic {
// The reply letters to a frame.
inline constexpr std::uint8_t kAccepted = 'X';
inline constexpr std::uint8_t kCrcError = 'C';
inline constexpr std::uint8_t kOverrun = 'O';

// Resends after "C" or "O", counted since the last "X".
inline constexpr int kRetries = 10;

// The longest wait for a frame's reply. A scanner erases the flash it is about to write when the first
// frame (or the first frame of a new flash sector) arrives, and a whole-chip erase of the NOR flash these
// scanners carry takes several seconds, typically under ten. 20 s is the longest wait the link grants
// anywhere (a scanner waking from sleep for the ping), so a scanner that erases gets through, and one
// that stopped answering is given up on in bounded time.
inline constexpr std::uint32_t kFrameReplyLimitMs = 20000;

// Pauses, in milliseconds.
inline constexpr std::uint32_t kStartPollPauseMs = 100; // after each read that brought no "X"
inline constexpr std::uint32_t kClosingPauseMs = 1000;  // lets the scanner finish the last block

// How often the start sequence and its fallback read for the "X".
inline constexpr int kStartReads = 31;
inline constexpr int kFallbackReads = 50;
} // namespace classic

void classicDownload(StepContext& ctx);

} // namespace orvexa
