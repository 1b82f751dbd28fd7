#include "firmware/FramedLink.h"

#include "device/CommandLink.h"
#include "device/LineReader.h"
#include "firmware/FramedPacket.h"
#include "serial/Deadline.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace orvexa {

namespace {

// The version reply: 100 to 109 bytes, read within 2000 ms; shorter counts as no reply at all.
constexpr std::uint32_t kVersionReplyLimitMs = 2000;
constexpr std::size_t kVersionReplyMinBytes = 100;
constexpr std::size_t kVersionReplyMaxBytes = 109;
// Where the three 12-character version texts lie in the version reply.
constexpr std::size_t kLoaderTextAt = 22;
constexpr std::size_t kFirmwareTextAt = 34;
constexpr std::size_t kApplicationTextAt = 46;
constexpr std::size_t kVersionTextLength = 12;

// The start request: pings for 3000 ms to wake the scanner (about one every 700 ms while it answers),
// a drain of at most 3000 ms with 100 ms pauses, then up to 5000 ms for its reply and 500 ms to settle.
constexpr std::uint32_t kWakeUpMs = 3000;
constexpr std::uint32_t kWakeUpPauseMs = 500;
constexpr std::uint32_t kStartDrainLimitMs = 3000;
constexpr std::uint32_t kStartDrainPauseMs = 100;
constexpr std::uint32_t kStartReplyLimitMs = 5000;
constexpr std::uint32_t kStartSettleMs = 500;

// The scanner answers the start request and every data block with 14 bytes.
constexpr std::size_t kReplyBytes = 14;
// A block's reply gets the same 5000 ms as the start request's reply of the same size: the scanner
// writes at most 1024 bytes of flash before it answers, which takes a small part of that. A scanner
// that has not answered by then has stopped taking the firmware, and the download must say so.
constexpr std::uint32_t kBlockReplyLimitMs = 5000;
// The drain before a request stops when the line falls silent; a scanner that never does (a babbling
// line) is passed over after this long, and the request is sent anyway.
constexpr std::uint32_t kDrainLimitMs = 3000;

// Characters of the application text that select 512-byte blocks when any one of them is above its
// limit. Four independent tests, not a version comparison.
struct BlockSizeTest {
    std::size_t position;
    unsigned char limit;
};
constexpr std::array<BlockSizeTest, 4> kSmallBlockTests{{{5, '0'}, {6, '2'}, {8, '0'}, {9, 'B'}}};

void storeVersionText(std::array<char, 16>& field, const std::uint8_t* reply, std::size_t at) {
    std::memcpy(field.data(), reply + at, kVersionTextLength);
    field[kVersionTextLength] = '\0';
}

} // namespace

std::uint32_t FramedLink::queryFramedVersions() {
    const std::vector<std::uint8_t> request = buildFramedPacket(kFramedQuery, kSubVersions);
    device_.loaderText.fill('\0');
    device_.firmwareText.fill('\0');
    device_.applicationText.fill('\0');

    drainUntilSilent();
    if (!writeAll(request.data(), request.size())) {
        return kSmallFramedBlock;
    }
    std::array<std::uint8_t, kVersionReplyMaxBytes> reply{};
    if (readReply(reply.data(), reply.size(), kVersionReplyLimitMs) < kVersionReplyMinBytes) {
        return kLargeFramedBlock;
    }
    storeVersionText(device_.loaderText, reply.data(), kLoaderTextAt);
    storeVersionText(device_.firmwareText, reply.data(), kFirmwareTextAt);
    storeVersionText(device_.applicationText, reply.data(), kApplicationTextAt);

    const bool small =
        std::any_of(kSmallBlockTests.begin(), kSmallBlockTests.end(), [this](const BlockSizeTest& test) {
            return charAt(device_.applicationText, test.position) > test.limit;
        });
    return small ? kSmallFramedBlock : kLargeFramedBlock;
}

FramedLink::Sent FramedLink::sendStartRequest() {
    const std::vector<std::uint8_t> request = buildFramedPacket(kFramedDownload, kSubStart);

    CommandLink link(channel_, clock_, device_);
    Deadline wakeUp(clock_);
    wakeUp.start(kWakeUpMs);
    while (!wakeUp.expired()) {
        if (link.pingDevice() != CommandLink::Ping::Answered) {
            break;
        }
        clock_.sleepMs(kWakeUpPauseMs);
    }

    drainWithPauses();
    if (!writeAll(request.data(), request.size())) {
        return Sent::NotWritten;
    }
    std::array<std::uint8_t, kReplyBytes> reply{};
    readReply(reply.data(), reply.size(), kStartReplyLimitMs); // whether it came or not
    clock_.sleepMs(kStartSettleMs);
    return Sent::Done;
}

FramedLink::Sent FramedLink::sendBlock(std::uint16_t blockNumber, const std::uint8_t* data,
                                       std::int32_t length) {
    if (length < 0 || static_cast<std::size_t>(length) > kMaxFramedBlockSize) {
        return Sent::NotWritten;
    }
    std::vector<std::uint8_t> body(kBlockNumberSize + static_cast<std::size_t>(length));
    body[0] = static_cast<std::uint8_t>(blockNumber >> 8);
    body[1] = static_cast<std::uint8_t>(blockNumber & 0xFF);
    std::copy(data, data + length, body.begin() + kBlockNumberSize);
    const std::vector<std::uint8_t> packet = buildFramedPacket(kFramedDownload, kSubBlock, body);

    discardArrived();
    if (!writeAll(packet.data(), packet.size())) {
        return Sent::NotWritten;
    }
    std::array<std::uint8_t, kReplyBytes> reply{};
    return readReply(reply.data(), reply.size(), kBlockReplyLimitMs) < kReplyBytes ? Sent::Unanswered
                                                                                   : Sent::Done;
}

// Reads and throws away what the scanner has already sent, one byte at a time, until a read returns
// nothing: before the version request, whose reply is examined.
void FramedLink::drainUntilSilent() {
    line::drain(channel_, clock_, {kDrainLimitMs});
}

// Before a data block: throws away what has already arrived, without waiting for the line to fall
// silent. Waiting would cost one silent read (about 20 ms) per block, a fifth of a 1024-byte block's own
// line time, and buy nothing: the replies to blocks are never examined, so a stray byte that arrives
// just after this changes nothing the download decides. Where a reply is examined (the version
// request), drainUntilSilent keeps the wait.
void FramedLink::discardArrived() {
    Deadline limit(clock_);
    limit.start(kDrainLimitMs);
    std::array<std::uint8_t, 256> bytes{};
    while (channel_.readArrived(bytes.data(), static_cast<std::int32_t>(bytes.size())) > 0 &&
           !limit.expired()) {
    }
}

void FramedLink::drainWithPauses() {
    Deadline limit(clock_);
    limit.start(kStartDrainLimitMs);
    std::uint8_t byte = 0;
    while (!limit.expired()) {
        if (channel_.read(&byte, 1) <= 0) {
            break;
        }
        clock_.sleepMs(kStartDrainPauseMs);
    }
}

bool FramedLink::writeAll(const std::uint8_t* bytes, std::size_t count) {
    return channel_.write(bytes, static_cast<std::int32_t>(count)) == static_cast<std::int32_t>(count);
}

std::size_t FramedLink::readReply(std::uint8_t* buffer, std::size_t wanted, std::uint32_t limitMs) {
    return line::readUntil(channel_, clock_, buffer, wanted, limitMs);
}

} // namespace orvexa
