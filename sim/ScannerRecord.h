// What a simulated scanner received, for tests and for rdq-sim's --record file: the commands it
// recognised with their times, every download frame, flash chunk and framed packet, and what it kept of
// them (the image by block number, the flash by address). Tests state what the scanner ends up holding,
// not which functions the tool called.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orvexa {

struct ScannerRecord {
    struct Command {
        std::string text;   // as received: "W", "Gs", "GFw700000#", "IEIT", "HH", ...
        std::uint64_t atUs; // when its last byte reached the scanner
    };
    struct Frame {
        char kind; // 'W' data, 'R' closing, anything else as received
        std::uint16_t block;
        bool crcOk;
        char reply; // the letter sent back, 0 when none
        std::uint64_t atUs;
    };
    struct Chunk {
        std::uint32_t address;
        std::vector<std::uint8_t> data; // the 4096 bytes as received
        bool stored;                    // written to flash (answered "@")
        std::uint64_t atUs;
    };
    struct Packet {
        std::uint8_t command; // 'F' or 'D'
        std::uint8_t subCode;
        std::uint16_t length; // total length field
        bool crcOk;
        int block; // data blocks: the block number; -1 otherwise
        std::uint64_t atUs;
    };

    std::vector<Command> commands;
    std::vector<Frame> frames;
    std::vector<Chunk> chunks;
    std::vector<Packet> packets;
    // Accepted classic blocks (256 bytes each) and framed blocks, by block number; a resent block
    // replaces the earlier copy.
    std::map<std::uint16_t, std::vector<std::uint8_t>> blocks;
    std::map<std::uint16_t, std::vector<std::uint8_t>> framedBlocks;
    bool upgradeFinished = false; // a valid closing "R" frame arrived
    std::uint16_t closingBlock = 0;
    std::vector<std::uint8_t> bytesIn;  // every byte the tool wrote, in order (the first 16 MiB)
    std::vector<std::uint8_t> bytesOut; // every byte the scanner delivered, in order (the first 16 MiB)

    // The texts of the recognised commands, in order.
    std::vector<std::string> commandTexts() const;
    // How many times a command text was received.
    int count(std::string_view text) const;
    // The classic blocks from firstBlock to the highest one received, joined; a missing block reads as
    // 0xFF, like erased flash.
    std::vector<std::uint8_t> image(std::uint16_t firstBlock = 0) const;
    std::vector<std::uint8_t> framedImage() const;
    // Flash contents over a range, later chunk writes over earlier ones; unwritten bytes read 0xFF.
    std::vector<std::uint8_t> flash(std::uint32_t address, std::uint32_t length) const;

    // The record as one JSON object: commands, frames, chunks (address and sha256; with withData also
    // the bytes in hex), packets, and the images as sha256 and length (and hex with withData).
    std::string toJson(bool withData = false) const;
};

} // namespace orvexa
