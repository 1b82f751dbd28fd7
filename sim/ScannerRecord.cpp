#include "ScannerRecord.h"

#include "firmware/Sha256.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace orvexa {

namespace {

// Members in the order they are set: readers find them where they always were.
using Json = nlohmann::ordered_json;

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

// The tool may send any byte, and the record keeps commands as received: each byte becomes the
// character of the same number, so that the file stays valid UTF-8 whatever came, and a reader gets the
// bytes back from the characters.
Json text(std::string_view bytes) {
    std::string utf8;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (u >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return utf8;
}

Json letter(char c) {
    return c == 0 ? Json() : text(std::string_view(&c, 1));
}

// Every character from 0x7F up as \u00XX, so that the file is plain ASCII, as it always was.
std::string dumped(const Json& value) {
    return value.dump(-1, ' ', true);
}

// An entry on one line, "key": value, separated by ", ".
std::string oneLine(const Json& value) {
    if (!value.is_object()) {
        return dumped(value);
    }
    std::string line = "{";
    for (const auto& item : value.items()) {
        line += (line.size() > 1 ? ", " : "") + dumped(item.key()) + ": " + oneLine(item.value());
    }
    return line + "}";
}

// The layout that scripts and tests search the text by: a member of the record per line, an element of
// a list per line, each list closed by "\n  ]".
std::string laidOut(const Json& record) {
    std::string out = "{";
    for (const auto& member : record.items()) {
        out += (out.size() > 1 ? ",\n  " : "\n  ") + dumped(member.key()) + ": ";
        if (!member.value().is_array()) {
            out += oneLine(member.value());
            continue;
        }
        out += "[";
        const char* before = "\n    ";
        for (const Json& element : member.value()) {
            out += before + oneLine(element);
            before = ",\n    ";
        }
        out += "\n  ]";
    }
    return out + "\n}\n";
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
    Json record;
    Json& commandList = record["commands"] = Json::array();
    for (const Command& c : commands) {
        commandList.push_back({{"text", text(c.text)}, {"atUs", c.atUs}});
    }
    Json& frameList = record["frames"] = Json::array();
    for (const Frame& f : frames) {
        frameList.push_back({{"kind", letter(f.kind)},
                             {"block", f.block},
                             {"crcOk", f.crcOk},
                             {"reply", letter(f.reply)},
                             {"atUs", f.atUs}});
    }
    Json& chunkList = record["chunks"] = Json::array();
    for (const Chunk& c : chunks) {
        Json chunk = {{"address", c.address}, {"stored", c.stored}, {"sha256", sha256Hex(c.data)}};
        if (withData) {
            chunk["data"] = hexOf(c.data);
        }
        chunk["atUs"] = c.atUs;
        chunkList.push_back(std::move(chunk));
    }
    Json& packetList = record["packets"] = Json::array();
    for (const Packet& p : packets) {
        packetList.push_back({{"command", letter(static_cast<char>(p.command))},
                              {"subCode", p.subCode},
                              {"length", p.length},
                              {"crcOk", p.crcOk},
                              {"block", p.block},
                              {"atUs", p.atUs}});
    }
    auto imageOf = [withData](const std::vector<std::uint8_t>& bytes) {
        Json image = {{"length", bytes.size()}, {"sha256", sha256Hex(bytes)}};
        if (withData) {
            image["data"] = hexOf(bytes);
        }
        return image;
    };
    record["blocksStored"] = blocks.size();
    record["image"] = imageOf(image());
    record["framedBlocksStored"] = framedBlocks.size();
    record["framedImage"] = imageOf(framedImage());
    record["upgradeFinished"] = upgradeFinished;
    record["closingBlock"] = closingBlock;
    record["bytesIn"] = bytesIn.size();
    record["bytesOut"] = bytesOut.size();
    return laidOut(record);
}

} // namespace orvexa
