#include "SimulatedScanner.h"

#include "firmware/Crc16.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace orvexa {

namespace {

constexpr std::uint64_t kUsPerMs = 1000;

// Every complete command of the character link that the scanner knows, as its letters arrive.
// "GFw<hex>#" (the flash chunk command) is matched apart, as its address varies.
const std::array<std::string_view, 16> kCommands = {
    "W", "Gs", "V", "Iv", "M", "GwQ", "It", "GFQ", "GnOLG", "IB", "GFS", "GnOFS", "IEIT", "IEIu", "IU", "HH",
};
constexpr std::string_view kChunkPrefix = "GFw";
// A flash address is 32 bits: at most eight hexadecimal digits.
constexpr std::size_t kMaxAddressDigits = 8;
constexpr std::size_t kChunkSize = 4096;

constexpr std::uint8_t kAccepted = '@';
constexpr std::uint8_t kRefused = '!';
constexpr std::uint8_t kReady = 'X';
constexpr std::uint8_t kFrameGood = 'X';
constexpr std::uint8_t kFrameBadCrc = 'C';
constexpr std::uint8_t kUnknownLetter = '?';

// BlockFrame: CRC low and high, kind, block low and high, 256 data bytes.
constexpr std::size_t kFrameSize = 261;
constexpr std::size_t kFrameDataOffset = 5;
constexpr std::uint8_t kFrameData = 'W';
constexpr std::uint8_t kFrameClosing = 'R';

// FramedPacket: STX, 'Q', total length (BE), 4 reserved, command, sub-code, body, CRC (BE).
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kLinkMark = 'Q';
constexpr std::size_t kPacketOverhead = 12;
// The largest block the framed family takes is 1024 bytes; anything longer is taken for noise.
constexpr std::size_t kMaxPacketLength = 4096 + 14;
constexpr std::uint8_t kFramedQuery = 'F';
constexpr std::uint8_t kFramedDownload = 'D';
constexpr std::uint8_t kVersionRequest = 0x20;
constexpr std::uint8_t kStartRequest = 0x01;
constexpr std::uint8_t kDataBlock = 0x02;
// Where the three texts sit in the version reply, and how long each is.
constexpr std::size_t kLoaderTextOffset = 22;
constexpr std::size_t kFirmwareTextOffset = 34;
constexpr std::size_t kApplicationTextOffset = 46;
constexpr std::size_t kFramedTextLength = 12;
constexpr std::size_t kVersionReplyMinimum = kApplicationTextOffset + kFramedTextLength + 2;
// Status byte of a 14-byte framed reply.
constexpr std::uint8_t kFramedOk = 0x00;
constexpr std::uint8_t kFramedBadCrc = 0x01;
constexpr std::uint8_t kFramedUnknown = 0x02;

// A binary unit (chunk data, packet) whose bytes stop coming for this long is dropped: the tool writes
// each unit in one go, so such a gap means it gave up on it.
constexpr std::uint64_t kPartialUnitGapMs = 1000;
// A frame's 261 bytes come back to back, and its header names a kind ('W' or 'R') and a block inside the
// scanner's flash. Bytes that stop short of a frame for this long, or a header that is none, were no frame:
// a tool that lost its run is probing ("W", "W", ... reads as block 0x5757), and the scanner gives the
// download up at once rather than leave that tool finding no scanner.
constexpr std::uint64_t kStrayFrameGapMs = 200;
constexpr std::uint32_t kFlashBlocks = 4096; // 1 MiB of 256-byte blocks
// A download mode that hears nothing for this long ends, as the device's watchdog restarts it. It must
// outlast the tool's pause before the closing frame (1000 ms).
constexpr std::uint64_t kDownloadIdleMs = 10000;

// More than any field of the tool holds (the longest, firmwareInfoText, is 32 bytes; the framed
// version reply is read up to 109).
constexpr std::size_t kOverlongExtraBytes = 300;
constexpr std::uint8_t kFillerByte = '#';
constexpr std::uint8_t kBabbleByte = '~';
// Without line pacing an endless reply still needs a rate: about that of 115200 baud.
constexpr std::uint64_t kBabbleIntervalUs = 87;
// The record keeps the raw bytes of a long session (a full upgrade with fonts is about 0.5 MiB) but not
// those of a scanner left babbling for hours.
constexpr std::size_t kRecordedBytesLimit = 16u << 20;
// Bytes that look like no answer the tool waits for.
constexpr std::array<std::uint8_t, 8> kGarbage = {0xA5, 0x5A, 0x3C, 0xE7, 0x81, 0x7E, 0x18, 0xDB};

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// "GFw", one to eight hex digits, "#".
bool isChunkCommand(const std::string& text) {
    if (text.size() < kChunkPrefix.size() + 2 || text.compare(0, kChunkPrefix.size(), kChunkPrefix) != 0 ||
        text.back() != '#') {
        return false;
    }
    const std::size_t digits = text.size() - kChunkPrefix.size() - 1;
    return digits <= kMaxAddressDigits &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(kChunkPrefix.size()), text.end() - 1,
                       isHexDigit);
}

bool couldBecomeChunkCommand(const std::string& text) {
    if (text.size() <= kChunkPrefix.size()) {
        return kChunkPrefix.substr(0, text.size()) == text;
    }
    if (text.compare(0, kChunkPrefix.size(), kChunkPrefix) != 0) {
        return false;
    }
    const std::size_t digits = text.size() - kChunkPrefix.size();
    return digits <= kMaxAddressDigits &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(kChunkPrefix.size()), text.end(),
                       isHexDigit);
}

bool isKnownCommand(const std::string& text) {
    return std::find(kCommands.begin(), kCommands.end(), text) != kCommands.end() || isChunkCommand(text);
}

bool couldBecomeCommand(const std::string& text) {
    for (std::string_view command : kCommands) {
        if (command.size() >= text.size() && command.substr(0, text.size()) == text) {
            return true;
        }
    }
    return couldBecomeChunkCommand(text);
}

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

void putText(std::vector<std::uint8_t>& buffer, std::size_t offset, const std::string& text,
             std::size_t width) {
    for (std::size_t i = 0; i < width && i < text.size(); ++i) {
        buffer[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
}

} // namespace

ScannerPersonality ScannerPersonality::framed() {
    ScannerPersonality p;
    p.family = ScannerFamily::Framed;
    p.modelText = "RDa500B2WW";
    p.versionText = "F500_03_0C00";
    p.infoText = "RDQ500 BT Imager";
    p.bootloaderText = "";
    return p;
}

SimulatedScanner::SimulatedScanner(ScannerPersonality personality, ScannerFaults faults)
    : personality_(std::move(personality)), faults_(std::move(faults)) {}

std::string SimulatedScanner::commandKey(const std::string& text) {
    return isChunkCommand(text) ? std::string(kChunkPrefix) : text;
}

std::uint64_t SimulatedScanner::lineTimeUs(std::size_t bytes) const {
    if (personality_.baudRate == 0) {
        return 0;
    }
    constexpr std::uint64_t kBitsPerByte = 10; // start bit, 8 data bits, stop bit
    const std::uint64_t bitUsTimesBaud = bytes * kBitsPerByte * 1'000'000;
    return (bitUsTimesBaud + personality_.baudRate - 1) / personality_.baudRate;
}

// ---- input ----------------------------------------------------------------------------------------

void SimulatedScanner::receive(const std::uint8_t* data, std::size_t count, std::uint64_t nowUs) {
    if (vanished() && *vanishedAtUs_ <= nowUs) {
        return; // nobody is listening on a line that was hung up
    }
    const std::uint64_t startUs = std::max(nowUs, inLineFreeUs_);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t atUs = startUs + lineTimeUs(i + 1);
        if (record_.bytesIn.size() < kRecordedBytesLimit) {
            record_.bytesIn.push_back(data[i]);
        }
        takeByte(data[i], atUs);
        inLineFreeUs_ = atUs;
    }
}

void SimulatedScanner::takeByte(std::uint8_t byte, std::uint64_t atUs) {
    settle(atUs);
    const std::uint64_t gapUs = atUs - std::min(atUs, lastByteUs_);
    lastByteUs_ = atUs;
    if (vanished()) {
        return;
    }
    if (!unit_.empty() && gapUs > kPartialUnitGapMs * kUsPerMs) {
        unit_.clear();
        mode_ = Mode::Command;
    }

    switch (mode_) {
    case Mode::Command:
        takeCommandByte(byte, atUs);
        break;
    case Mode::ChunkData:
        takeChunkByte(byte, atUs);
        break;
    case Mode::Download:
        if (byte == 'H') {
            if (++headersSeen_ == 2) {
                mode_ = Mode::Frames;
                runCommand("HH", atUs);
            }
        } else {
            takeCommandByte(byte, atUs); // a ping or a repeated start sequence still gets its answer
        }
        break;
    case Mode::Frames:
        takeFrameByte(byte, atUs);
        break;
    case Mode::Packet:
        takePacketByte(byte, atUs);
        break;
    }
}

std::optional<std::uint64_t> SimulatedScanner::strayFrameDueUs() const {
    if (mode_ != Mode::Frames || unit_.empty() || vanished()) {
        return std::nullopt;
    }
    return lastByteUs_ + kStrayFrameGapMs * kUsPerMs;
}

// The scanner's own timers, run when the time they fire at has come: it has no clock, so whoever hands it
// bytes or takes its replies tells it the time.
void SimulatedScanner::settle(std::uint64_t nowUs) {
    if (const std::optional<std::uint64_t> strayUs = strayFrameDueUs(); strayUs && *strayUs <= nowUs) {
        leaveDownload(*strayUs);
        return;
    }
    const std::uint64_t quietSinceUs = std::max(lastByteUs_, outLineFreeUs_);
    if ((mode_ == Mode::Download || mode_ == Mode::Frames) &&
        nowUs > quietSinceUs + kDownloadIdleMs * kUsPerMs) {
        leaveDownload(quietSinceUs + kDownloadIdleMs * kUsPerMs);
    }
}

// A download that ends without its closing frame: once a block has been written the firmware is gone, and
// the scanner restarts into its bootloader. Stray bytes no longer than a frame's header are what a probing
// tool sent: they are taken as commands.
void SimulatedScanner::leaveDownload(std::uint64_t atUs) {
    const std::vector<std::uint8_t> stray = unit_;
    unit_.clear();
    mode_ = Mode::Command;
    if (firmwareOverwritten_) {
        personality_.inBootloader = true;
    }
    if (stray.size() <= kFrameDataOffset) {
        for (std::uint8_t byte : stray) {
            takeCommandByte(byte, atUs);
        }
    }
}

void SimulatedScanner::takeCommandByte(std::uint8_t byte, std::uint64_t atUs) {
    if (personality_.family == ScannerFamily::Framed && byte == kStx) {
        pending_.clear();
        unit_.assign(1, byte);
        mode_ = Mode::Packet;
        return;
    }
    pending_.push_back(static_cast<char>(byte));
    // Noise before a command is dropped a byte at a time until what is left can still become one.
    while (!pending_.empty() && !isKnownCommand(pending_) && !couldBecomeCommand(pending_)) {
        pending_.erase(pending_.begin());
    }
    if (!pending_.empty() && isKnownCommand(pending_)) {
        const std::string text = pending_;
        pending_.clear();
        runCommand(text, atUs);
    }
}

void SimulatedScanner::runCommand(const std::string& text, std::uint64_t atUs) {
    record_.commands.push_back({text, atUs});
    const ScannerPersonality& p = personality_;
    const std::string key = commandKey(text);

    if (key == kChunkPrefix) {
        chunkAddress_ = static_cast<std::uint32_t>(std::stoul(text.substr(3, text.size() - 4), nullptr, 16));
        unit_.clear();
        mode_ = Mode::ChunkData;
        return; // answered once its data has come
    }
    if (text == "W") {
        answer(key, {kAccepted}, atUs);
    } else if (text == "Gs") {
        answer(key, {'s', '0', '0', static_cast<std::uint8_t>(p.gps ? '1' : '0'), kAccepted}, atUs);
    } else if (text == "V") {
        answer(key, textReply(p.inBootloader ? p.inBootloaderText : p.versionText), atUs);
    } else if (text == "Iv") {
        answer(key, textReply(p.infoText), atUs);
    } else if (text == "M") {
        std::vector<std::uint8_t> model = bytesOf(p.modelText);
        model.resize(10, ' ');
        answer(key, model, atUs);
    } else if (text == "GwQ") {
        answer(key, {p.gwqAccepted ? kAccepted : kRefused}, atUs);
    } else if (text == "It") {
        answer(key, {p.itAccepted ? kAccepted : kRefused}, atUs);
    } else if (text == "GFQ") {
        answer(key,
               p.externalMemoryAnswer != 0 ? bytesOf(std::string(1, p.externalMemoryAnswer))
                                           : std::vector<std::uint8_t>{},
               atUs);
    } else if (text == "GnOLG") {
        answer(key,
               p.fontSupport ? std::vector<std::uint8_t>{'L', 'G', '0', '1', kAccepted}
                             : std::vector<std::uint8_t>{kRefused},
               atUs);
    } else if (text == "IB") {
        answer(key,
               p.bootloaderText.empty() ? std::vector<std::uint8_t>{kRefused} : textReply(p.bootloaderText),
               atUs);
    } else if (text == "GFS") {
        answer(key, {'F', 'S', '0', p.flashType, kAccepted}, atUs);
    } else if (text == "IEIT" && !p.itAccepted) {
        answer(key, {}, atUs); // a scanner that refused "I","t" does not know "T" either
    } else if (text == "IEIT" || text == "IEIu" || text == "IU") {
        if (answer(key, {kReady}, atUs, p.readyDelayMs)) {
            mode_ = Mode::Download;
            headersSeen_ = 0;
            unit_.clear();
        }
    } else { // "GnOFS" and a stray "HH": nothing is awaited
        answer(key, {}, atUs);
    }
}

void SimulatedScanner::takeChunkByte(std::uint8_t byte, std::uint64_t atUs) {
    unit_.push_back(byte);
    if (unit_.size() < kChunkSize) {
        return;
    }
    ++chunksSeen_;
    mode_ = Mode::Command;
    const bool stored = answer(std::string(kChunkPrefix), {kAccepted}, atUs);
    record_.chunks.push_back({chunkAddress_, unit_, stored, atUs});
    unit_.clear();
}

void SimulatedScanner::takeFrameByte(std::uint8_t byte, std::uint64_t atUs) {
    unit_.push_back(byte);
    if (unit_.size() == kFrameDataOffset) {
        const std::uint32_t block = unit_[3] | (unit_[4] << 8);
        if ((unit_[2] != kFrameData && unit_[2] != kFrameClosing) || block >= kFlashBlocks) {
            leaveDownload(atUs);
            return;
        }
    }
    if (unit_.size() == kFrameSize) {
        runFrame(atUs);
        unit_.clear();
    }
}

void SimulatedScanner::runFrame(std::uint64_t atUs) {
    ++framesSeen_;
    const char kind = static_cast<char>(unit_[2]);
    const auto block = static_cast<std::uint16_t>(unit_[3] | (unit_[4] << 8));
    const std::uint16_t sent = static_cast<std::uint16_t>(unit_[0] | (unit_[1] << 8));
    const bool crcOk = crc16Kermit(unit_.data() + 2, static_cast<std::int32_t>(kFrameSize - 2)) == sent;
    record_.frames.push_back({kind, block, crcOk, 0, atUs});

    if (crcOk && kind == kFrameClosing) {
        answer("frame", {}, atUs);
        record_.upgradeFinished = true;
        record_.closingBlock = block;
        mode_ = Mode::Command; // the device restarts into what it received
        personality_.inBootloader = false;
        if (!personality_.versionAfterUpgrade.empty()) {
            personality_.versionText = personality_.versionAfterUpgrade;
        }
        firmwareOverwritten_ = false;
        return;
    }
    std::uint8_t reply = crcOk && kind == kFrameData ? kFrameGood : kFrameBadCrc;
    if (reply == kFrameGood) {
        for (const NakFault& nak : faults_.naks) {
            if (nak.block == block && naksSent_[block] < nak.count) {
                ++naksSent_[block];
                reply = static_cast<std::uint8_t>(nak.letter);
                break;
            }
        }
    }
    if (answer("frame", {reply}, atUs) && reply == kFrameGood) {
        record_.blocks[block].assign(unit_.begin() + kFrameDataOffset, unit_.end());
        firmwareOverwritten_ = true;
    }
    if (!lastReply_.empty()) {
        record_.frames.back().reply = static_cast<char>(lastReply_.front());
    }
}

void SimulatedScanner::takePacketByte(std::uint8_t byte, std::uint64_t atUs) {
    unit_.push_back(byte);
    if (unit_.size() == 2 && byte != kLinkMark) {
        unit_.clear();
        mode_ = Mode::Command;
        takeCommandByte(byte, atUs);
        return;
    }
    if (unit_.size() < 4) {
        return;
    }
    const std::size_t length = static_cast<std::size_t>(unit_[2] << 8 | unit_[3]);
    if (length < kPacketOverhead || length > kMaxPacketLength) {
        unit_.clear();
        mode_ = Mode::Command;
        return;
    }
    if (unit_.size() == length) {
        mode_ = Mode::Command;
        runPacket(atUs);
        unit_.clear();
    }
}

void SimulatedScanner::runPacket(std::uint64_t atUs) {
    ++packetsSeen_;
    const std::size_t length = unit_.size();
    const std::uint16_t sent = static_cast<std::uint16_t>(unit_[length - 2] << 8 | unit_[length - 1]);
    const bool crcOk = crc16Xmodem(unit_.data(), static_cast<std::uint16_t>(length - 2)) == sent;
    const std::uint8_t command = unit_[8];
    const std::uint8_t subCode = unit_[9];
    const bool isBlock = command == kFramedDownload && subCode == kDataBlock && length >= kPacketOverhead + 2;
    const int block = isBlock ? (unit_[10] << 8 | unit_[11]) : -1;
    record_.packets.push_back({command, subCode, static_cast<std::uint16_t>(length), crcOk, block, atUs});

    if (!crcOk) {
        answer("framed-bad", framedReply(command, subCode, {kFramedBadCrc, 0}), atUs);
    } else if (command == kFramedQuery && subCode == kVersionRequest) {
        answer("framed-version", framedVersionReply(), atUs);
    } else if (command == kFramedDownload && subCode == kStartRequest) {
        answer("framed-start", framedReply(command, subCode, {kFramedOk, 0}), atUs);
    } else if (isBlock) {
        if (answer("framed-block", framedReply(command, subCode, {kFramedOk, 0}), atUs, 0)) {
            record_.framedBlocks[static_cast<std::uint16_t>(block)].assign(unit_.begin() + 12,
                                                                           unit_.end() - 2);
        }
    } else {
        answer("framed-other", framedReply(command, subCode, {kFramedUnknown, 0}), atUs);
    }
}

// ---- answers and faults ---------------------------------------------------------------------------

bool SimulatedScanner::reachedPoint(const FaultPoint& point, const std::string& key, int blockNumber) const {
    switch (point.kind) {
    case FaultPoint::Kind::Command:
        if (point.command.empty()) {
            return unitsSeen_ >= point.n;
        }
        return key == point.command && occurrences_.at(key) >= point.n;
    case FaultPoint::Kind::Frame:
        return key == "frame" && framesSeen_ >= point.n;
    case FaultPoint::Kind::Block:
        return (key == "frame" || key == "framed-block") && blockNumber >= 0 && blockNumber >= point.n;
    case FaultPoint::Kind::Chunk:
        return key == kChunkPrefix && chunksSeen_ >= point.n;
    case FaultPoint::Kind::Packet:
        return key.rfind("framed-", 0) == 0 && packetsSeen_ >= point.n;
    }
    return false;
}

bool SimulatedScanner::answer(const std::string& key, std::vector<std::uint8_t> reply, std::uint64_t atUs,
                              std::uint32_t extraDelayMs) {
    ++unitsSeen_;
    lastReply_.clear();
    const int occurrence = ++occurrences_[key];
    int blockNumber = -1;
    if (key == "frame") {
        blockNumber = unit_[3] | (unit_[4] << 8);
    } else if (key == "framed-block") {
        blockNumber = unit_[10] << 8 | unit_[11];
    }

    if (faults_.vanishAt && reachedPoint(*faults_.vanishAt, key, blockNumber)) {
        vanishedAtUs_ = atUs;
        // What had not yet reached the tool is lost with the line.
        while (!out_.empty() && out_.back().dueUs > atUs) {
            out_.pop_back();
        }
        babbleNextUs_.reset();
        return false;
    }
    if (faults_.silentFrom && reachedPoint(*faults_.silentFrom, key, blockNumber)) {
        silent_ = true;
    }
    if (silent_) {
        return false;
    }

    CommandFault fault;
    if (auto it = faults_.commands.find(key); it != faults_.commands.end()) {
        const CommandFault& f = it->second;
        if (occurrence >= f.fromOccurrence &&
            (f.occurrences < 0 || occurrence < f.fromOccurrence + f.occurrences)) {
            fault = f;
        }
    }
    bool normal = true;
    bool babble = false;
    switch (fault.reply) {
    case ReplyFault::None:
        break;
    case ReplyFault::Silent:
        return false;
    case ReplyFault::Refuse:
        reply.assign(1, kRefused);
        normal = false;
        break;
    case ReplyFault::Garbage: {
        const std::size_t size = std::max<std::size_t>(1, reply.size());
        reply.clear();
        for (std::size_t i = 0; i < size; ++i) {
            reply.push_back(kGarbage[i % kGarbage.size()]);
        }
        normal = false;
        break;
    }
    case ReplyFault::Overlong:
        reply.insert(reply.end(), kOverlongExtraBytes, kFillerByte);
        normal = false;
        break;
    case ReplyFault::UnknownLetter:
        reply.assign(1, kUnknownLetter);
        normal = false;
        break;
    case ReplyFault::Babble:
        babble = true;
        normal = false;
        break;
    }
    const std::uint64_t delayUs =
        (static_cast<std::uint64_t>(personality_.latencyMs) + fault.lateMs + extraDelayMs) * kUsPerMs;
    queueReply(reply, atUs + delayUs, babble);
    lastReply_ = reply;
    if (faults_.silentAfter && reachedPoint(*faults_.silentAfter, key, blockNumber)) {
        silent_ = true;
    }
    if (faults_.vanishAfter && reachedPoint(*faults_.vanishAfter, key, blockNumber)) {
        vanishedAtUs_ = std::max(atUs + delayUs, outLineFreeUs_);
        babbleNextUs_.reset();
    }
    return normal;
}

void SimulatedScanner::queueReply(const std::vector<std::uint8_t>& bytes, std::uint64_t fromUs,
                                  bool thenBabble) {
    const std::uint64_t startUs = std::max(fromUs, outLineFreeUs_);
    std::uint64_t dueUs = startUs;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        dueUs = startUs + lineTimeUs(i + 1);
        out_.push_back({bytes[i], dueUs});
    }
    outLineFreeUs_ = std::max(outLineFreeUs_, dueUs);
    if (thenBabble) {
        babbleIntervalUs_ = personality_.baudRate != 0 ? lineTimeUs(1) : kBabbleIntervalUs;
        babbleNextUs_ = dueUs + babbleIntervalUs_;
    }
}

std::vector<std::uint8_t> SimulatedScanner::textReply(const std::string& text) const {
    std::vector<std::uint8_t> bytes = bytesOf(text);
    bytes.push_back(static_cast<std::uint8_t>(personality_.textTerminator));
    return bytes;
}

std::vector<std::uint8_t> SimulatedScanner::framedReply(std::uint8_t command, std::uint8_t subCode,
                                                        const std::vector<std::uint8_t>& body) const {
    const std::size_t length = kPacketOverhead + body.size();
    std::vector<std::uint8_t> packet(length, 0);
    packet[0] = kStx;
    packet[1] = kLinkMark;
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
    packet[8] = command;
    packet[9] = subCode;
    std::copy(body.begin(), body.end(), packet.begin() + 10);
    const std::uint16_t crc = crc16Xmodem(packet.data(), static_cast<std::uint16_t>(length - 2));
    packet[length - 2] = static_cast<std::uint8_t>(crc >> 8);
    packet[length - 1] = static_cast<std::uint8_t>(crc);
    return packet;
}

// STX 'Q' length, reserved, 'F' 0x20, the model text (bytes 10 to 21), the three 12-character texts at
// 22, 34 and 46, zero bytes, and the CRC. A length below what holds the texts (for tests of short
// replies) is cut off, CRC and all.
std::vector<std::uint8_t> SimulatedScanner::framedVersionReply() const {
    const std::size_t length = static_cast<std::size_t>(std::max(0, personality_.framedVersionReplyLength));
    std::vector<std::uint8_t> reply(std::max(length, kVersionReplyMinimum), 0);
    reply[0] = kStx;
    reply[1] = kLinkMark;
    reply[2] = static_cast<std::uint8_t>(length >> 8);
    reply[3] = static_cast<std::uint8_t>(length);
    reply[8] = kFramedQuery;
    reply[9] = kVersionRequest;
    putText(reply, 10, personality_.modelText, kLoaderTextOffset - 10);
    putText(reply, kLoaderTextOffset, personality_.framedLoaderText, kFramedTextLength);
    putText(reply, kFirmwareTextOffset, personality_.framedFirmwareText, kFramedTextLength);
    putText(reply, kApplicationTextOffset, personality_.framedApplicationText, kFramedTextLength);
    if (length >= kVersionReplyMinimum) {
        const std::uint16_t crc = crc16Xmodem(reply.data(), static_cast<std::uint16_t>(length - 2));
        reply[length - 2] = static_cast<std::uint8_t>(crc >> 8);
        reply[length - 1] = static_cast<std::uint8_t>(crc);
    }
    reply.resize(length);
    return reply;
}

// ---- output ---------------------------------------------------------------------------------------

std::optional<std::uint64_t> SimulatedScanner::nextDueUs() const {
    std::optional<std::uint64_t> next = nextReplyByteUs();
    // A stray frame's bytes may become commands with an answer then: the reader looks again at that time.
    if (const std::optional<std::uint64_t> strayUs = strayFrameDueUs();
        strayUs && (!next || *strayUs < *next)) {
        next = strayUs;
    }
    return next;
}

std::optional<std::uint64_t> SimulatedScanner::nextReplyByteUs() const {
    std::optional<std::uint64_t> next;
    if (!out_.empty()) {
        next = out_.front().dueUs;
    }
    if (babbleNextUs_ && (!next || *babbleNextUs_ < *next)) {
        next = babbleNextUs_;
    }
    if (next && vanishedAtUs_ && *next > *vanishedAtUs_) {
        return std::nullopt;
    }
    return next;
}

std::size_t SimulatedScanner::takeDue(std::uint64_t nowUs, std::uint8_t* out, std::size_t max) {
    settle(nowUs);
    std::size_t taken = 0;
    while (taken < max) {
        const std::optional<std::uint64_t> next = nextReplyByteUs();
        if (!next || *next > nowUs) {
            break;
        }
        std::uint8_t byte = kBabbleByte;
        if (!out_.empty() && out_.front().dueUs == *next) {
            byte = out_.front().byte;
            out_.pop_front();
        } else {
            *babbleNextUs_ += babbleIntervalUs_;
        }
        out[taken++] = byte;
        if (record_.bytesOut.size() < kRecordedBytesLimit) {
            record_.bytesOut.push_back(byte);
        }
    }
    return taken;
}

void SimulatedScanner::discardArrived(std::uint64_t nowUs) {
    settle(nowUs);
    while (!out_.empty() && out_.front().dueUs <= nowUs) {
        out_.pop_front();
    }
    if (babbleNextUs_ && *babbleNextUs_ <= nowUs) {
        const std::uint64_t behind = (nowUs - *babbleNextUs_) / babbleIntervalUs_ + 1;
        *babbleNextUs_ += behind * babbleIntervalUs_;
    }
}

void SimulatedScanner::dropUnsent(std::uint64_t nowUs) {
    settle(nowUs);
    out_.clear();
    outLineFreeUs_ = std::min(outLineFreeUs_, nowUs);
}

} // namespace orvexa
