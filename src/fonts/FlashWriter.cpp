#include "fonts/FlashWriter.h"

#include "device/LineReader.h"
#include "firmware/ImageBlock.h"
#include "serial/Deadline.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace orvexa {

namespace {

constexpr char kAccepted = CommandLink::kAccepted;
constexpr char kFlashTypeQuery[] = "GFS";
// Only firmware whose version character 3 is above '6' knows the flash-type query.
constexpr std::size_t kFlashTypeVersionAt = 3;
constexpr signed char kFlashTypeVersionAbove = '6';
constexpr std::size_t kFlashTypeAt = 3; // in the 5-byte reply

} // namespace

void queryFlashType(CommandLink& link) {
    DeviceInfo& device = link.device();
    // Signed on purpose: a version byte of 0x80 or above counts as below '6'.
    if (static_cast<signed char>(device.firmwareText[kFlashTypeVersionAt]) <= kFlashTypeVersionAbove) {
        return;
    }
    // Bounded like every drain of the link: a scanner that keeps sending cannot hold the query here.
    link.drainWithoutPauses();
    for (int attempt = 0; attempt < FlashWriter::kFlashTypeAttempts; ++attempt) {
        for (const char letter : std::string_view(kFlashTypeQuery)) {
            line::sendLetter(link.channel(), link.clock(), letter, CommandLink::kCommandPauseMs);
        }
        switch (link.awaitShortReply(device.shortReply, FlashWriter::kFlashTypeAttemptLimitMs)) {
        case CommandLink::ShortReply::Refused:
            return;
        case CommandLink::ShortReply::Accepted:
            device.flashType = static_cast<signed char>(device.shortReply[kFlashTypeAt]);
            return;
        case CommandLink::ShortReply::NoVerdict:
            if (line::gone(link.channel())) {
                return; // a second attempt would only wait out its limit
            }
            break;
        }
    }
}

bool FlashWriter::writeFlashChunk(const std::uint8_t* block, std::uint32_t blockSize, std::uint32_t address,
                                  std::uint32_t offset) {
    std::array<std::uint8_t, kFlashChunkSize> chunk;
    copyImageBlock(chunk.data(), chunk.size(), block, blockSize, offset);

    char command[24];
    const int length = std::snprintf(command, sizeof command, "GFw%x#", address + offset);
    SerialChannel& channel = link_.channel();
    for (int i = 0; i < length; ++i) {
        line::sendLetter(channel, link_.clock(), command[i], 0);
    }
    channel.write(chunk.data(), static_cast<std::int32_t>(chunk.size()));

    Deadline deadline(link_.clock());
    deadline.start(kChunkAckLimitMs);
    do {
        std::uint8_t reply = 0;
        if (link_.awaitByte(reply) && reply == kAccepted) {
            return true;
        }
        if (lineLost()) {
            return false; // no "@" comes over a line that is gone
        }
        link_.clock().sleepMs(kChunkAckPollPauseMs);
    } while (!deadline.expired());
    return false;
}

bool FlashWriter::lineLost() const {
    return line::gone(link_.channel());
}

std::uint32_t FlashWriter::chunkCount(std::uint32_t blockSize) {
    return static_cast<std::uint32_t>((std::uint64_t{blockSize} + kFlashChunkSize - 1) / kFlashChunkSize);
}

int FlashWriter::writeBlob(const std::uint8_t* block, std::uint32_t blockSize, std::uint32_t address) {
    int unacknowledged = 0;
    const std::uint32_t chunks = chunkCount(blockSize);
    for (std::uint32_t chunk = 0; chunk < chunks; ++chunk) {
        if (!writeFlashChunk(block, blockSize, address, chunk * kFlashChunkSize)) {
            ++unacknowledged;
        }
    }
    return unacknowledged;
}

} // namespace orvexa
