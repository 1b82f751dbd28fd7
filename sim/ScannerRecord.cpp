#include "ScannerRecord.h"

#include "Sha256.h"

#include <algorithm>
#include <cstdio>

namespace orvexa {

namespace {

constexpr std::uint8_t kErased = 0xFF;
constexpr std::size_t kBlockSize = 256;

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 0xF]);
    }
    return hex;
}

// A JSON string: quotes, backslashes and control bytes escaped; bytes above 0x7F as \u00XX so that the
// file stays valid UTF-8 whatever the tool sent.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20 || u > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

std::string letter(char c) {
    return c == 0 ? "null" : quoted(std::string(1, c));
}

} // namespace

std::vector<std::string> ScannerRecord::commandTexts() const {
    std::vector<std::string> texts;
    for (const Command& command : commands) {
        texts.push_back(command.text);
    }
    return texts;
}

int ScannerRecord::count(std::string_view text) const {
    return static_cast<int>(
        std::count_if(commands.begin(), commands.end(), [&](const Command& c) { return c.text == text; }));
}

std::vector<std::uint8_t> ScannerRecord::image(std::uint16_t firstBlock) const {
    std::vector<std::uint8_t> bytes;
    if (blocks.empty() || blocks.rbegin()->first < firstBlock) {
        return bytes;
    }
    for (std::uint32_t block = firstBlock; block <= blocks.rbegin()->first; ++block) {
        auto it = blocks.find(static_cast<std::uint16_t>(block));
        if (it != blocks.end()) {
            bytes.insert(bytes.end(), it->second.begin(), it->second.end());
        } else {
            bytes.insert(bytes.end(), kBlockSize, kErased);
        }
    }
    return bytes;
}

std::vector<std::uint8_t> ScannerRecord::framedImage() const {
    std::vector<std::uint8_t> bytes;
    if (framedBlocks.empty()) {
        return bytes;
    }
    const std::size_t blockSize = framedBlocks.begin()->second.size();
    for (std::uint32_t block = 0; block <= framedBlocks.rbegin()->first; ++block) {
        auto it = framedBlocks.find(static_cast<std::uint16_t>(block));
        if (it != framedBlocks.end()) {
            bytes.insert(bytes.end(), it->second.begin(), it->second.end());
        } else {
            bytes.insert(bytes.end(), blockSize, kErased);
        }
    }
    return bytes;
}

std::vector<std::uint8_t> ScannerRecord::flash(std::uint32_t address, std::uint32_t length) const {
    std::vector<std::uint8_t> bytes(length, kErased);
    const std::uint64_t end = static_cast<std::uint64_t>(address) + length;
    for (const Chunk& chunk : chunks) {
        if (!chunk.stored) {
            continue;
        }
        const std::uint64_t chunkEnd = static_cast<std::uint64_t>(chunk.address) + chunk.data.size();
        const std::uint64_t from = std::max<std::uint64_t>(address, chunk.address);
        const std::uint64_t to = std::min(end, chunkEnd);
        for (std::uint64_t a = from; a < to; ++a) {
            bytes[a - address] = chunk.data[a - chunk.address];
        }
    }
    return bytes;
}

std::string ScannerRecord::toJson(bool withData) const {
    std::string json = "{\n  \"commands\": [";
    for (std::size_t i = 0; i < commands.size(); ++i) {
        json += (i ? ",\n    " : "\n    ");
        json += "{\"text\": " + quoted(commands[i].text) + ", \"atUs\": " + std::to_string(commands[i].atUs) +
                "}";
    }
    json += "\n  ],\n  \"frames\": [";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        json += (i ? ",\n    " : "\n    ");
        json += "{\"kind\": " + letter(f.kind) + ", \"block\": " + std::to_string(f.block) +
                ", \"crcOk\": " + (f.crcOk ? "true" : "false") + ", \"reply\": " + letter(f.reply) +
                ", \"atUs\": " + std::to_string(f.atUs) + "}";
    }
    json += "\n  ],\n  \"chunks\": [";
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const Chunk& c = chunks[i];
        json += (i ? ",\n    " : "\n    ");
        json += "{\"address\": " + std::to_string(c.address) +
                ", \"stored\": " + (c.stored ? "true" : "false") +
                ", \"sha256\": " + quoted(sha256Hex(c.data));
        if (withData) {
            json += ", \"data\": " + quoted(hexOf(c.data));
        }
        json += ", \"atUs\": " + std::to_string(c.atUs) + "}";
    }
    json += "\n  ],\n  \"packets\": [";
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        json += (i ? ",\n    " : "\n    ");
        json += "{\"command\": " + letter(static_cast<char>(p.command)) +
                ", \"subCode\": " + std::to_string(p.subCode) + ", \"length\": " + std::to_string(p.length) +
                ", \"crcOk\": " + (p.crcOk ? "true" : "false") + ", \"block\": " + std::to_string(p.block) +
                ", \"atUs\": " + std::to_string(p.atUs) + "}";
    }
    json += "\n  ],\n";
    const std::vector<std::uint8_t> classic = image();
    json += "  \"blocksStored\": " + std::to_string(blocks.size()) + ",\n";
    json += "  \"image\": {\"length\": " + std::to_string(classic.size()) +
            ", \"sha256\": " + quoted(sha256Hex(classic)) +
            (withData ? ", \"data\": " + quoted(hexOf(classic)) : "") + "},\n";
    const std::vector<std::uint8_t> framed = framedImage();
    json += "  \"framedBlocksStored\": " + std::to_string(framedBlocks.size()) + ",\n";
    json += "  \"framedImage\": {\"length\": " + std::to_string(framed.size()) +
            ", \"sha256\": " + quoted(sha256Hex(framed)) +
            (withData ? ", \"data\": " + quoted(hexOf(framed)) : "") + "},\n";
    json += "  \"upgradeFinished\": " + std::string(upgradeFinished ? "true" : "false") + ",\n";
    json += "  \"closingBlock\": " + std::to_string(closingBlock) + ",\n";
    json += "  \"bytesIn\": " + std::to_string(bytesIn.size()) + ",\n";
    json += "  \"bytesOut\": " + std::to_string(bytesOut.size()) + "\n}\n";
    return json;
}

} // namespace orvexa
