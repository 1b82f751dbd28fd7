// Writing language pages and fonts into a classic scanner's flash, and asking it which flash it has.
//
// A blob goes in 4096-byte chunks, each announced by "GFw<address in hex>#" and answered by "@". The
// last chunk of a blob is always a full 4096 bytes; what lies past the blob is sent as 0xFF (erased
// flash), and nothing is read past the blob. The scanner's answer is awaited for a bounded time; a
// chunk that is not acknowledged does not stop the run, but it is counted so that the user is told.
#pragma once

#include "device/CommandLink.h"

#include <cstdint>

namespace orvexa {

inline constexpr std::uint32_t kFlashChunkSize = 4096;

// "G","F","S": when the scanner's firmware text is new enough to know it, asks for the flash type and
// stores byte 3 of an accepted reply, sign-extended, in DeviceInfo::flashType. A refused, silent or
// garbled reply leaves flashType as it was.
void queryFlashType(CommandLink& link);

class FlashWriter {
public:
    // Time limits and pauses, in milliseconds.
    static constexpr std::uint32_t kFlashTypeAttemptLimitMs = 2000; // per "G","F","S" attempt
    static constexpr int kFlashTypeAttempts = 2;
    static constexpr std::uint32_t kChunkAckLimitMs = 2000; // the scanner writes 4096 bytes of flash
    static constexpr std::uint32_t kChunkAckPollPauseMs = 50;

    explicit FlashWriter(CommandLink& link) : link_(link) {}

    // Writes the 4096 bytes that start at `offset` in the block (0xFF past its end) to address + offset.
    // True when the scanner acknowledged the chunk with "@". A lost line ends the wait at once.
    bool writeFlashChunk(const std::uint8_t* block, std::uint32_t blockSize, std::uint32_t address,
                         std::uint32_t offset);
    // The whole block, chunk by chunk; the number of chunks the scanner did not acknowledge.
    int writeBlob(const std::uint8_t* block, std::uint32_t blockSize, std::uint32_t address);
    // The port hung up or vanished, or was closed: nothing more can be written.
    bool lineLost() const;

    // Chunks a block of this size takes; the last one is full even when the block is not.
    static std::uint32_t chunkCount(std::uint32_t blockSize);

private:
    CommandLink& link_;
};

} // namespace orvexa
