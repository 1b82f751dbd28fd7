// The classic family's firmware exchange over the command link: the start sequence that puts the
// scanner into download mode, the "H","H" before the first frame, one frame with its one-letter reply,
// and the closing frame. The link says what came back; the download step decides what it means.
//
//   wake (ping) -> enterDownloadMode: "I","E","I","T"|"u", up to 31 reads for "X"
//                    -> no "X": ping, "I","U", up to 50 reads for "X" -> no "X": NoX
//               -> beginFrames: "H","H" -> sendFrame, one reply each ... -> sendClosingFrame
//
// A lost line or a closed channel ends every wait at once: nothing more can come on either.
#pragma once

#include "device/CommandLink.h"
#include "firmware/BlockFrame.h"

#include <cstdint>

namespace orvexa {

namespace classic {
// The start sequence is made of two-letter commands, each opened by "I" as in "I","B": "I","E", then
// "I","T" where the scanner took "I","t" in Step 2 or "I","u" where it did not; "I","U" is the fallback.
inline constexpr char kPrefix = 'I';
inline constexpr char kStartFirst = 'E';
inline constexpr char kStartWithIt = 'T';
inline constexpr char kStartWithoutIt = 'u';
inline constexpr char kStartFallback = 'U';
// Sent twice between download mode and the first frame; nothing is awaited.
inline constexpr char kBeforeFrames = 'H';

// The reply letters to the start sequence and to a frame.
inline constexpr std::uint8_t kAccepted = 'X';
inline constexpr std::uint8_t kCrcError = 'C';
inline constexpr std::uint8_t kOverrun = 'O';

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

class ClassicLink {
public:
    enum class Start { Ready, NoX, LineLost };
    enum class Reply { Arrived, Silent, LineLost };

    explicit ClassicLink(CommandLink& link) : link_(link), channel_(link.channel()), clock_(link.clock()) {}

    // Pings the scanner awake; false when the line is gone (lost or closed). Nothing the scanner keeps
    // is changed yet.
    bool wake();
    // The letters that change the scanner, then the wait for its "X", with the fallback when none came.
    Start enterDownloadMode(bool itAccepted);
    // "H","H": the first frame follows at once.
    void beginFrames();
    // Writes the frame and reads its one-letter reply within kFrameReplyLimitMs.
    Reply sendFrame(const BlockFrame& frame, std::uint8_t& reply);
    // After the closing pause, the "R" frame carrying the number after the last block; no reply is read.
    void sendClosingFrame(std::uint16_t blockNumber);

private:
    bool gone() const;
    Start waitForAccepted(int reads);
    // One letter in one write, then its pause (0 for none). Written even on a lost line, as it always was.
    void send(char letter, std::uint32_t pauseMs);

    CommandLink& link_;
    SerialChannel& channel_;
    Clock& clock_;
};

} // namespace orvexa
