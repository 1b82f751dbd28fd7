// The classic family's character command link: single ASCII letters, each written by itself and most
// followed by a pause; answers are a verdict byte ('@' accepted, '!' refused), a fixed-length reply, or
// a free-length text ended by silence. Every wait is bounded by a Deadline or a poll count. The link
// shows no messages: it fills DeviceInfo and returns results to the steps.
//
// The pauses are fixed and never shortened when the scanner answers early: the scanner takes each
// command letter on its own, at the pace it was built for. Where the original exchange has no end while bytes
// keep coming (the drains, collectText), a bound of our own stops it; none of these bounds touches a normal
// reply.
//
// A lost line (the port hung up or vanished) ends every wait at once: nothing more can come, and a
// scanner that was unplugged must not cost the user a 20-second ping. Command letters are then neither
// written nor paced. The caller asks lineLost() to tell the user why.
#pragma once

#include "device/DeviceInfo.h"
#include "device/LineReader.h"
#include "serial/Clock.h"
#include "serial/SerialChannel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvexa {

// Does a scanner answer "W" with "@" on this channel within 1000 ms (Step 1's probe)?
bool probeDevice(SerialChannel& channel, Clock& clock);

// The port hung up or vanished while it was open.
inline bool lineLost(const SerialChannel& channel) {
    return channel.lastError() == ChannelError::LineLost;
}

class CommandLink {
public:
    // The letters of the link.
    static constexpr char kPing = 'W';
    static constexpr char kAccepted = '@';
    static constexpr char kRefused = '!';

    // Pauses, in milliseconds. The scanner reads each command letter on its own; these give it time to.
    static constexpr std::uint32_t kCommandPauseMs = 100;     // after each command letter
    static constexpr std::uint32_t kPingPauseMs = 200;        // after each "W" of the ping, before reading
    static constexpr std::uint32_t kDrainPauseMs = 100;       // between two bytes of a drain with pauses
    static constexpr std::uint32_t kModelRetryPauseMs = 1000; // after a failed "M" attempt

    // Time limits, in milliseconds, each on a Deadline tested after every read.
    static constexpr std::uint32_t kProbeLimitMs = 1000;          // Step 1 tries every port: keep it short
    static constexpr std::uint32_t kPingLimitMs = 20000;          // a scanner waking from sleep is slow
    static constexpr std::uint32_t kGpsAttemptLimitMs = 2000;     // per "G","s" attempt
    static constexpr std::uint32_t kModelAttemptLimitMs = 2000;   // per "M" attempt
    static constexpr std::uint32_t kExternalMemoryLimitMs = 2000; // whole "G","F","Q" query
    static constexpr std::uint32_t kItLimitMs = 1000;             // whole "I","t" query
    static constexpr std::uint32_t kFontSupportLimitMs = 1000;    // after "GnOLG" was sent
    static constexpr std::uint32_t kGwQLimitMs = 1000;            // after "GwQ" was sent

    // Attempts. "G","s" always runs both unless refused; the second reply is the one that counts.
    static constexpr int kGpsAttempts = 2;
    static constexpr int kModelAttempts = 2;

    // Reply lengths, in bytes.
    static constexpr std::size_t kModelReplyLength = 10;
    static constexpr std::size_t kShortReplyLength = 5; // 4 data bytes, then '@'

    // collectText's polls: it waits up to 100 polls for the first byte and ends after 20 quiet polls,
    // each one read plus kCollectPollPauseMs (so a silent scanner costs about 3 s).
    static constexpr int kCollectFirstByteCountdown = 99;
    static constexpr int kCollectQuietCountdown = 20;
    static constexpr std::uint32_t kCollectPollPauseMs = 10;

    // Bounds against a scanner that never stops sending. A normal text reply is at most 32 bytes and
    // over within about a second (0.3 s of bytes, 0.6 s of quiet end), so 3 s after the first byte
    // touches no normal reply; a babbler is cut off there and its text is what fitted the field.
    static constexpr std::uint32_t kCollectTextLimitMs = 3000;
    // A drain finds at most the tail of one reply in normal use (a few bytes, never more than the
    // 109-byte framed version reply). 512 bytes or 3 s, whichever comes first, stops a babbler; with
    // pauses the 3 s come first (about 25 bytes at 100 ms each, far more than any normal leftover).
    static constexpr std::size_t kDrainMaxBytes = 512;
    static constexpr std::uint32_t kDrainLimitMs = 3000;

    CommandLink(SerialChannel& channel, Clock& clock, DeviceInfo& device)
        : channel_(channel), clock_(clock), device_(device) {}

    enum class Ping { Answered, Unanswered };
    // Answered when the scanner said "@" to "W" within 20000 ms.
    Ping pingDevice();

    // Reads and throws away what the scanner has already sent: with pauses, 100 ms after each byte;
    // without, until the first read that returns nothing. Both stop at their bound (see above).
    void drainWithPauses();
    void drainWithoutPauses();
    // Drains, then writes each character alone followed by a 100 ms pause.
    void sendPaced(std::string_view text);
    // Gathers a free-length reply into a text field; the last received byte is overwritten by the zero.
    // Bytes beyond the field are read and dropped. A reply of nothing leaves the field as it was.
    // Returns the number of bytes received, stored or not.
    std::size_t collectText(char* field, std::size_t capacity);
    template <std::size_t N> std::size_t collectText(std::array<char, N>& field) {
        return collectText(field.data(), N);
    }

    // Fills firmwareText and firmwareInfoText; true when "V" got a reply in this run, so that a caller
    // can tell a fresh firmwareText from one an earlier scanner left behind.
    bool queryVersion();
    // Fills modelText; true when the last attempt got at least one byte, so that modelText holds what
    // the scanner sent rather than the zeros of no reply at all.
    bool queryModel();
    bool queryGps();
    bool queryExternalMemory();
    bool queryIt();
    bool queryFontSupport();
    bool queryGwQ();
    bool queryBootloader();

    // The verdict of a five-byte reply ("Gs", "GnOLG", the flash type's query): '!' as the first byte
    // refuses at once, '@' as the fifth accepts; anything else waits out the limit, which starts here.
    // The bytes go into `reply`; bytes past the fifth are read and dropped.
    enum class ShortReply { Refused, Accepted, NoVerdict };
    ShortReply awaitShortReply(std::array<std::uint8_t, kShortReplyLength>& reply, std::uint32_t limitMs);
    // One one-byte read in a wait that ends only at its limit; on a closed channel it takes as long as
    // a silent read, so that the wait still ends on any clock.
    bool awaitByte(std::uint8_t& byte);

    bool lineLost() const { return orvexa::lineLost(channel_); }

    SerialChannel& channel() { return channel_; }
    Clock& clock() { return clock_; }
    DeviceInfo& device() { return device_; }

private:
    // One command letter in one write, then its pause (0 for none).
    void sendCommand(char letter, std::uint32_t pauseMs);
    // One one-byte read; true when a byte arrived.
    bool readByte(std::uint8_t& byte);
    // Sends the query, each letter paced, again in every pass until a verdict byte arrives: '@' gives
    // true, '!' false, and nothing once the limit (started before the first send) has passed.
    std::optional<bool> askForVerdict(std::string_view query, std::uint32_t limitMs);

    SerialChannel& channel_;
    Clock& clock_;
    DeviceInfo& device_;
};

} // namespace orvexa
