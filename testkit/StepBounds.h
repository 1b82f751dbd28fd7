// The longest each step may take on a scanner that answers badly or not at all, in virtual milliseconds,
// summed from the limits and pauses the code itself declares. A wait tests its limit after each read, so
// each one may overrun its limit by one pass (a read on a silent line plus the pause of that pass); every
// sum below charges that pass once per wait, plus a millisecond for the tick rounding.
//
// Shared by the scanner fuzzer and the fault matrix: whatever the scanner does, a step that ends later
// than its bound has a wait without a limit somewhere.
#pragma once

#include "device/CommandLink.h"
#include "fonts/FlashWriter.h"
#include "serial/SerialChannel.h"
#include "steps/ClassicDownload.h"

#include <cstdint>

namespace orvexa::bounds {

using L = CommandLink;

// One one-byte read that finds nothing: 10 ms per byte plus 10 ms.
inline constexpr std::uint64_t kRead = kReadTotalMultiplierMs + kReadTotalConstantMs;
inline constexpr std::uint64_t kRounding = 1;

constexpr std::uint64_t wait(std::uint64_t limitMs, std::uint64_t passMs) {
    return limitMs + passMs + kRounding;
}

inline constexpr std::uint64_t kPing = wait(L::kPingLimitMs, L::kPingPauseMs + kRead);
inline constexpr std::uint64_t kDrainWithPauses = wait(L::kDrainLimitMs, L::kDrainPauseMs + kRead);
inline constexpr std::uint64_t kDrainWithoutPauses = wait(L::kDrainLimitMs, kRead);
// Up to 100 polls for the first byte, then at most the babbler's cut-off after it.
inline constexpr std::uint64_t kCollectText =
    (L::kCollectFirstByteCountdown + 1) * (kRead + L::kCollectPollPauseMs) +
    wait(L::kCollectTextLimitMs, kRead + L::kCollectPollPauseMs);
constexpr std::uint64_t sendPaced(std::uint64_t letters) {
    return kDrainWithPauses + letters * L::kCommandPauseMs;
}

// Step 2 up to the family decision, then the longer of its two branches.
inline constexpr std::uint64_t kStep2Common =
    kPing + L::kGpsAttempts * (2 * L::kCommandPauseMs + wait(L::kGpsAttemptLimitMs, kRead)) + //
    L::kCommandPauseMs + kCollectText + 2 * L::kCommandPauseMs + kCollectText +               //
    kDrainWithoutPauses + L::kModelAttempts * (wait(L::kModelAttemptLimitMs, kRead) + L::kModelRetryPauseMs) +
    kDrainWithPauses + sendPaced(3) + wait(L::kGwQLimitMs, kRead);
// The framed link's own limits (drain, 2000 ms version reply), kept in FramedLink.cpp.
inline constexpr std::uint64_t kFramedDrain = wait(3000, kRead);
inline constexpr std::uint64_t kFramedVersions = kFramedDrain + wait(2000, kRead);
inline constexpr std::uint64_t kStep2Classic =
    kDrainWithPauses + wait(L::kItLimitMs, 2 * L::kCommandPauseMs + kRead) + //
    kDrainWithPauses + sendPaced(5) + wait(L::kFontSupportLimitMs, kRead) +  //
    wait(L::kExternalMemoryLimitMs, 3 * L::kCommandPauseMs + kRead);
inline constexpr std::uint64_t kStep2 =
    kStep2Common + (kStep2Classic > kFramedVersions ? kStep2Classic : kFramedVersions);

// Step 3, classic: the bootloader query, the optional pages and fonts (`chunks` flash chunks), the start
// sequence and its fallback, and `frameSends` frames, each waiting at most the frame-reply limit.
inline constexpr std::uint64_t kBootloaderQuery =
    kPing + kDrainWithoutPauses + 2 * L::kCommandPauseMs + kCollectText;
inline constexpr std::uint64_t kFlashTypeQuery =
    kDrainWithoutPauses + FlashWriter::kFlashTypeAttempts *
                              (3 * L::kCommandPauseMs + wait(FlashWriter::kFlashTypeAttemptLimitMs, kRead));
inline constexpr std::uint64_t kChunk =
    wait(FlashWriter::kChunkAckLimitMs, kRead + FlashWriter::kChunkAckPollPauseMs);
inline constexpr std::uint64_t kStartSequence =
    kPing + 3 * L::kCommandPauseMs + classic::kStartReads * (kRead + classic::kStartPollPauseMs) + //
    kPing + L::kCommandPauseMs + classic::kFallbackReads * (kRead + classic::kStartPollPauseMs);
inline constexpr std::uint64_t kFrame = wait(classic::kFrameReplyLimitMs, kRead);

constexpr std::uint64_t step3Classic(std::uint64_t chunks, std::uint64_t frameSends) {
    const std::uint64_t fonts = chunks == 0 ? 0 : kFlashTypeQuery + 2 * sendPaced(5) + chunks * kChunk;
    return kBootloaderQuery + fonts + kStartSequence + L::kCommandPauseMs + frameSends * kFrame +
           classic::kClosingPauseMs;
}

// The most frames a run can send for `blocks` blocks: every "X" restores ten resends, and a spent count
// passes the refused block over.
constexpr std::uint64_t worstFrameSends(std::uint64_t blocks) {
    return blocks * (classic::kRetries + 1) + classic::kRetries;
}

// Step 3, framed: the start request (wake-up pings for 3000 ms, of which the last may run its full
// 20 s, the drain with pauses, 5000 ms for the reply, 500 ms to settle), then per block a drain and the
// 5000 ms reply limit. The framed limits live in FramedLink.cpp.
inline constexpr std::uint64_t kFramedStart =
    3000 + kPing + 500 + wait(3000, 100 + kRead) + wait(5000, kRead) + 500;
inline constexpr std::uint64_t kFramedBlock = kFramedDrain + wait(5000, kRead);

constexpr std::uint64_t step3Framed(std::uint64_t blocks) {
    return kFramedStart + blocks * kFramedBlock;
}

} // namespace orvexa::bounds
