#include "device/CommandLink.h"

#include "device/LineReader.h"
#include "serial/Deadline.h"

#include <algorithm>

namespace orvexa {

namespace {

// The queries' command letters, each sent alone and followed by CommandLink::kCommandPauseMs.
constexpr std::string_view kGpsQuery = "Gs";
constexpr std::string_view kVersionQuery = "V";
constexpr std::string_view kVersionInfoQuery = "Iv";
constexpr char kModelQuery = 'M';
constexpr std::string_view kExternalMemoryQuery = "GFQ";
constexpr std::string_view kItQuery = "It";
constexpr std::string_view kFontSupportQuery = "GnOLG";
constexpr std::string_view kGwQQuery = "GwQ";
constexpr std::string_view kBootloaderQuery = "IB";

// modelText[2] codes of the scanners that answer "GwQ" without being asked.
constexpr char kGwQFamilyZ = 'Z';
constexpr char kGwQFamilyX = 'X';
// Only firmware whose model digits (firmwareText[5], [6]) are "35" is asked "GwQ".
constexpr char kGwQModelDigit5 = '3';
constexpr char kGwQModelDigit6 = '5';
// Firmware of major version 3 always has external memory; it is not asked.
constexpr char kMajorVersion3 = '3';
// bootloaderText[0] when the scanner has a bootloader.
constexpr char kBootloaderMark = 'v';

bool isVerdict(std::uint8_t byte, char verdict) {
    return byte == static_cast<std::uint8_t>(verdict);
}

} // namespace

bool probeDevice(SerialChannel& channel, Clock& clock) {
    Deadline limit(clock);
    limit.start(CommandLink::kProbeLimitMs);
    for (;;) {
        line::sendLetter(channel, clock, CommandLink::kPing, 0);
        std::uint8_t byte = 0;
        if (line::awaitByte(channel, clock, byte) && isVerdict(byte, CommandLink::kAccepted)) {
            return true;
        }
        if (limit.expired() || lineLost(channel)) {
            return false;
        }
    }
}

void CommandLink::sendCommand(char letter, std::uint32_t pauseMs) {
    if (lineLost()) {
        return; // nobody is there to take the letter, nor to need the pause after it
    }
    line::sendLetter(channel_, clock_, letter, pauseMs);
}

bool CommandLink::readByte(std::uint8_t& byte) {
    return line::readByte(channel_, byte);
}

bool CommandLink::awaitByte(std::uint8_t& byte) {
    return line::awaitByte(channel_, clock_, byte);
}

CommandLink::Ping CommandLink::pingDevice() {
    Deadline limit(clock_);
    limit.start(kPingLimitMs);
    for (;;) {
        sendCommand(kPing, kPingPauseMs);
        std::uint8_t byte = 0;
        if (readByte(byte) && isVerdict(byte, kAccepted)) {
            return Ping::Answered;
        }
        if (limit.expired() || lineLost()) {
            return Ping::Unanswered;
        }
    }
}

void CommandLink::drainWithPauses() {
    line::drain(channel_, clock_, {kDrainLimitMs, kDrainMaxBytes, kDrainPauseMs});
}

void CommandLink::drainWithoutPauses() {
    line::drain(channel_, clock_, {kDrainLimitMs, kDrainMaxBytes, 0});
}

void CommandLink::sendPaced(std::string_view text) {
    drainWithPauses();
    for (char letter : text) {
        sendCommand(letter, kCommandPauseMs);
    }
}

std::size_t CommandLink::collectText(char* field, std::size_t capacity) {
    std::size_t received = 0;
    int countdown = kCollectFirstByteCountdown;
    Deadline bound(clock_); // armed by the first byte
    for (;;) {
        std::uint8_t byte = 0;
        if (readByte(byte)) {
            if (received == 0) {
                bound.start(kCollectTextLimitMs);
            }
            if (received < capacity) {
                field[received] = static_cast<char>(byte);
            }
            ++received;
            countdown = kCollectQuietCountdown;
        }
        clock_.sleepMs(kCollectPollPauseMs);
        if (countdown == 0 || (received > 0 && bound.expired()) || lineLost()) {
            break;
        }
        --countdown;
    }
    // The zero goes over the last byte stored: the last received one, or the field's last when the
    // reply ran on past it.
    const std::size_t stored = std::min(received, capacity);
    if (stored > 0) {
        field[stored - 1] = '\0';
    }
    return received;
}

bool CommandLink::queryVersion() {
    for (char letter : kVersionQuery) {
        sendCommand(letter, kCommandPauseMs);
    }
    const bool answered = collectText(device_.firmwareText) > 0;
    for (char letter : kVersionInfoQuery) {
        sendCommand(letter, kCommandPauseMs);
    }
    collectText(device_.firmwareInfoText);
    return answered;
}

bool CommandLink::queryModel() {
    auto& model = device_.modelText;
    drainWithoutPauses();
    std::size_t count = 0;
    for (int attempt = 0; attempt < kModelAttempts; ++attempt) {
        model.fill('\0');
        sendCommand(kModelQuery, 0);
        Deadline limit(clock_);
        limit.start(kModelAttemptLimitMs);
        count = 0;
        bool answered = false;
        while (!answered) {
            std::uint8_t byte = 0;
            if (awaitByte(byte)) {
                // count stays below kModelReplyLength here: the reply is complete when it reaches it.
                model[count++] = static_cast<char>(byte);
                answered = count == kModelReplyLength || (count == 1 && isVerdict(byte, kRefused));
            }
            if (!answered && (limit.expired() || lineLost())) {
                break;
            }
        }
        if (answered || lineLost()) {
            break;
        }
        clock_.sleepMs(kModelRetryPauseMs);
    }
    model[kModelReplyLength] = '\0';
    return count > 0;
}

bool CommandLink::queryGps() {
    for (int attempt = 0; attempt < kGpsAttempts; ++attempt) {
        for (char letter : kGpsQuery) {
            sendCommand(letter, kCommandPauseMs);
        }
        if (awaitShortReply(device_.shortReply, kGpsAttemptLimitMs) == ShortReply::Refused) {
            return false;
        }
    }
    return (device_.shortReply[3] & 0x01) != 0;
}

CommandLink::ShortReply CommandLink::awaitShortReply(std::array<std::uint8_t, kShortReplyLength>& reply,
                                                     std::uint32_t limitMs) {
    Deadline limit(clock_);
    limit.start(limitMs);
    std::size_t count = 0;
    for (;;) {
        std::uint8_t byte = 0;
        if (awaitByte(byte)) {
            // Bytes past the fifth are read and dropped; the wait goes on to the limit.
            if (count < reply.size()) {
                reply[count] = byte;
            }
            ++count;
            if (count == 1 && isVerdict(byte, kRefused)) {
                return ShortReply::Refused;
            }
            // A fifth byte other than '@' does not end the wait.
            if (count == kShortReplyLength && isVerdict(byte, kAccepted)) {
                return ShortReply::Accepted;
            }
        }
        if (limit.expired() || lineLost()) {
            return ShortReply::NoVerdict;
        }
    }
}

std::optional<bool> CommandLink::askForVerdict(std::string_view query, std::uint32_t limitMs) {
    Deadline limit(clock_);
    limit.start(limitMs);
    for (;;) {
        for (char letter : query) {
            sendCommand(letter, kCommandPauseMs);
        }
        std::uint8_t byte = 0;
        if (readByte(byte)) {
            if (isVerdict(byte, kAccepted)) {
                return true;
            }
            if (isVerdict(byte, kRefused)) {
                return false;
            }
        }
        if (limit.expired() || lineLost()) {
            return std::nullopt;
        }
    }
}

bool CommandLink::queryExternalMemory() {
    if (device_.firmwareText[0] == kMajorVersion3) {
        return true;
    }
    const std::optional<bool> verdict = askForVerdict(kExternalMemoryQuery, kExternalMemoryLimitMs);
    if (!verdict) {
        // Step 1 must reopen the port before the scanner is reached again.
        channel_.close();
        return false;
    }
    return *verdict;
}

bool CommandLink::queryIt() {
    drainWithPauses();
    return askForVerdict(kItQuery, kItLimitMs).value_or(false);
}

bool CommandLink::queryFontSupport() {
    drainWithPauses();
    sendPaced(kFontSupportQuery);
    std::array<std::uint8_t, kShortReplyLength> reply{};
    return awaitShortReply(reply, kFontSupportLimitMs) == ShortReply::Accepted;
}

bool CommandLink::queryGwQ() {
    const auto& model = device_.modelText;
    const auto& firmware = device_.firmwareText;
    if (model[2] == kGwQFamilyZ || model[2] == kGwQFamilyX) {
        return true;
    }
    if (firmware[5] != kGwQModelDigit5 || firmware[6] != kGwQModelDigit6) {
        return false;
    }
    drainWithPauses();
    sendPaced(kGwQQuery);
    Deadline limit(clock_);
    limit.start(kGwQLimitMs);
    bool firstByte = true;
    for (;;) {
        std::uint8_t byte = 0;
        if (awaitByte(byte) && firstByte) {
            // Only the first byte decides; after any other first byte the query waits out its limit.
            firstByte = false;
            if (isVerdict(byte, kRefused)) {
                return false;
            }
            if (isVerdict(byte, kAccepted)) {
                return true;
            }
        }
        if (limit.expired() || lineLost()) {
            return false;
        }
    }
}

bool CommandLink::queryBootloader() {
    pingDevice(); // wakes the scanner; an unanswered ping shows in the text collected below
    drainWithoutPauses();
    for (char letter : kBootloaderQuery) {
        sendCommand(letter, kCommandPauseMs);
    }
    collectText(device_.bootloaderText);
    return device_.bootloaderText[0] == kBootloaderMark;
}

} // namespace orvexa
